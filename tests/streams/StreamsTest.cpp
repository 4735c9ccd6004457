#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "streams/streams.h"
#include "support/TempDir.h"

namespace svt {
namespace {

using test::TempDir;

std::vector<uint8_t> bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

TEST(InputStream, MappedFileReadsGetcGetsSeekAndTell) {
    TempDir dir;
    std::string path = dir.write("song.mid", std::string("line one\nline two\nrest"));
    auto opened = openStream(path);
    ASSERT_TRUE(opened.ok()) << opened.error().message;
    InputStream& s = **opened;
    EXPECT_EQ(s.type(), STREAM_LOCAL_FILE);
    EXPECT_EQ(s.memoryView().size(), 22u);

    char line[64];
    ASSERT_NE(s.gets(line, sizeof line), nullptr);
    EXPECT_STREQ(line, "line one\n");
    EXPECT_EQ(s.getc(), 'l');
    EXPECT_EQ(s.tell(), 10);

    // A seek past either end stops at the end.
    EXPECT_EQ(s.seek(1000, 0), 0);
    EXPECT_EQ(s.tell(), 22);
    EXPECT_EQ(s.getc(), -1);
    EXPECT_EQ(s.gets(line, sizeof line), nullptr);
    EXPECT_EQ(s.seek(-1000, 1), 0);
    EXPECT_EQ(s.tell(), 0);
    EXPECT_EQ(s.seek(-4, 2), 0);
    char tail[8] = {};
    EXPECT_EQ(s.read(tail, 100), 4);
    EXPECT_STREQ(tail, "rest");
    EXPECT_EQ(s.read(tail, 100), 0);

    // gets stops at size - 1 bytes.
    s.rewind();
    char small[5];
    ASSERT_NE(s.gets(small, sizeof small), nullptr);
    EXPECT_STREQ(small, "line");
    s.close();
    EXPECT_TRUE(s.closed());
}

TEST(InputStream, EmptyFileOpensThroughStdioAndReadsNothing) {
    TempDir dir;
    std::string path = dir.write("empty.mid", std::string());
    auto opened = openStream(path);
    ASSERT_TRUE(opened.ok());
    char buf[4];
    EXPECT_EQ((*opened)->read(buf, 4), 0);
    EXPECT_EQ((*opened)->getc(), -1);
    EXPECT_TRUE((*opened)->readAll(-1).empty());
}

TEST(InputStream, LimitLetsOneReadThroughThenEnds) {
    std::vector<uint8_t> data(300, 'x');
    auto s = openMemoryStream(std::span<const uint8_t>(data));
    s->setLimit(10);
    std::vector<uint8_t> buf(100);
    EXPECT_EQ(s->read(buf.data(), 100), 100);  // the source gives what it has
    EXPECT_FALSE(s->atEnd());
    EXPECT_EQ(s->read(buf.data(), 100), 0);
    EXPECT_TRUE(s->atEnd());
    EXPECT_EQ(s->read(buf.data(), 1), 0);

    s->setLimit(-1);
    EXPECT_EQ(s->limit(), kStreamNoLimit);
    EXPECT_EQ(s->readFully(buf.data(), 100), 100);
    EXPECT_EQ(s->readFully(buf.data(), 100), 100);  // 100 were left
    EXPECT_EQ(s->readFully(buf.data(), 100), 0);
}

TEST(InputStream, SkipOnSeekableSourceStaysWithinTheLimit) {
    std::vector<uint8_t> data(100);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    auto s = openMemoryStream(std::span<const uint8_t>(data));
    s->setLimit(20);
    EXPECT_EQ(s->skip(50), 20);
    EXPECT_EQ(s->delivered(), 20u);
    EXPECT_EQ(s->getc(), 20);
    s->setLimit(-1);
    EXPECT_EQ(s->skip(1000), 1000);  // the view clamps, the count is what was asked
    EXPECT_EQ(s->getc(), -1);
}

TEST(InputStream, ReadAllGrowsWithTheDataNotWithTheRequest) {
    std::vector<uint8_t> data(5000, 7);
    auto s = openMemoryStream(std::span<const uint8_t>(data));
    auto all = s->readAll(2'000'000'000L);  // a header may claim anything
    EXPECT_EQ(all.size(), 5000u);
    s->rewind();
    EXPECT_EQ(s->readAll(-1).size(), 5000u);
    s->rewind();
    EXPECT_EQ(s->readAll(10).size(), 10u);
}

// Standard input cannot seek: only forward moves work, by skipping.
TEST(InputStream, StandardInputSeeksOnlyForward) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const char text[] = "0123456789abcdef";
    ASSERT_EQ(::write(fds[1], text, 16), 16);
    ::close(fds[1]);
    int savedStdin = ::dup(0);
    ::dup2(fds[0], 0);
    ::close(fds[0]);
    {
        auto opened = openStream("-");
        ASSERT_TRUE(opened.ok());
        InputStream& s = **opened;
        EXPECT_FALSE(s.canSeek());
        char buf[4];
        EXPECT_EQ(s.read(buf, 4), 4);
        EXPECT_EQ(s.tell(), 4);
        EXPECT_EQ(s.seek(2, 0), -1);
        EXPECT_EQ(s.error(), kStreamErrorCannotSeek);
        EXPECT_EQ(s.seek(8, 0), 4);  // skips 4 bytes, returns the old position
        EXPECT_EQ(s.read(buf, 1), 1);
        EXPECT_EQ(buf[0], '8');
        EXPECT_EQ(s.seek(3, 1), 1);  // delivered restarted at the previous seek
        EXPECT_EQ(s.getc(), 'c');
        s.close();
    }
    clearerr(stdin);
    ::dup2(savedStdin, 0);
    ::close(savedStdin);
}

TEST(InputStream, OpenFailuresCarryTheSystemErrorNumber) {
    TempDir dir;
    auto missing = openStream(dir.file("nope.mid"));
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, kStreamErrorNotFound);
    EXPECT_NE(missing.error().message.find("nope.mid"), std::string::npos);

