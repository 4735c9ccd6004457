#include <gtest/gtest.h>

#include <filesystem>

#include "streams/streams.h"
#include "support/TempDir.h"

namespace svt {
namespace {

using test::TempDir;

TEST(InputStream, FileReadsGetcGetsSeekAndTell) {
    TempDir dir;
    std::string path = dir.write("song.mid", std::string("line one\nline two\nrest"));
    auto opened = openStream(path);
    ASSERT_TRUE(opened.ok()) << opened.error().message;
    InputStream& s = **opened;
    EXPECT_EQ(s.type(), STREAM_LOCAL_FILE);
    EXPECT_EQ(s.size(), 22);

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
    EXPECT_TRUE(s.close().ok());
    EXPECT_TRUE(s.closed());

    // A name that is not there is refused with the name and the reason.
    auto missing = openStream(dir.file("nope.mid"));
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, kStreamErrorNotFound);
    EXPECT_NE(missing.error().message.find("nope.mid"), std::string::npos);
}

#ifndef _WIN32  // a file open for reading cannot be cut short there
// A file cut short by another program while it is read (a copy over it truncates first) ends
// the reading early, and the stream says that the file changed; one left alone does not.
TEST(InputStream, AFileCutShortWhileItIsReadEndsEarlyAndSaysSo) {
    TempDir dir;
    std::string bytes(200000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i % 251);
    const std::string path = dir.write("song.mid", bytes);
    for (const bool cut : {false, true}) {
        SCOPED_TRACE(cut ? "cut short" : "left alone");
        auto opened = openStream(path);
        ASSERT_TRUE(opened.ok());
        InputStream& s = **opened;
        std::string head(70000, '\0');
        ASSERT_EQ(s.readFully(head.data(), 70000), 70000);
        EXPECT_EQ(head, bytes.substr(0, 70000));
        EXPECT_EQ(s.getc(), 70000 % 251) << "reads across its buffer";
        if (cut) std::filesystem::resize_file(path, 100000);
        const size_t rest = s.readAll(-1).size();
        EXPECT_EQ(s.changedWhileRead(), cut);
        EXPECT_EQ(rest < 129999, cut) << rest;
    }
}
#endif

// A memory stream's limit lets one read through then ends it, a skip stays within it, and a
// whole read grows with the data, not with what a header claims.
TEST(InputStream, LimitSkipAndWholeReadsOnAMemoryStream) {
    std::vector<uint8_t> data(300);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
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

    s->rewind();
    s->setLimit(20);
    EXPECT_EQ(s->skip(50), 20);
    EXPECT_EQ(s->delivered(), 20u);
    EXPECT_EQ(s->getc(), 20);
    s->setLimit(-1);
    EXPECT_EQ(s->skip(1000), 1000);  // the view clamps, the count is what was asked
    EXPECT_EQ(s->getc(), -1);

    s->rewind();
    EXPECT_EQ(s->readAll(2'000'000'000L).size(), 300u);
    s->rewind();
    EXPECT_EQ(s->readAll(-1).size(), 300u);
    s->rewind();
    EXPECT_EQ(s->readAll(10).size(), 10u);
}

// A folder gives the songs in it, told by their first bytes whatever their names: texts, the
// audio files of an earlier run and unknown files are passed over; names given themselves pass
// unchanged.
TEST(FolderExpansion, FoldersBecomeTheirSortedSongs) {
    TempDir dir;
    const std::string midi = "MThd\0\0\0\6";
    const std::string rmid = std::string("RIFF\x10\0\0\0RMIDdata", 16);
    const std::pair<const char*, std::string> files[] = {{"b.mid", midi},
                                                         {"a.mid", midi},
                                                         {"song.kar", midi},
                                                         {"old.wav", "RIFF\x10\0\0\0WAVEfmt "},
                                                         {"notes.txt", "a song begins with MThd"},
                                                         {"wrapped.rmi", rmid},
                                                         {"tiny.mid", "MTh"},
                                                         {"no-name", midi},
                                                         {"sub/c.mid", midi},
                                                         {"sub/c.wav", "RIFF"}};
    for (const auto& [name, content] : files) dir.write(name, content);
    const std::string folder = dir.path().string();
    auto names = [](const std::vector<std::string>& paths) {
        std::vector<std::string> out;
        for (const std::string& p : paths)
            out.push_back(std::filesystem::path(p).is_absolute()
                              ? std::filesystem::path(p).filename().string()
                              : p);
        return out;
    };
    EXPECT_EQ(names(expandFolders({"@list", folder, "notes.txt"}, false)),
              (std::vector<std::string>{"@list", "a.mid", "b.mid", "no-name", "song.kar",
                                        "wrapped.rmi", "notes.txt"}));
    EXPECT_EQ(names(expandFolders({folder}, true)),
              (std::vector<std::string>{"a.mid", "b.mid", "no-name", "song.kar", "c.mid",
                                        "wrapped.rmi"}));
}

}  // namespace
}  // namespace svt
