// The media-player list as a media player reads it: written by the export, parsed back with an
// XML parser, it names the converted files of every song, whatever characters their paths hold.

#include <gtest/gtest.h>

#include <QFile>
#include <QXmlStreamReader>

#include "desktop/MediaPlayerExport.h"
#include "support/TempDir.h"

namespace svt {
namespace {

struct ParsedList {
    QString error;
    QString title;
    QString itemCount;
    QStringList media;
};

ParsedList parse(const std::string& path) {
    ParsedList out;
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        out.error = QStringLiteral("cannot open");
        return out;
    }
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.name() == QLatin1String("title")) out.title = xml.readElementText();
        if (xml.name() == QLatin1String("meta") &&
            xml.attributes().value(QLatin1String("name")) == QLatin1String("ItemCount"))
            out.itemCount = xml.attributes().value(QLatin1String("content")).toString();
        if (xml.name() == QLatin1String("media"))
            out.media << xml.attributes().value(QLatin1String("src")).toString();
    }
    if (xml.hasError()) out.error = xml.errorString();
    return out;
}

TEST(MediaPlayerExport, ParsesAsXmlAndNamesTheConvertedFiles) {
    test::TempDir dir;
    struct Case {
        const char* what;
        OutputKind output;
        std::vector<std::string> songs;
        QStringList expected;
    };
    using O = OutputKind;
    const Case cases[] = {
        {"empty playlist", O::WavFile, {}, {}},
        {"XML's own characters",
         O::WavFile,
         {"/m/Rock & Roll.mid", "/m/<b>.mid", "/m/say \"hi\" it's.mid"},
         {"/m/Rock & Roll.wav", "/m/<b>.wav", "/m/say \"hi\" it's.wav"}},
        {"non-ASCII paths",
         O::Mp3File,
         {"/m/Mäßig — Für Elise.mid", "/m/日本.kar"},
         {QString::fromUtf8("/m/Mäßig — Für Elise.mp3"), QString::fromUtf8("/m/日本.mp3")}},
        {"format and case", O::OpusFile, {"/m/a.mid", "/B.MID"}, {"/m/a.opus", "/B.OPUS"}},
        {"live output: .mid", O::Live, {"/a.kar", "/b.smf", "/c"}, {"/a.mid", "/b.mid", "/c.mid"}},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file("x & y.wpl");
        ASSERT_TRUE(writeMediaPlayerList(path, c.songs, c.output, Language::English).ok());
        const ParsedList parsed = parse(path);
        EXPECT_TRUE(parsed.error.isEmpty()) << c.what << ": " << parsed.error.toStdString();
        EXPECT_EQ(parsed.title, QStringLiteral("x & y.wpl")) << c.what;
        EXPECT_EQ(parsed.itemCount, QString::number(c.songs.size())) << c.what;
        EXPECT_EQ(parsed.media, c.expected) << c.what;
    }
}

TEST(MediaPlayerExport, BrokenTextIsReplacedAndAFailedWriteKeepsTheOldFile) {
    // Bytes that are no UTF-8 and control characters cannot stand in XML.
    EXPECT_EQ(xmlEscape(std::string("a\x01"
                                    "b\xff") +
                        "c"),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD"
              "c");
    EXPECT_EQ(xmlEscape("\xC3\xA4\t"), "\xC3\xA4\t");

    test::TempDir dir;
    const std::string old = dir.write("old.wpl", std::string("keep"));
    const Status failed = writeMediaPlayerList(dir.file("no/x.wpl"), {"/a.mid"},
                                               OutputKind::WavFile, Language::German);
    EXPECT_TRUE(failed.error().message.starts_with("Datei nicht vorhanden"));
    EXPECT_EQ(test::readFileBytes(old).size(), 4u);
    const std::string temp = temporaryWplPath();
    EXPECT_TRUE(temp.ends_with(".wpl"));
    EXPECT_FALSE(std::filesystem::exists(temp));
}

}  // namespace
}  // namespace svt
