// Music sources, loop files and chunk fills. A track plays from frame 0 to its loop end
// (loopStart + loopLength), then repeats loopStart .. loop end for ever. Loops are sample-exact
// in both formats: a decoder read never runs past the loop end.
//
// A fill that ends early (the file ends before its loop end, a read fails, or the loop is empty)
// leaves silence in the rest of the chunk, never audio of an earlier chunk; such a track then
// stays silent until it is rewound.
#include "audio/MusicStream.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "audio/OggTrack.h"
#include "audio/SharedFile.h"
#include "audio/WaveReader.h"
#include "core/Messages.h"
#include "core/System.h"
#include "platform/common/text.h"
#include "platform/file.h"

namespace {

enum class TrackKind : uint8_t { Closed, Wave, Ogg };

OggTrack gOgg[kMusicTracks];
WaveReader gWave[kMusicTracks];
TrackKind gKind[kMusicTracks];
std::mutex gTrackLock[kMusicTracks];
System* gBound = nullptr;
std::atomic<MusicSettingsSource> gSource{nullptr};

System* BoundSystem() {
    if (gBound != nullptr) return gBound;
    const MusicSettingsSource source = gSource.load(std::memory_order_acquire);
    return source != nullptr ? source() : nullptr;
}

bool ValidTrack(int track) { return track >= 0 && track < kMusicTracks; }

uint64_t LoopStartBytes(const System* s, int t) {
    return uint64_t{s->loopStart[t].load(std::memory_order_relaxed)} * kMusicFrameBytes;
}

uint64_t LoopLengthBytes(const System* s, int t) {
    return uint64_t{s->loopLength[t].load(std::memory_order_relaxed)} * kMusicFrameBytes;
}

// The data record's byte count is 32 bits wide; a loop end beyond it is held at the maximum.
uint32_t ClampBytes(uint64_t v) { return static_cast<uint32_t>(std::min<uint64_t>(v, 0xFFFFFFFFu)); }

void PrintPath(FILE* stream, const char* format, const char16_t* path) {
    char host[4 * kPathChars + 4];
    if (!U16ToUtf8(path, host, sizeof host)) std::strcpy(host, "?");
    std::fprintf(stream, format, host);
}

// ------------------------------------------------------------------------------------ loop file
// Reads a loop file as text: a byte-order mark selects UTF-16 little-endian (FF FE) or UTF-8
// (EF BB BF). Without a mark, a zero second byte means UTF-16 little-endian, anything else UTF-8.
// CR LF reads as LF.
class LoopText {
public:
    explicit LoopText(FILE* f) : file_(f) {
        uint8_t b[3];
        size_t n = std::fread(b, 1, 3, f);
        if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
            utf16_ = true;
            Unread(b + 2, n - 2);
        } else if (n == 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
            utf16_ = false;
        } else {
            utf16_ = n >= 2 && b[1] == 0;
            Unread(b, n);
        }
    }

    // The next line as fgetws gives it: at most capacity - 1 units, up to and including LF.
    // False at the end of the file with nothing read; line is then left as it was.
    bool ReadLine(char16_t* line, size_t capacity) {
        size_t n = 0;
        while (n + 1 < capacity) {
            int32_t u = NextUnit();
            if (u < 0) break;
            line[n++] = static_cast<char16_t>(u);
            if (u == u'\n') break;
        }
        if (n == 0) return false;
        line[n] = 0;
        return true;
    }

private:
    void Unread(const uint8_t* b, size_t n) {
        for (size_t i = 0; i < n; ++i) pending_[pendingCount_++] = b[i];
    }

    int Byte() {
        if (pendingPos_ < pendingCount_) return pending_[pendingPos_++];
        int c = std::fgetc(file_);
        return c == EOF ? -1 : c;
    }

