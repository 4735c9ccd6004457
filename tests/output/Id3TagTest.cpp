#include <gtest/gtest.h>

#include <string>

#include "output/Id3Tag.h"

namespace svt::output {
namespace {

TEST(Id3Tag, TitleIsCutToThirtyAndThePaddingIsSpaces) {
    struct Case {
        std::string title;
        std::string expectedTitleField;  // the 30 bytes after "TAG"
    };
    const std::string thirty = "The quick brown fox jumps over";
    const Case cases[] = {
        {"Tune", "Tune" + std::string(26, ' ')},
        {thirty + " the lazy dog", thirty},
        // A UTF-8 character that would be split at byte 30 is left out whole.
        {std::string(29, 'a') + "\xC3\xA9" + "b", std::string(29, 'a') + " "},
        {std::string(28, 'a') + "\xC3\xA9" + "b", std::string(28, 'a') + "\xC3\xA9"},
        // Control characters of the song's text (an escape, a bell, a NUL) become spaces.
        {std::string("A\x1b[2J\x07\0B\x7f", 9), "A [2J  B" + std::string(22, ' ')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        const auto tag = makeTitleTag(c.title);
        ASSERT_EQ(tag.size(), 128u);
        EXPECT_EQ(std::string(tag.begin(), tag.begin() + 3), "TAG");
        EXPECT_EQ(std::string(tag.begin() + 3, tag.begin() + 33), c.expectedTitleField);
        // Artist, album, year and comment are spaces; the genre is 255 ("none").
        EXPECT_EQ(std::string(tag.begin() + 33, tag.begin() + 127), std::string(94, ' '));
        EXPECT_EQ(tag[127], 255);
    }
}

}  // namespace
}  // namespace svt::output
