// UTF-16 text helpers. Text and file names are UTF-16 throughout the game (char16_t; wchar_t is
// 32 bits on Linux). Paths live in fixed buffers of kPathChars units built by bounded copy and
// concatenation: an operation that does not fit fails cleanly and leaves an empty string, so an
// over-long path can never turn into a shorter, different file name.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kPathChars = 520;

size_t U16Len(const char16_t* s);
// dst = src. False (and dst empty) when src does not fit in capacity units with its terminator.
bool U16Copy(char16_t* dst, size_t capacity, const char16_t* src);
// dst += src. False (and dst empty) when the result does not fit.
bool U16Cat(char16_t* dst, size_t capacity, const char16_t* src);
// Lexicographic comparison by code unit.
int U16Cmp(const char16_t* a, const char16_t* b);
// "%s %s": a + " " + b, bounded like U16Cat.
bool U16JoinSpace(char16_t* dst, size_t capacity, const char16_t* a, const char16_t* b);

// UTF-16 to UTF-8 (unpaired surrogates become U+FFFD). False when it does not fit.
bool U16ToUtf8(const char16_t* src, char* dst, size_t capacity);
// UTF-8 to UTF-16 (invalid bytes become U+FFFD). False when it does not fit.
bool Utf8ToU16(const char* src, char16_t* dst, size_t capacity);
// Host paths (Linux file names are bytes in no particular encoding) to UTF-16 and back, without
// loss: valid UTF-8 becomes its characters and every other byte b the unpaired unit U+DC00 + b,
// which U16ToHostBytes turns back into b. Paths only; text for the player goes through
// Utf8ToU16 and U16ToUtf8, which show such a unit as U+FFFD. False when it does not fit.
bool HostBytesToU16(const char* src, char16_t* dst, size_t capacity);
bool U16ToHostBytes(const char16_t* src, char* dst, size_t capacity);
// ASCII/Latin-1 bytes to UTF-16 (each byte one unit). False when it does not fit.
bool AsciiToU16(const char* src, char16_t* dst, size_t capacity);
