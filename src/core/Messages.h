// Everything the game tells the player, in one table: each message has a stable id, its caption
// and its text. Tell() is the one way to say one: it writes "<caption>: <text>" to stderr and
// shows the message box of the platform (which never blocks in the headless backend).
//
// A message about a file names the file first ("<path> ファイルが見つかりません"); a message with a
// detail carries it on a second line. When the whole does not fit, the text alone is said.
#pragma once

#include <cstdint>

// Ids are stable: a message keeps its number when others are added or retired.
enum class MessageId : uint8_t {
    kProgramFolderUnknown = 1,
    kWindowClassFailed = 2,
    kWindowFailed = 3,
    kGraphicsFailed = 4,
    kInitFailed = 5,
    kTextureListFailed = 6,
    kTexturesFailed = 7,
    kReleaseFailed = 8,
    kDeviceFailed = 9,
    kFileNotFound = 10,
    kDataFolderTooLong = 11,
    kIniWriteFailed = 12,
    kTxtWriteFailed = 13,
    kAudioFailed = 14,
    kWaveOpenFailed = 15,
    kMusicOpenFailed = 16,
    kThreadFailed = 17,
    kPngNoReadStruct = 18,
    kPngNoInfoStruct = 19,
    kPngTooManyColours = 20,
    kPngBadColourType = 21,
    kPngBadSize = 22,
    kPngCorrupt = 23,
    kPngNoMemory = 24,
    kPlayerFolderFailed = 25,
};

struct MessageEntry {
    MessageId id;
    const char16_t* caption;
    const char16_t* text;
};

// The table entry of id (never null for an id of the enumeration).
const MessageEntry* FindMessage(MessageId id);

// The whole table, in id order.
const MessageEntry* MessageTable(int* count);

// Builds what Tell says into out (capacity units): "[subject ]text[\ndetail]", or the text alone
// when that does not fit. subject and detail may be null.
void ComposeMessage(char16_t* out, int capacity, MessageId id, const char16_t* subject,
                    const char16_t* detail);

// Says the message: stderr, then the platform's message box.
void Tell(MessageId id, const char16_t* subject = nullptr, const char16_t* detail = nullptr);

// Says why path could not be opened for reading, err being the errno of the failed open:
// "<path> ファイルが見つかりません", and when something is there after all, the reason on the next
// line (a FIFO, "Permission denied", "Too many open files", ...).
void TellOpenFailure(const char16_t* path, int err);
