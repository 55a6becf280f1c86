#include "audio/WaveReader.h"

#include <algorithm>
#include <cstring>

#include "platform/file.h"

namespace {

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

constexpr uint16_t kWaveFormatPcm = 1;

}  // namespace

WaveReader::WaveReader() : format(nullptr), file(nullptr), data{}, riff{} {}

WaveReader::~WaveReader() { Close(); }

uint32_t WaveReader::FormatBytes() const {
    return format == nullptr ? 0 : 18u + Format().cbSize;
}

void WaveReader::Close() {
    if (file != nullptr) std::fclose(file);
    file = nullptr;
    delete[] format;
    format = nullptr;
}

bool WaveReader::Seek(uint32_t offset) {
    return file != nullptr && std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0;
}

uint32_t WaveReader::Read(void* dst, uint32_t n) {
    if (file == nullptr || n == 0) return 0;
    return static_cast<uint32_t>(std::fread(dst, 1, n, file));
}

// Walks the chunks from the current position up to parentEnd; on a match the file stands at the
// chunk's data.
bool WaveReader::FindChunk(ChunkInfo* out, uint32_t id, uint32_t parentEnd) {
    for (;;) {
        long here = std::ftell(file);
        if (here < 0 || static_cast<uint64_t>(here) + 8 > parentEnd) return false;
        uint8_t head[8];
        if (std::fread(head, 1, 8, file) != 8) return false;
        uint32_t cid = Le32(head);
        uint32_t size = Le32(head + 4);
        uint64_t dataOffset = static_cast<uint64_t>(here) + 8;
        if (cid == id) {
            out->id = cid;
            out->size = size;
            out->formType = 0;
            out->dataOffset = static_cast<uint32_t>(dataOffset);
            return true;
        }
        uint64_t next = dataOffset + size + (size & 1u);
        if (next >= parentEnd || next > 0x7FFFFFFF) return false;
        if (std::fseek(file, static_cast<long>(next), SEEK_SET) != 0) return false;
    }
}

bool WaveReader::Open(const char16_t* path) {
    Close();
    file = OpenFileU16(path, "rb");
    if (file == nullptr) return false;

    uint8_t head[12];
    bool ok = std::fread(head, 1, 12, file) == 12 && Le32(head) == FourCC('R', 'I', 'F', 'F') &&
              Le32(head + 8) == FourCC('W', 'A', 'V', 'E');
    if (ok) {
        riff.id = Le32(head);
        riff.size = Le32(head + 4);
        riff.formType = Le32(head + 8);
        riff.dataOffset = 8;
    }
    // The end of the RIFF chunk bounds every search inside it.
    uint32_t riffEnd = ok ? static_cast<uint32_t>(
                                std::min<uint64_t>(8ull + riff.size, 0x7FFFFFFFull))
                          : 0;

    ChunkInfo fmt{};
    ok = ok && FindChunk(&fmt, FourCC('f', 'm', 't', ' '), riffEnd) && fmt.size >= 16;
    uint8_t pcm[16];
    ok = ok && std::fread(pcm, 1, 16, file) == 16;
    if (ok) {
        uint16_t cbSize = 0;
        // Only a format chunk of 18 bytes or more has the extension size; a 16-byte chunk of
        // another format has none (reading on would take the next chunk's header for it).
        if (Le16(pcm) != kWaveFormatPcm && fmt.size >= 18) {
            uint8_t cb[2];
            ok = std::fread(cb, 1, 2, file) == 2;
            if (ok) cbSize = Le16(cb);
        }
        if (ok) {
            format = new uint8_t[18u + cbSize];
            std::memcpy(format, pcm, 16);
            format[16] = static_cast<uint8_t>(cbSize);
            format[17] = static_cast<uint8_t>(cbSize >> 8);
            if (cbSize > 0) ok = std::fread(format + 18, 1, cbSize, file) == cbSize;
        }
    }
    // Ascend: past the "fmt " chunk, padded to even.
    ok = ok && Seek(fmt.dataOffset + fmt.size + (fmt.size & 1u));
    ok = ok && ResetToData();
    if (!ok) Close();
    return ok;
}

bool WaveReader::ResetToData() {
    if (file == nullptr) return false;
    if (!Seek(riff.dataOffset + 4)) return false;
    uint32_t riffEnd = static_cast<uint32_t>(std::min<uint64_t>(8ull + riff.size, 0x7FFFFFFFull));
    return FindChunk(&data, FourCC('d', 'a', 't', 'a'), riffEnd);
}
