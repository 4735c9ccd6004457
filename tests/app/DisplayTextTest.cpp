#include "app/DisplayText.h"

#include <gtest/gtest.h>

namespace svt {
namespace {

// What a terminal or a JSON reader gets of the bytes a song or a font holds.
TEST(DisplayText, BytesBecomeCleanUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"Plain title", "Plain title"},
        {"Caf\xC3\xA9 \xE2\x80\x93 \xF0\x9F\x8E\xB9", "Caf\xC3\xA9 \xE2\x80\x93 \xF0\x9F\x8E\xB9"},
        // Latin-1, and the Windows code page where Latin-1 has only controls.
        {"Caf\xE9 M\xFCller", "Caf\xC3\xA9 M\xC3\xBCller"},
        {"\x93quoted\x94 \x80 \x96", "\xE2\x80\x9Cquoted\xE2\x80\x9D \xE2\x82\xAC \xE2\x80\x93"},
        // Control characters: an escape sequence would clear the screen.
        {"\x1b[2J\x1b[Hgone", "\xEF\xBF\xBD[2J\xEF\xBF\xBD[Hgone"},
        {std::string("nul\0bell\x07", 9),
         "nul\xEF\xBF\xBD"
         "bell\xEF\xBF\xBD"},
        {"line\r\nbreak\ttab", "line  break tab"},
        {"del\x7F", "del\xEF\xBF\xBD"},
        {"\xC2\x85"
         "c1",
         "\xEF\xBF\xBD"
         "c1"},                    // a C1 control written in UTF-8
        {"\x81", "\xEF\xBF\xBD"},  // a byte the code page leaves undefined
        // Not UTF-8: each byte is read on its own.
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                  // an overlong slash
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},  // a surrogate
        {"cut \xE2\x82", "cut \xC3\xA2\xE2\x80\x9A"},      // a sequence cut off at the end
        {"", ""},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(cleanText(in), out) << in;
}

TEST(DisplayText, JsonStringsAreQuotedAndEscaped) {
    EXPECT_EQ(jsonString("say \"hi\" \\ bye"), "\"say \\\"hi\\\" \\\\ bye\"");
    EXPECT_EQ(jsonString("a\x1b"
                         "b\xE9"),
              "\"a\xEF\xBF\xBD"
              "b\xC3\xA9\"");
}

}  // namespace
}  // namespace svt