    auto empty = openStream("file:");
    ASSERT_FALSE(empty.ok());
    EXPECT_EQ(empty.error().code, kStreamErrorNotFound);

    if (::geteuid() != 0) {  // root reads everything
        std::string locked = dir.write("locked.mid", std::string("MThd"));
        std::filesystem::permissions(locked, std::filesystem::perms::none);
        auto refused = openStream(locked);
        ASSERT_FALSE(refused.ok());
        EXPECT_EQ(refused.error().code, kStreamErrorAccess);
    }

    std::string path = dir.write("x.mid", std::string("MThd"));
    auto viaScheme = openStream("file:" + path);
    ASSERT_TRUE(viaScheme.ok());
    EXPECT_EQ((*viaScheme)->getc(), 'M');
}

TEST(InputStream, NameTestTellsLocalFilesFromAddresses) {
    struct Case {
        const char* name;
        bool local;
    } cases[] = {
        {"C:\\Music\\song.mid", true},
        {"\\\\server\\share\\a.mid", true},
        {"file:song.mid", true},
        {"songs/a.mid", true},
        {"/home/a/b.mid", true},
        {"a:b.mid", true},
        {"http://example.org/a.mid", false},
        {"ftp://host/a.mid", false},
        {"news:/group", false},
    };
    for (const Case& c : cases) EXPECT_EQ(isLocalFileName(c.name), c.local) << c.name;
}

TEST(InputStream, CloseTwiceComplainsButDoesNotCrash) {
    auto s = openMemoryStream(bytes("abc"));
    s->close();
    testing::internal::CaptureStderr();
    s->close();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "URL Error: Already URL is closed (type=100)\n");
}

TEST(FolderExpansion, FoldersBecomeTheirSortedFiles) {
    TempDir dir;
    dir.write("b.mid", std::string("x"));
    dir.write("a.mid", std::string("x"));
    dir.write("sub/c.mid", std::string("x"));
    std::string folder = dir.path().string();
    auto flat = expandFolders({"@list", folder, "single.mid"}, false);
    ASSERT_EQ(flat.size(), 4u);
    EXPECT_EQ(flat[0], "@list");
    EXPECT_EQ(std::filesystem::path(flat[1]).filename(), "a.mid");
    EXPECT_EQ(std::filesystem::path(flat[2]).filename(), "b.mid");
    EXPECT_EQ(flat[3], "single.mid");
    auto deep = expandFolders({folder}, true);
    EXPECT_EQ(deep.size(), 3u);
}

}  // namespace
}  // namespace svt