    int32_t RawUnit() {
        if (lowSurrogate_ != 0) {
            int32_t u = lowSurrogate_;
            lowSurrogate_ = 0;
            return u;
        }
        if (utf16_) {
            int lo = Byte();
            if (lo < 0) return -1;
            int hi = Byte();
            if (hi < 0) return -1;  // a lone trailing byte is not a character
            return lo | hi << 8;
        }
        int c = Byte();
        if (c < 0) return -1;
        if (c < 0x80) return c;
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
        if (extra < 0 || c > 0xF4) return 0xFFFD;
        uint32_t cp = static_cast<uint32_t>(c) & (0x3Fu >> extra);
        for (int i = 0; i < extra; ++i) {
            int d = Byte();
            if (d < 0) return 0xFFFD;
            if ((d & 0xC0) != 0x80) {
                // Resynchronise on the offending byte: it is read again as the next character.
                if (pendingPos_ > 0 && pendingPos_ <= pendingCount_ && pending_[pendingPos_ - 1] == d) {
                    --pendingPos_;  // it came from the bytes held back at the start
                } else {
                    pending_[0] = static_cast<uint8_t>(d);
                    pendingPos_ = 0;
                    pendingCount_ = 1;
                }
                return 0xFFFD;
            }
            cp = cp << 6 | (static_cast<uint32_t>(d) & 0x3F);
        }
        if (cp > 0xFFFF) {
            cp -= 0x10000;
            lowSurrogate_ = static_cast<int32_t>(0xDC00 + (cp & 0x3FF));
            return static_cast<int32_t>(0xD800 + (cp >> 10));
        }
        return static_cast<int32_t>(cp);
    }

    int32_t NextUnit() {
        int32_t u = held_ >= 0 ? held_ : RawUnit();
        held_ = -1;
        if (u == u'\r') {
            int32_t next = RawUnit();
            if (next == u'\n') return u'\n';
            held_ = next;
        }
        return u;
    }

    FILE* file_;
    bool utf16_ = false;
    uint8_t pending_[4] = {};
    size_t pendingPos_ = 0, pendingCount_ = 0;
    int32_t lowSurrogate_ = 0;
    int32_t held_ = -1;
};

bool IsSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// "<key>=%u": the key must start the line; the number may be preceded by white space and a plus
// sign. A line that does not match gives 0; a number too large for 32 bits is held at the maximum.
uint32_t ParseKey(const char16_t* line, const char16_t* key) {
    size_t i = 0;
    for (; key[i] != 0; ++i) {
        if (line[i] != key[i]) return 0;
    }
    while (IsSpace(line[i])) ++i;
    if (line[i] == u'+') ++i;
    if (line[i] < u'0' || line[i] > u'9') return 0;
    uint64_t v = 0;
    for (; line[i] >= u'0' && line[i] <= u'9'; ++i) {
        v = std::min<uint64_t>(v * 10 + (line[i] - u'0'), 0xFFFFFFFFu);
    }
    return static_cast<uint32_t>(v);
}

// ------------------------------------------------------------------------------------ fills
void FillWave(int t, const System* s, uint8_t* dest, uint32_t n) {
    WaveReader& r = gWave[t];
    uint32_t pos = 0;
    while (pos < n) {
        if (r.data.size == 0) {
            // Loop end reached: back to the loop start, unless the loop is empty.
            uint64_t length = LoopLengthBytes(s, t);
            if (length == 0) break;
            uint64_t at = uint64_t{r.data.dataOffset} + LoopStartBytes(s, t);
            if (at > 0x7FFFFFFF || !r.Seek(static_cast<uint32_t>(at))) break;
            r.data.size = ClampBytes(length);
        }
        uint32_t k = std::min(r.data.size, n - pos);
        uint32_t got = r.Read(dest + pos, k);
        r.data.size -= got;
        pos += got;
        if (got < k) break;  // the file ended before the loop end
    }
    if (pos < n) std::memset(dest + pos, 0, n - pos);
}

void FillOgg(int t, const System* s, uint8_t* dest, uint32_t n) {
    OggTrack& o = gOgg[t];
    const int64_t loopEnd = static_cast<int64_t>(LoopStartBytes(s, t) + LoopLengthBytes(s, t));
    const int64_t loopStartBytes = static_cast<int64_t>(LoopStartBytes(s, t));
    o.request = static_cast<int32_t>(n);
    o.got = 0;
    o.loopHit = 0;
    int holes = 0;
    while (o.got < o.request) {
        // Bytes of this pass: the first pass runs from frame 0, later ones from the loop start.
        const int64_t passEnd = loopEnd - o.loopAdjust;
        if (o.passBytes >= passEnd) {
            if (LoopLengthBytes(s, t) == 0) break;
            if (ov_pcm_seek(&o.vf, static_cast<ogg_int64_t>(s->loopStart[t].load(std::memory_order_relaxed))) != 0) {
                break;
            }
            o.loopHit = 1;
            o.passBytes = 0;
            o.loopAdjust = loopStartBytes;
            continue;
        }
        int want = static_cast<int>(std::min<int64_t>(o.request - o.got, passEnd - o.passBytes));
        long r = ov_read(&o.vf, reinterpret_cast<char*>(dest + o.got), want, 0, 2, 1, &o.section);
        o.lastRead = static_cast<int32_t>(r);
        if (r == OV_HOLE && ++holes < 8) continue;  // a gap in the stream: decoding goes on
        if (r <= 0) break;
        o.got += static_cast<int32_t>(r);
        o.passBytes += r;
    }
    if (o.got < static_cast<int32_t>(n)) std::memset(dest + o.got, 0, n - static_cast<uint32_t>(o.got));
}

