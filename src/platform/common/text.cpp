#include "platform/common/text.h"

size_t U16Len(const char16_t* s) {
    size_t n = 0;
    while (s[n] != 0) ++n;
    return n;
}

bool U16Copy(char16_t* dst, size_t capacity, const char16_t* src) {
    if (capacity == 0) return false;
    size_t n = U16Len(src);
    if (n + 1 > capacity) {
        dst[0] = 0;
        return false;
    }
    for (size_t i = 0; i <= n; ++i) dst[i] = src[i];
    return true;
}

bool U16Cat(char16_t* dst, size_t capacity, const char16_t* src) {
    if (capacity == 0) return false;
    size_t have = 0;
    while (have < capacity && dst[have] != 0) ++have;
    size_t n = U16Len(src);
    if (have == capacity || have + n + 1 > capacity) {
        dst[0] = 0;
        return false;
    }
    for (size_t i = 0; i <= n; ++i) dst[have + i] = src[i];
    return true;
}

int U16Cmp(const char16_t* a, const char16_t* b) {
    while (*a != 0 && *a == *b) {
        ++a;
        ++b;
    }
    return static_cast<int>(*a) - static_cast<int>(*b);
}

bool U16JoinSpace(char16_t* dst, size_t capacity, const char16_t* a, const char16_t* b) {
    return U16Copy(dst, capacity, a) && U16Cat(dst, capacity, u" ") && U16Cat(dst, capacity, b);
}

