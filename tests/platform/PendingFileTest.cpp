#include "platform/PendingFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/TempDir.h"

namespace svt::platform {
namespace {

namespace fs = std::filesystem;

size_t filesIn(const fs::path& dir) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir)) ++n;
    return n;
}

std::string contents(const std::string& path) {
    const auto b = test::readFileBytes(path);
    return {b.begin(), b.end()};
}

// The temporary file lies in the final name's folder (a rename across file systems would
// not be one step), under a hidden name of its own that fits the longest file name.
TEST(PendingFile, TemporaryNamesLieBesideTheFinalNameAndFit) {
    test::TempDir dir;
    for (const std::string& name : {std::string("song.wav"), std::string(250, 'x') + ".wav"}) {
        SCOPED_TRACE(name.size());
        PendingFile first, second;
        OutputFile a, b;
        ASSERT_EQ(first.create(dir.file(name), a), 0);
        ASSERT_EQ(second.create(dir.file(name), b), 0);
        const fs::path temporary = first.temporaryPath();
        EXPECT_EQ(temporary.parent_path(), dir.path());
        EXPECT_EQ(temporary.filename().string()[0], '.');
        EXPECT_LE(temporary.filename().string().size(), 255u);
        EXPECT_NE(first.temporaryPath(), second.temporaryPath());
        EXPECT_FALSE(fs::exists(dir.file(name)));
    }
    EXPECT_EQ(filesIn(dir.path()), 0u) << "files never committed are removed";
}

// Committing puts the complete file under its name; without leave to replace, a file that
// appeared meanwhile stays and the new one goes.
TEST(PendingFile, CommitReplacesOnlyWhenAllowed) {
    struct Case {
        bool oldFile, replace;
        int result;
        const char* left;
    };
    for (const Case& c : {Case{false, false, 0, "new"}, Case{true, true, 0, "new"},
                          Case{true, false, EEXIST, "old"}}) {
        SCOPED_TRACE(std::to_string(c.oldFile) + std::to_string(c.replace));
        test::TempDir dir;
        const std::string final = dir.file("out.wav");
        PendingFile pending;
        OutputFile file;
        ASSERT_EQ(pending.create(final, file), 0);
        ASSERT_EQ(file.writeAll("new", 3), 0);
        ASSERT_EQ(file.close(), 0);
        if (c.oldFile) dir.write("out.wav", std::string("old"));
        EXPECT_EQ(pending.commit(c.replace), c.result);
        EXPECT_FALSE(pending.active());
        EXPECT_EQ(contents(final), c.left);
        EXPECT_EQ(filesIn(dir.path()), 1u);
    }
}

}  // namespace
}  // namespace svt::platform
