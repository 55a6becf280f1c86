// The one writer of the data-folder file, for every start that makes one: the installed game's
// first start, the page's first visit.
#include <cerrno>

#include "platform/file.h"

bool WriteDataFolderFileU16(const char16_t* path, const char16_t* name) {
    unsigned char bytes[2 + 2 * kDataFolderFileUnits];
    size_t size = 0;
    bytes[size++] = 0xFF;
    bytes[size++] = 0xFE;
    for (size_t i = 0; name[i] != 0; ++i) {
        if (i == kDataFolderFileUnits) {
            errno = ENAMETOOLONG;
            return false;
        }
        bytes[size++] = static_cast<unsigned char>(name[i] & 0xFF);
        bytes[size++] = static_cast<unsigned char>(name[i] >> 8);
    }
    return WriteFileAtomicU16(path, bytes, size);
}
