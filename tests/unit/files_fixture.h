// Temporary folders and raw file helpers for the file-format tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/headless/headless.h"
#include "platform/common/text.h"

// A fresh folder under the system's temporary folder, removed at the end of the test, and a
// headless platform installed for the message boxes and the clock.
class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kelvorine-files-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        platform.services.echoMessages = false;
        platform.Install();
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    // Host path of a file in the folder.
    std::string Host(const std::string& name) const { return dir + "/" + name; }
    // The same path as the game holds it (UTF-16).
    std::u16string Path(const std::string& name) const {
        char16_t buf[kPathChars];
        EXPECT_TRUE(Utf8ToU16(Host(name).c_str(), buf, kPathChars));
        return buf;
    }
    // The folder with a trailing separator, as baseFolder holds it.
    std::u16string Base() const { return Path(""); }

    void WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::ofstream f(Host(name), std::ios::binary);
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<uint8_t> ReadBytes(const std::string& name) const {
        std::ifstream f(Host(name), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
    }
    // UTF-16LE bytes of a text, optionally behind a byte order mark.
    static std::vector<uint8_t> Utf16Bytes(const std::u16string& text, bool bom = true) {
        std::vector<uint8_t> out;
        if (bom) out = {0xFF, 0xFE};
        for (char16_t c : text) {
            out.push_back(static_cast<uint8_t>(c));
            out.push_back(static_cast<uint8_t>(c >> 8));
        }
        return out;
    }

    std::string dir;
    HeadlessPlatform platform;
};