// Back to the first sample. A stream just opened is already there: its seek is skipped, which
// leaves the decoder's set-up (codebook tables and synthesis buffers, about 64 KB a track) to the
// first read, so only the tracks that play ever hold one. The samples are the same either way.
void ResetOgg(OggTrack& o, bool justOpened = false) {
    o.lastRead = 0;
    o.loopHit = 0;
    o.passBytes = 0;
    o.loopAdjust = 0;
    o.got = 0;
    if (!justOpened) ov_pcm_seek(&o.vf, 0);
}

// The decoder reads its file through the shared table, at the track's own position.
size_t OggRead(void* dst, size_t size, size_t count, void* source) {
    OggTrack& o = *static_cast<OggTrack*>(source);
    if (size == 0) return 0;
    const size_t got = ReadSharedFile(o.sharedFile, o.position, dst, size * count);
    o.position += got;
    return got / size;
}

int OggSeek(void* source, ogg_int64_t offset, int whence) {
    OggTrack& o = *static_cast<OggTrack*>(source);
    int64_t base = 0;
    if (whence == SEEK_CUR) {
        base = static_cast<int64_t>(o.position);
    } else if (whence == SEEK_END) {
        uint64_t size = 0;
        if (!SharedFileSize(o.sharedFile, &size)) return -1;
        base = static_cast<int64_t>(size);
    } else if (whence != SEEK_SET) {
        return -1;
    }
    const int64_t to = base + offset;
    if (to < 0) return -1;
    o.position = static_cast<uint64_t>(to);
    return 0;
}

long OggTell(void* source) { return static_cast<long>(static_cast<OggTrack*>(source)->position); }

int OggClose(void* source) {
    OggTrack& o = *static_cast<OggTrack*>(source);
    ReleaseSharedFile(o.sharedFile);
    o.sharedFile = -1;
    return 0;
}

constexpr ov_callbacks kSharedFileCallbacks = {OggRead, OggSeek, OggClose, OggTell};

// Closes a track's source; the caller holds its lock.
void CloseTrack(int t) {
    if (gKind[t] == TrackKind::Ogg) {
        OggTrack& o = gOgg[t];
        if (o.isOpen) ov_clear(&o.vf);  // also gives the file back
        o.isOpen = 0;
        o.info = nullptr;
    } else if (gKind[t] == TrackKind::Wave) {
        gWave[t].Close();
    }
    gKind[t] = TrackKind::Closed;
}

bool OpenOgg(int t, const char16_t* path) {
    OggTrack& o = gOgg[t];
    o.sharedFile = AcquireSharedFile(path);
    o.position = 0;
    if (o.sharedFile < 0) {
        PrintPath(stderr, "Open Error : %s\n", path);
        return false;
    }
    if (ov_open_callbacks(&o, &o.vf, nullptr, 0, kSharedFileCallbacks) < 0) {
        std::fputs("Input does not appear to be an Ogg bitstream.\n", stderr);
        ReleaseSharedFile(o.sharedFile);
        o.sharedFile = -1;
        return false;
    }
    o.isOpen = 1;
    gKind[t] = TrackKind::Ogg;  // from here on the decoder owns the file
    long links = ov_streams(&o.vf);
    for (long j = 0; j < links; ++j) {
        vorbis_info* vi = ov_info(&o.vf, static_cast<int>(j));
        if (vi == nullptr || vi->channels != 2) {
            std::fputs("Sorry; right now seeking_test can only use Vorbis files\nthat are entirely stereo.\n\n",
                       stdout);
            return false;
        }
    }
    o.info = ov_info(&o.vf, -1);
    if (o.info == nullptr) {
        std::fputs("Get Info Error\n", stderr);
        return false;
    }
    return true;
}

}  // namespace

