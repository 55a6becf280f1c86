// Helpers of the audio tests: WAV and Ogg Vorbis files built in the test, a wall clock for the
// music thread, and a fixture binding a System record to the music sources.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#if defined(KELVORINE_HAVE_VORBISENC)
#include <vorbis/vorbisenc.h>
#endif

#include "audio/CXa2.h"
#include "audio/MusicStream.h"
#include "audio/OggTrack.h"
#include "files_fixture.h"
#include "platform/headless/headless.h"
#include "core/System.h"

namespace audiotest {

inline void Put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
inline void Put32(std::vector<uint8_t>& v, uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}
inline void PutId(std::vector<uint8_t>& v, const char* id) { v.insert(v.end(), id, id + 4); }

// A RIFF/WAVE file: "fmt " (fmtBytes long, PCM fields from the arguments, zero padded), an
// optional chunk between "fmt " and "data", the data, and an optional trailing chunk.
struct WaveSpec {
    uint16_t tag = 1, channels = 2;
    uint32_t rate = 44100;
    uint16_t bits = 16;
    uint32_t fmtBytes = 16;
    bool chunkBetween = false;
    bool chunkAfter = false;
    const char* form = "WAVE";
};

inline std::vector<uint8_t> Wave(const std::vector<uint8_t>& data, const WaveSpec& s = {}) {
    std::vector<uint8_t> body;
    PutId(body, s.form);
    PutId(body, "fmt ");
    Put32(body, s.fmtBytes);
    uint16_t align = uint16_t(s.channels * s.bits / 8);
    Put16(body, s.tag);
    Put16(body, s.channels);
    Put32(body, s.rate);
    Put32(body, s.rate * align);
    Put16(body, align);
    Put16(body, s.bits);
    for (uint32_t i = 16; i < s.fmtBytes; ++i) body.push_back(i == 16 ? uint8_t(s.fmtBytes - 18) : 0);
    if (s.chunkBetween) {
        PutId(body, "LIST");
        Put32(body, 5);
        body.insert(body.end(), {'a', 'b', 'c', 'd', 'e', 0});  // odd size, padded
    }
    PutId(body, "data");
    Put32(body, uint32_t(data.size()));
    body.insert(body.end(), data.begin(), data.end());
    if (s.chunkAfter) {
        PutId(body, "LIST");
        Put32(body, 8);
        body.insert(body.end(), 8, 0x7F);
    }
    std::vector<uint8_t> out;
    PutId(out, "RIFF");
    Put32(out, uint32_t(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// Stereo 16-bit frames that name their own index: left = index mod 32768, right = index / 32768.
inline std::vector<uint8_t> CounterPcm(uint32_t frames, uint32_t first = 0) {
    std::vector<uint8_t> v;
    for (uint32_t i = first; i < first + frames; ++i) {
        Put16(v, i % 32768);
        Put16(v, i / 32768);
    }
    return v;
}

inline uint32_t FrameIndex(const uint8_t* p) {
    return uint32_t(p[0] | p[1] << 8) + 32768u * uint32_t(p[2] | p[3] << 8);
}

// Ogg Vorbis encoding of a tone whose pitch moves all the time, so that no stretch repeats.
inline bool WriteOgg(const std::string& host, uint32_t frames, int channels = 2, long rate = 44100) {
#if defined(KELVORINE_HAVE_VORBISENC)
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, channels, rate, 0.4f) != 0) return false;
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 7);
    FILE* f = std::fopen(host.c_str(), "wb");
    if (f == nullptr) return false;
    ogg_packet h0, h1, h2;
    vorbis_analysis_headerout(&vd, &vc, &h0, &h1, &h2);
    ogg_stream_packetin(&os, &h0);
    ogg_stream_packetin(&os, &h1);
    ogg_stream_packetin(&os, &h2);
    ogg_page og;
    while (ogg_stream_flush(&os, &og) != 0) {
        std::fwrite(og.header, 1, og.header_len, f);
        std::fwrite(og.body, 1, og.body_len, f);
    }
    uint32_t done = 0;
    double phase = 0;
    bool eos = false;
    while (!eos) {
        uint32_t n = std::min<uint32_t>(1024, frames - done);
        if (n == 0) {
            vorbis_analysis_wrote(&vd, 0);
        } else {
            float** buf = vorbis_analysis_buffer(&vd, int(n));
            for (uint32_t i = 0; i < n; ++i) {
                double t = double(done + i) / rate;
                phase += 2 * M_PI * (220 + 200 * std::sin(t * 3.1)) / rate;
                for (int c = 0; c < channels; ++c) buf[c][i] = float(0.5 * std::sin(phase + c));
            }
            vorbis_analysis_wrote(&vd, int(n));
            done += n;
        }
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet op;
            while (vorbis_bitrate_flushpacket(&vd, &op)) {
                ogg_stream_packetin(&os, &op);
                while (ogg_stream_pageout(&os, &og) != 0) {
                    std::fwrite(og.header, 1, og.header_len, f);
                    std::fwrite(og.body, 1, og.body_len, f);
                    if (ogg_page_eos(&og)) eos = true;
                }
            }
        }
    }
    std::fclose(f);
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return true;
#else
    return false;
#endif
}

// The whole decoded stream of an Ogg file, read straight through.
inline std::vector<uint8_t> DecodeOgg(const std::string& host) {
    std::vector<uint8_t> out;
    OggVorbis_File vf;
    if (ov_fopen(host.c_str(), &vf) != 0) return out;
    char buf[4096];
    int section;
    long r;
    while ((r = ov_read(&vf, buf, sizeof buf, 0, 2, 1, &section)) > 0) out.insert(out.end(), buf, buf + r);
    ov_clear(&vf);
    return out;
}

// The machine's clock, for tests that run the music thread in real time.
using WallClock = HeadlessWallClock;

}  // namespace audiotest

// A temporary folder, the headless platform, and a System bound to the music sources.
class AudioTest : public FilesTest {
protected:
    void SetUp() override {
        FilesTest::SetUp();
        sys.soundMode = 2;
        sys.soundOff = 0;
        BindMusicSettings(&sys);
    }
    void TearDown() override {
        CloseMusicTracks();
        BindMusicSettings(nullptr);
        FilesTest::TearDown();
    }
    void WriteText(const std::string& name, const std::string& text) const {
        WriteBytes(name, std::vector<uint8_t>(text.begin(), text.end()));
    }
    void WriteLoop(const std::string& music, uint32_t start, uint32_t length) const {
        WriteText(music + ".sli", "LoopStart=" + std::to_string(start) + "\r\nLoopLength=" +
                                       std::to_string(length) + "\r\n");
    }
    std::vector<uint8_t> Fill(int track, uint32_t bytes) {
        std::vector<uint8_t> v(bytes, 0xAB);
        FillMusicChunk(track, v.data(), bytes);
        return v;
    }

    System sys;
};
