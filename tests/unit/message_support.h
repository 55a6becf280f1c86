// The message id behind a recorded message box: the table entry whose caption matches and whose
// text is the box's text, or its end after a subject ("<path> text"), or its first line before a
// detail. 0 when none is.
#pragma once

#include <string>

#include "platform/headless/headless.h"
#include "core/Messages.h"

inline int IdOf(const HeadlessMessageBox& box) {
    int count = 0;
    const MessageEntry* table = MessageTable(&count);
    for (int exact = 1; exact >= 0; --exact) {
        for (int i = 0; i < count; ++i) {
            const std::u16string text = table[i].text;
            if (box.caption != table[i].caption) continue;
            if (box.text == text) return static_cast<int>(table[i].id);
            if (exact) continue;
            const std::u16string& t = box.text;
            const bool afterSubject = t.size() > text.size() && t.compare(t.size() - text.size(), text.size(), text) == 0 &&
                                      t[t.size() - text.size() - 1] == u' ';
            const bool beforeDetail = t.rfind(text + u"\n", 0) == 0;
            const bool between = t.find(u" " + text + u"\n") != std::u16string::npos;
            if (afterSubject || beforeDetail || between) return static_cast<int>(table[i].id);
        }
    }
    return 0;
}

inline int IdOf(MessageId id) { return static_cast<int>(id); }