void BindMusicSettings(System* settings) { gBound = settings; }

void SetMusicSettingsSource(MusicSettingsSource source) {
    gSource.store(source, std::memory_order_release);
}

bool LoadLoopFile(const char16_t* path, int track) {
    System* s = BoundSystem();
    if (s == nullptr || !ValidTrack(track)) return false;
    FILE* f = OpenFileU16(path, "rb");
    if (f == nullptr) {
        TellOpenFailure(path, errno);
        return false;
    }
    LoopText text(f);
    char16_t line[80] = {};
    // Comment lines start with ';'. At the end of the file the last line read stays current and
    // is parsed again, so a file of just the two entry lines gives both values.
    while (text.ReadLine(line, 80) && line[0] == u';') {
    }
    uint32_t start = ParseKey(line, u"LoopStart=");
    text.ReadLine(line, 80);  // the line after LoopStart is skipped
    while (text.ReadLine(line, 80) && line[0] == u';') {
    }
    uint32_t length = ParseKey(line, u"LoopLength=");
    std::fclose(f);
    s->loopStart[track].store(start, std::memory_order_relaxed);
    s->loopLength[track].store(length, std::memory_order_relaxed);
    return true;
}

bool OpenMusicTrack(int track, const char16_t* path) {
    System* s = BoundSystem();
    if (s == nullptr || !ValidTrack(track)) return false;
    std::lock_guard<std::mutex> lock(gTrackLock[track]);
    CloseTrack(track);

    char16_t loopPath[kPathChars];
    bool loopPathOk = U16Copy(loopPath, kPathChars, path) && U16Cat(loopPath, kPathChars, u".sli");

    if (s->soundMode == 2) {
        OggTrack& o = gOgg[track];
        o.loopHit = 0;
        o.passBytes = 0;
        o.loopAdjust = 0;
        if (!OpenOgg(track, path)) return false;
        if (!loopPathOk) {
            Tell(MessageId::kFileNotFound, path);
            return false;
        }
        if (!LoadLoopFile(loopPath, track)) return false;
        ResetOgg(o, true);
        return true;
    }
    if (s->soundMode == 1) {
        WaveReader& r = gWave[track];
        if (!r.Open(path, true)) {
            Tell(MessageId::kMusicOpenFailed);
            return false;
        }
        gKind[track] = TrackKind::Wave;
        if (!loopPathOk) {
            Tell(MessageId::kFileNotFound, path);
            return false;
        }
        if (!LoadLoopFile(loopPath, track)) return false;
        if (!r.ResetToData()) return false;
        r.data.size = ClampBytes(LoopStartBytes(s, track) + LoopLengthBytes(s, track));
        return true;
    }
    return false;
}

void FillMusicChunk(int track, uint8_t* dest, uint32_t bytes) {
    if (dest == nullptr || bytes == 0) return;
    System* s = BoundSystem();
    if (s == nullptr || !ValidTrack(track)) {
        std::memset(dest, 0, bytes);
        return;
    }
    std::lock_guard<std::mutex> lock(gTrackLock[track]);
    switch (gKind[track]) {
        case TrackKind::Ogg: FillOgg(track, s, dest, bytes); break;
        case TrackKind::Wave: FillWave(track, s, dest, bytes); break;
        case TrackKind::Closed: std::memset(dest, 0, bytes); break;
    }
}

void RewindMusicTrack(int track) {
    System* s = BoundSystem();
    if (s == nullptr || !ValidTrack(track)) return;
    std::lock_guard<std::mutex> lock(gTrackLock[track]);
    if (gKind[track] == TrackKind::Ogg) {
        ResetOgg(gOgg[track]);
    } else if (gKind[track] == TrackKind::Wave) {
        WaveReader& r = gWave[track];
        if (r.ResetToData()) {
            r.data.size = ClampBytes(LoopStartBytes(s, track) + LoopLengthBytes(s, track));
        } else {
            r.data.size = 0;
        }
    }
}

void CloseMusicTracks() {
    for (int t = 0; t < kMusicTracks; ++t) {
        std::lock_guard<std::mutex> lock(gTrackLock[t]);
        CloseTrack(t);
    }
}
