// Output files: WAV, Ogg Vorbis, loop files, UTF-16 lists, plain bytes.
#include <vorbis/vorbisenc.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "mkdata.h"

namespace mkdata {

namespace {

void Put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}

void Put32(std::vector<uint8_t>& v, uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

void PutTag(std::vector<uint8_t>& v, const char* tag) { v.insert(v.end(), tag, tag + 4); }

}  // namespace

bool WriteBytes(const std::string& path, const void* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

bool MakeFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) {
        struct stat st;
        return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    return false;
}

bool WriteWav(const Pcm& p, const std::string& path) {
    const uint32_t dataBytes = uint32_t(p.s.size() * 2);
    std::vector<uint8_t> v;
    v.reserve(44 + dataBytes);
    PutTag(v, "RIFF");
    Put32(v, 36 + dataBytes);
    PutTag(v, "WAVE");
    PutTag(v, "fmt ");
    Put32(v, 16);
    Put16(v, 1);              // PCM
    Put16(v, 2);              // stereo
    Put32(v, kRate);
    Put32(v, kRate * 4);      // bytes per second
    Put16(v, 4);              // block align
    Put16(v, 16);             // bits per sample
    PutTag(v, "data");
    Put32(v, dataBytes);
    for (int16_t s : p.s) Put16(v, uint16_t(s));
    return WriteBytes(path, v.data(), v.size());
}

// Ogg Vorbis at a fixed quality and a fixed stream serial number, so the bytes never change.
bool WriteOgg(const Pcm& p, const std::string& path, float quality) {
    std::vector<uint8_t> out;
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, 2, kRate, quality) != 0) {
        vorbis_info_clear(&vi);
        return false;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_comment_add_tag(&vc, "TITLE", "Kelvorine");
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 0x4B4C5652);
    ogg_page og;
    ogg_packet op, hc, hcc;
    vorbis_analysis_headerout(&vd, &vc, &op, &hc, &hcc);
    ogg_stream_packetin(&os, &op);
    ogg_stream_packetin(&os, &hc);
    ogg_stream_packetin(&os, &hcc);
    auto emit = [&](const ogg_page& pg) {
        out.insert(out.end(), pg.header, pg.header + pg.header_len);
        out.insert(out.end(), pg.body, pg.body + pg.body_len);
    };
    while (ogg_stream_flush(&os, &og) != 0) emit(og);

    const uint32_t frames = p.Frames();
    uint32_t pos = 0;
    bool eos = false;
    while (!eos) {
        const uint32_t n = std::min<uint32_t>(1024, frames - pos);
        if (n == 0) {
            vorbis_analysis_wrote(&vd, 0);
        } else {
            float** buf = vorbis_analysis_buffer(&vd, int(n));
            for (uint32_t i = 0; i < n; ++i) {
                buf[0][i] = p.s[2 * (pos + i)] / 32768.0f;
                buf[1][i] = p.s[2 * (pos + i) + 1] / 32768.0f;
            }
            vorbis_analysis_wrote(&vd, int(n));
            pos += n;
        }
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            while (vorbis_bitrate_flushpacket(&vd, &op) != 0) {
                ogg_stream_packetin(&os, &op);
                while (!eos && ogg_stream_pageout(&os, &og) != 0) {
                    emit(og);
                    if (ogg_page_eos(&og)) eos = true;
                }
            }
        }
        if (n == 0) {
            while (ogg_stream_flush(&os, &og) != 0) emit(og);
            eos = true;
        }
    }
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return WriteBytes(path, out.data(), out.size());
}

// "<music file>.sli": UTF-16 LE with a byte-order mark, CR LF lines. A comment line stands between
// the two values, which is the layout the game's loop-file reader walks through.
bool WriteLoopFile(const std::string& musicPath, uint32_t loopStart, uint32_t loopLength) {
    char text[256];
    std::snprintf(text, sizeof text,
                  ";loop points in sample frames (44,100 per second)\r\n"
                  "LoopStart=%u\r\n"
                  ";the loop ends at LoopStart + LoopLength\r\n"
                  "LoopLength=%u\r\n",
                  loopStart, loopLength);
    std::vector<uint8_t> v = {0xFF, 0xFE};
    for (const char* c = text; *c; ++c) Put16(v, uint8_t(*c));
    return WriteBytes(musicPath + ".sli", v.data(), v.size());
}

std::vector<uint8_t> BuildList(const std::vector<std::string>& names) {
    std::vector<uint8_t> v = {0xFF, 0xFE};
    for (const std::string& name : names) {
        for (size_t i = 0; i < 16; ++i) Put16(v, i < name.size() ? uint8_t(name[i]) : 0);
        Put16(v, 13);
        Put16(v, 10);
    }
    return v;
}

}  // namespace mkdata
