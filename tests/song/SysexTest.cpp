#include "song/Sysex.h"

#include <gtest/gtest.h>

#include "song/EventList.h"
#include "support/SmfBuilder.h"

namespace svt {
namespace {

TEST(Sysex, ModeMasterAndPartMessagesBecomeTheirEvent) {
    struct Case {
        const char* what;
        std::vector<uint8_t> message;  // after F0, F7 included
        bool yields;
        SongEvent expected;
    };
    const Case cases[] = {
        {"GM on", {0x7E, 0x7F, 0x09, 0x01, 0xF7}, true, {0, EV_SYSTEM_RESET, 0, SYSTEM_GM_ON, 0}},
        {"GS reset",
         {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7},
         true,
         {0, EV_SYSTEM_RESET, 0, SYSTEM_GS_RESET, 255}},
        {"GS reset, bad checksum",
         {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x42, 0xF7},
         false,
         {}},
        {"XG on",
         {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7},
         true,
         {0, EV_SYSTEM_RESET, 0, SYSTEM_XG_ON, 255}},
        // (0x40 * 128 + 0x10) * 4 + 3 = 32835 = 0x8043
        {"universal master volume",
         {0x7F, 0x7F, 0x04, 0x01, 0x10, 0x40, 0xF7},
         true,
         {0, EV_MASTER_VOLUME, 0, 0x43, 0x80}},
        {"GS master volume 64",
         {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x04, 0x40, 0x7C, 0xF7},
         true,
         {0, EV_MASTER_VOLUME, 0, 33026 & 0xFF, 33026 >> 8}},
        {"drum part on part 10",
         {0x41, 0x10, 0x42, 0x12, 0x40, 0x10, 0x15, 0x01, 0x1A, 0xF7},
         true,
         {0, EV_DRUM_PART, 9, 1, 255}},
        {"empty", {}, false, {}},
        {"temperament of channel 3, at once",
         {0x7F, 0x7F, 0x08, 0x0B, 0x03, 0x02, 0xF7},
         true,
         {0, EV_TEMPERAMENT_TYPE, 3, 2, 1}},
        {"temperament without its type", {0x7E, 0x7F, 0x08, 0x0B, 0x03, 0xF7}, false, {}},
    };
    for (const Case& c : cases) {
        EventList texts;
        GsSetupBlock setup;
        SongEvent out;
        EXPECT_EQ(interpretSingleSysex(c.message, setup, texts, out), c.yields) << c.what;
        if (c.yields) {
            EXPECT_EQ(out, c.expected) << c.what;
        }
    }
}

TEST(Sysex, DisplayTextGoesIntoTheStringTableAndSetupTracksAreRecognised) {
    EventList texts;
    GsSetupBlock setup;
    SongEvent out;
    const std::vector<uint8_t> display = {0x41, 0x10, 0x45, 0x12, 0x10, 0x00,
                                          0x00, 'H',  'i',  '!',  0x00, 0xF7};
    ASSERT_TRUE(interpretSingleSysex(display, setup, texts, out));
    EXPECT_EQ(out.type, EV_GS_DISPLAY_TEXT);
    out.time = 0;
    texts.add(SongEvent{0, EV_NOTE_ON, 0, 60, 1});
    texts.add(out);
    auto song = texts.convert(480, {});
    ASSERT_TRUE(song.ok());
    EXPECT_EQ(song->strings.at(static_cast<size_t>(stringIndexOf(out))).substr(1), "Hi!");

    // Voice reserve and all eight parameters at 40 01 38..3F make a set-up track.
    const std::vector<uint8_t> reserve =
        test::gsDataSet({0x40, 0x01, 0x10, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2});
    EXPECT_FALSE(interpretSingleSysex(reserve, setup, texts, out));
    for (int p = 0; p < 8; ++p) {
        EXPECT_FALSE(setup.setupFlag);
        const std::vector<uint8_t> m = test::gsDataSet({0x40, 0x01, 0x38 + p, 1, 2, 3});
        EXPECT_FALSE(interpretSingleSysex(m, setup, texts, out));
    }
    EXPECT_TRUE(setup.setupFlag);
}

}  // namespace
}  // namespace svt
