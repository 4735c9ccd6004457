// Files on Windows: names are UTF-8 inside the program and UTF-16 for the system, so names
// outside any code page open, list and replace; failures of writing come back as the errno
// values the rest of the program tells apart.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "platform/OutputFile.h"
#include "platform/Paths.h"
#include "platform/PendingFile.h"
#include "platform/RandomAccessFile.h"
#include "platform/windows/Win32.h"
#include "support/TempDir.h"

namespace svt::platform {
namespace {

std::string contents(const std::string& path) {
    RandomAccessFile file;
    if (file.open(path) != 0) return "<cannot be read>";
    std::string text(static_cast<size_t>(file.size()), '\0');
    const int64_t got =
        file.readAt(0, std::span<uint8_t>(reinterpret_cast<uint8_t*>(text.data()), text.size()));
    return got == file.size() ? text : "<cannot be read>";
}

size_t filesIn(const std::filesystem::path& dir) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++n;
    return n;
}

int write(const std::string& path, const std::string& text) {
    OutputFile out;
    if (const int error = out.create(path)) return error;
    if (const int error = out.writeAll(text.data(), text.size())) return error;
    return out.close();
}

TEST(WindowsFiles, NamesOutsideEveryCodePageWorkThroughout) {
    test::TempDir dir;
    const std::string folder = pathText(dir.path());
    const char* names[] = {
        "Grüße aus Köln.mid",            // Latin-1
        "Песня.mid",                     // Cyrillic
        "夜の歌.wav",                    // CJK
        "Ünïcødé \xF0\x9F\x8E\xB5.mid",  // outside the basic plane: a surrogate pair
    };
    for (const std::string name : names) {
        SCOPED_TRACE(name);
        const std::string path = folder + "\\" + name;
        ASSERT_EQ(write(path, "MThd" + name), 0);
        EXPECT_TRUE(pathExists(path));
        EXPECT_EQ(pathKind(path), PathKind::File);
        EXPECT_EQ(contents(path), "MThd" + name) << "read back through RandomAccessFile";

        // The system lists the name as it was given, not as '?' of a code page.
        bool listed = false;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            listed = listed || pathText(entry.path().filename()) == name;
        EXPECT_TRUE(listed);

        // Two spellings of one file are one file.
        const std::string other = folder + "/" + name;
        EXPECT_EQ(fileIdentity(path), fileIdentity(other));
        ASSERT_TRUE(fileIdentity(path).has_value());

        std::FILE* f = openStdioFile(path, "rb");
        ASSERT_NE(f, nullptr);
        std::fclose(f);

        // Replaced through a temporary name beside it, only when replacing is allowed.
        for (const bool replace : {false, true}) {
            PendingFile pending;
            OutputFile out;
            ASSERT_EQ(pending.create(path, out), 0);
            EXPECT_EQ(out.writeAll("new", 3), 0);
            EXPECT_EQ(out.close(), 0);
            EXPECT_EQ(pending.commit(replace), replace ? 0 : EEXIST);
            EXPECT_EQ(contents(path), replace ? "new" : "MThd" + name);
        }
        EXPECT_TRUE(removeFile(path));
        EXPECT_FALSE(pathExists(path));
    }
    EXPECT_EQ(filesIn(dir.path()), 0u) << "no temporary file is left";
}

TEST(WindowsFiles, FailuresOfWritingAreTold) {
    test::TempDir dir;
    const std::string folder = pathText(dir.path());
    // A file another program holds open without sharing it for writing: what a player does
    // to the WAV file it plays. (A read-only file is refused the same way, except to an
    // administrator, which Wine run as root is.)
    const std::string inUse = folder + "\\in-use.wav";
    ASSERT_EQ(write(inUse, "old"), 0);
    HANDLE holder = ::CreateFileW(win::widen(inUse).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    std::filesystem::create_directories(dir.path() / "a folder");

    struct Case {
        const char* what;
        std::string path;
        int error;
    };
    const Case cases[] = {
        {"a file in use", inUse, EACCES},
        {"a missing folder", folder + "\\no such folder\\out.wav", ENOENT},
        {"a folder where the file belongs", folder + "\\a folder", EISDIR},
        {"a name the system refuses", folder + "\\bad|name?.wav", EINVAL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OutputFile out;
        EXPECT_EQ(out.create(c.path), c.error);
        EXPECT_FALSE(out.isOpen());
        EXPECT_FALSE(OutputFile::errorText(c.error).empty());
    }

    // A finished file cannot replace one in use: the old stays, the temporary goes.
    PendingFile pending;
    OutputFile out;
    ASSERT_EQ(pending.create(inUse, out), 0);
    EXPECT_EQ(out.writeAll("new", 3), 0);
    EXPECT_EQ(out.close(), 0);
    EXPECT_EQ(pending.commit(true), EACCES);
    EXPECT_FALSE(pending.active());
    ::CloseHandle(holder);
    EXPECT_EQ(contents(inUse), "old");

    // A write on a handle that cannot write is an error, not a silent loss.
    OutputFile closed;
    EXPECT_EQ(closed.writeAll("x", 1), EBADF);

    EXPECT_EQ(filesIn(dir.path()), 2u) << "the old file and the folder, no temporary file";
}

TEST(WindowsFiles, EmptyFilesOpenAndFoldersDoNot) {
    test::TempDir dir;
    const std::string empty = pathText(dir.path()) + "\\empty.mid";
    ASSERT_EQ(write(empty, ""), 0);
    RandomAccessFile file;
    EXPECT_EQ(file.open(empty), 0);
    EXPECT_EQ(file.size(), 0);
    EXPECT_FALSE(file.changedSinceOpen());
    EXPECT_EQ(file.open(pathText(dir.path())), EISDIR);
    EXPECT_EQ(file.open(pathText(dir.path()) + "\\missing.mid"), ENOENT);
}

TEST(WindowsPaths, TheProgramKnowsWhereItIs) {
    const std::string program = programPath();
    EXPECT_NE(program.find("platform_test.exe"), std::string::npos) << program;
    EXPECT_EQ(programFolder() + "\\platform_test.exe", program);
    EXPECT_FALSE(homeFolder().empty());
    EXPECT_EQ(kPathSeparator, '\\');
}

}  // namespace
}  // namespace svt::platform
