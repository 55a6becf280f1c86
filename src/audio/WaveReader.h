// WaveReader: a portable RIFF/WAVE reader. Opens a file, reads its format and leaves the file at
// the first byte of the sample data. Effects use a temporary reader (open, copy up to one second,
// close); WAV music keeps one reader per track open for the whole run and reads it in chunks.
//
// Chunks are searched the way a RIFF parser descends: inside the parent chunk, skipping every
// chunk of another id (odd sizes are padded to even). The data-chunk record's size doubles as the
// count of bytes left to read; the music streaming lowers it as data is consumed and sets it to a
// loop's length when it loops.
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/platform.h"

// A chunk record: id, size, form type (RIFF only), the file offset of the chunk's data.
struct ChunkInfo {
    uint32_t id;
    uint32_t size;        // for the data chunk: bytes left to read
    uint32_t formType;
    uint32_t dataOffset;
};

class WaveReader {
public:
    WaveReader();
    virtual ~WaveReader();

    // Owned format record: 18 bytes plus cbSize extra bytes; null until a file is open.
    uint8_t* format;
    FILE* file;           // the reader's own file; null when it reads a shared one
    ChunkInfo data;       // the "data" chunk; data.size counts the bytes left
    ChunkInfo riff;       // the outer "RIFF" chunk of form "WAVE"

    // Frees a previous format, opens and parses the file, ends at the start of the data.
    // False on any failure; the file is then closed and format is null. `shared`: the file is
    // read through the shared table (SharedFile.h), open once for every reader that names it.
    bool Open(const char16_t* path, bool shared = false);
    // Positions the file at the first sample byte and refreshes the data record (size included).
    bool ResetToData();
    // Reads up to n bytes at the current position (not bounded by the data chunk); returns the
    // count read.
    uint32_t Read(void* dst, uint32_t n);
    // Moves to byte `offset` from the beginning of the file.
    bool Seek(uint32_t offset);
    void Close();

    const WaveFormat& Format() const { return *reinterpret_cast<const WaveFormat*>(format); }
    uint32_t FormatBytes() const;  // 18 + cbSize

private:
    bool FindChunk(ChunkInfo* out, uint32_t id, uint32_t parentEnd);
    bool IsOpen() const { return file != nullptr || shared_ >= 0; }
    size_t RawRead(void* dst, size_t n);
    long Tell();

    int shared_ = -1;        // id in the shared table, or -1
    uint32_t position_ = 0;  // read position in the shared file
};

constexpr uint32_t FourCC(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
           static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}
