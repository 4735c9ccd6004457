#include "cli/PlayKeys.h"

#include <gtest/gtest.h>

#include <string>

namespace svt {
namespace {

std::vector<PlayKey> decode(PlayKeyDecoder& d, const std::string& s) {
    std::vector<PlayKey> out;
    d.feed(std::span(reinterpret_cast<const uint8_t*>(s.data()), s.size()), out);
    return out;
}

// Keys of `actions` that carry no channel.
std::vector<PlayKey> keys(std::initializer_list<PlayAction> actions) {
    std::vector<PlayKey> out;
    for (PlayAction a : actions) out.push_back({a});
    return out;
}

TEST(PlayKeys, EveryKeyHasItsAction) {
    PlayKeyDecoder d;
    using A = PlayAction;
    EXPECT_EQ(decode(d, " np+-[]q\x03"),
              keys({A::Pause, A::Next, A::Previous, A::TransposeUp, A::TransposeDown,
                    A::TempoSlower, A::TempoFaster, A::Quit, A::Quit}));
    EXPECT_EQ(decode(d, "\x1b[A\x1b[B\x1b[C\x1b[D\x1bOC\x1b[1;5D"),
              keys({A::VolumeUp, A::VolumeDown, A::SeekForward, A::SeekBack, A::SeekForward,
                    A::SeekBack}));
    const std::vector<PlayKey> mutes = decode(d, "1234567890!@#$%^");
    ASSERT_EQ(mutes.size(), 16u);
    for (int ch = 0; ch < 16; ++ch)
        EXPECT_EQ(mutes[static_cast<size_t>(ch)], (PlayKey{A::ToggleMute, ch}));
}

TEST(PlayKeys, EscapeSequencesSurviveSplitReadsAndStrayBytesAreIgnored) {
    PlayKeyDecoder d;
    EXPECT_TRUE(decode(d, "\x1b").empty());
    EXPECT_TRUE(decode(d, "[").empty());
    EXPECT_EQ(decode(d, "C"), keys({PlayAction::SeekForward}));
    // An unknown escape sequence swallows only itself; "x", NUL and DEL do nothing.
    EXPECT_EQ(decode(d, std::string("\x1b[Zx\0\x7f n", 8)),
              keys({PlayAction::Pause, PlayAction::Next}));
    // A lone ESC followed by a key: the key still counts.
    EXPECT_TRUE(decode(d, "\x1b").empty());
    EXPECT_EQ(decode(d, "q"), keys({PlayAction::Quit}));
}

}  // namespace
}  // namespace svt
