#include "audio/WaveReader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "audio/SharedFile.h"
#include "platform/common/le_bytes.h"
#include "platform/file.h"

namespace {

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
    if (shared_ >= 0) ReleaseSharedFile(shared_);
    shared_ = -1;
    position_ = 0;
    delete[] format;
    format = nullptr;
}

bool WaveReader::Seek(uint32_t offset) {
    if (shared_ >= 0) {
        position_ = offset;
        return offset <= 0x7FFFFFFF;
    }
    return file != nullptr && std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0;
}

size_t WaveReader::RawRead(void* dst, size_t n) {
    if (shared_ >= 0) {
        const size_t got = ReadSharedFile(shared_, position_, dst, n);
        position_ += static_cast<uint32_t>(got);
        return got;
    }
    return file != nullptr ? std::fread(dst, 1, n, file) : 0;
}

long WaveReader::Tell() {
    if (shared_ >= 0) return static_cast<long>(position_);
    return file != nullptr ? std::ftell(file) : -1;
}

uint32_t WaveReader::Read(void* dst, uint32_t n) {
    if (!IsOpen() || n == 0) return 0;
    return static_cast<uint32_t>(RawRead(dst, n));
}

// Walks the chunks from the current position up to parentEnd; on a match the file stands at the
// chunk's data.
bool WaveReader::FindChunk(ChunkInfo* out, uint32_t id, uint32_t parentEnd) {
    for (;;) {
        long here = Tell();
        if (here < 0 || static_cast<uint64_t>(here) + 8 > parentEnd) return false;
        uint8_t head[8];
        if (RawRead(head, 8) != 8) return false;
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
        if (!Seek(static_cast<uint32_t>(next))) return false;
    }
}

bool WaveReader::Open(const char16_t* path, bool shared) {
    Close();
    if (shared) {
        shared_ = AcquireSharedFile(path);
        if (shared_ < 0) return false;
    } else {
        file = OpenFileU16(path, "rb");
        if (file == nullptr) return false;
    }

    uint8_t head[12];
    bool ok = RawRead(head, 12) == 12 && Le32(head) == FourCC('R', 'I', 'F', 'F') &&
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
    ok = ok && RawRead(pcm, 16) == 16;
    if (ok) {
        uint16_t cbSize = 0;
        // Only a format chunk of 18 bytes or more has the extension size; a 16-byte chunk of
        // another format has none (reading on would take the next chunk's header for it).
        if (Le16(pcm) != kWaveFormatPcm && fmt.size >= 18) {
            uint8_t cb[2];
            ok = RawRead(cb, 2) == 2;
            if (ok) cbSize = Le16(cb);
        }
        if (ok) {
            format = new (std::nothrow) uint8_t[18u + cbSize];
            ok = format != nullptr;
        }
        if (ok) {
            std::memcpy(format, pcm, 16);
            format[16] = static_cast<uint8_t>(cbSize);
            format[17] = static_cast<uint8_t>(cbSize >> 8);
            if (cbSize > 0) ok = RawRead(format + 18, cbSize) == cbSize;
        }
    }
    // Ascend: past the "fmt " chunk, padded to even.
    ok = ok && Seek(fmt.dataOffset + fmt.size + (fmt.size & 1u));
    ok = ok && ResetToData();
    if (!ok) Close();
    return ok;
}

bool WaveReader::ResetToData() {
    if (!IsOpen()) return false;
    if (!Seek(riff.dataOffset + 4)) return false;
    uint32_t riffEnd = static_cast<uint32_t>(std::min<uint64_t>(8ull + riff.size, 0x7FFFFFFFull));
    return FindChunk(&data, FourCC('d', 'a', 't', 'a'), riffEnd);
}