namespace {

// UTF-16 to UTF-8; with escapes, an unpaired unit U+DC80..U+DCFF is the host byte it stands for.
bool U16ToBytes(const char16_t* src, char* dst, size_t capacity, bool escapes) {
    size_t o = 0;
    auto put = [&](unsigned char c) {
        if (o + 1 >= capacity) return false;
        dst[o++] = static_cast<char>(c);
        return true;
    };
    if (capacity == 0) return false;
    for (size_t i = 0; src[i] != 0; ++i) {
        uint32_t cp = src[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && src[i + 1] >= 0xDC00 && src[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (src[i + 1] - 0xDC00);
            ++i;
        } else if (escapes && cp >= 0xDC80 && cp <= 0xDCFF) {
            if (!put(static_cast<unsigned char>(cp - 0xDC00))) {
                dst[0] = 0;
                return false;
            }
            continue;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        bool ok;
        if (cp < 0x80) {
            ok = put(static_cast<unsigned char>(cp));
        } else if (cp < 0x800) {
            ok = put(0xC0 | (cp >> 6)) && put(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            ok = put(0xE0 | (cp >> 12)) && put(0x80 | ((cp >> 6) & 0x3F)) && put(0x80 | (cp & 0x3F));
        } else {
            ok = put(0xF0 | (cp >> 18)) && put(0x80 | ((cp >> 12) & 0x3F)) &&
                 put(0x80 | ((cp >> 6) & 0x3F)) && put(0x80 | (cp & 0x3F));
        }
        if (!ok) {
            dst[0] = 0;
            return false;
        }
    }
    dst[o] = 0;
    return true;
}

// Length of the valid UTF-8 sequence at s (1 to 4) and its code point; 0 when the bytes there
// are not one (a stray byte, a cut sequence, an over-long form, a surrogate, past U+10FFFF).
int DecodeUtf8(const unsigned char* s, uint32_t* cp) {
    int extra;
    uint32_t v;
    if (s[0] < 0x80) {
        *cp = s[0];
        return 1;
    } else if ((s[0] & 0xE0) == 0xC0) {
        v = s[0] & 0x1F;
        extra = 1;
    } else if ((s[0] & 0xF0) == 0xE0) {
        v = s[0] & 0x0F;
        extra = 2;
    } else if ((s[0] & 0xF8) == 0xF0) {
        v = s[0] & 0x07;
        extra = 3;
    } else {
        return 0;
    }
    for (int k = 1; k <= extra; ++k) {
        if ((s[k] & 0xC0) != 0x80) return 0;
        v = (v << 6) | (s[k] & 0x3F);
    }
    static const uint32_t kMinForExtra[4] = {0, 0x80, 0x800, 0x10000};
    if (v < kMinForExtra[extra] || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
    *cp = v;
    return extra + 1;
}

}  // namespace

bool U16ToUtf8(const char16_t* src, char* dst, size_t capacity) {
    return U16ToBytes(src, dst, capacity, false);
}

bool U16ToHostBytes(const char16_t* src, char* dst, size_t capacity) {
    return U16ToBytes(src, dst, capacity, true);
}

namespace {

// Writes UTF-16 into dst[capacity], always leaving room for the terminating zero. A string that
// does not fit leaves dst empty and the caller returns false.
struct U16Writer {
    char16_t* dst;
    size_t capacity;
    size_t o = 0;

    bool Put(uint32_t u) {
        if (o + 1 >= capacity) return false;
        dst[o++] = static_cast<char16_t>(u);
        return true;
    }
    // One code point up to U+10FFFF (not a surrogate): itself, or a surrogate pair above U+FFFF.
    bool PutCodePoint(uint32_t cp) {
        if (cp < 0x10000) return Put(cp);
        cp -= 0x10000;
        return Put(0xD800 + (cp >> 10)) && Put(0xDC00 + (cp & 0x3FF));
    }
    bool Fail() {
        dst[0] = 0;
        return false;
    }
    bool Finish() {
        dst[o] = 0;
        return true;
    }
};

}  // namespace

bool HostBytesToU16(const char* src, char16_t* dst, size_t capacity) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
    if (capacity == 0) return false;
    U16Writer out{dst, capacity};
    while (*s != 0) {
        uint32_t cp = 0;
        const int n = DecodeUtf8(s, &cp);
        if (n == 0) {
            cp = 0xDC00u + *s;  // one byte that is not UTF-8: kept as itself
            ++s;
        } else {
            s += n;
        }
        if (!out.PutCodePoint(cp)) return out.Fail();
    }
    return out.Finish();
}

bool Utf8ToU16(const char* src, char16_t* dst, size_t capacity) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
    if (capacity == 0) return false;
    U16Writer out{dst, capacity};
    while (*s != 0) {
        uint32_t cp;
        int extra;
        if (*s < 0x80) {
            cp = *s;
            extra = 0;
        } else if ((*s & 0xE0) == 0xC0) {
            cp = *s & 0x1F;
            extra = 1;
        } else if ((*s & 0xF0) == 0xE0) {
            cp = *s & 0x0F;
            extra = 2;
        } else if ((*s & 0xF8) == 0xF0) {
            cp = *s & 0x07;
            extra = 3;
        } else {
            cp = 0xFFFD;
            extra = -1;
        }
        ++s;
        for (int k = 0; k < extra; ++k) {
            if ((*s & 0xC0) != 0x80) {
                cp = 0xFFFD;
                extra = -1;
                break;
            }
            cp = (cp << 6) | (*s & 0x3F);
            ++s;
        }
        // An over-long form (C0 80 for a zero, C0 AF for a slash) would smuggle in a character
        // that the plain encoding shows: it is invalid like any other bad sequence.
        static const uint32_t kMinForExtra[4] = {0, 0x80, 0x800, 0x10000};
        if (extra > 0 && cp < kMinForExtra[extra]) cp = 0xFFFD;
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
        if (!out.PutCodePoint(cp)) return out.Fail();
    }
    return out.Finish();
}

bool AsciiToU16(const char* src, char16_t* dst, size_t capacity) {
    size_t i = 0;
    if (capacity == 0) return false;
    for (; src[i] != 0; ++i) {
        if (i + 1 >= capacity) {
            dst[0] = 0;
            return false;
        }
        dst[i] = static_cast<unsigned char>(src[i]);
    }
    dst[i] = 0;
    return true;
}
