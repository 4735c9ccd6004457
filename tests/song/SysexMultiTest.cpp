#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "song/EventList.h"
#include "song/SmfReader.h"
#include "song/Sysex.h"
#include "support/SmfBuilder.h"

namespace svt {
namespace {

using namespace sysex_code;
using Events = std::vector<SongEvent>;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t S = kFromSysex;

SongEvent ev(uint8_t type, int channel, int a, int b) {
    return SongEvent{0, type, static_cast<uint8_t>(channel), static_cast<uint8_t>(a),
                     static_cast<uint8_t>(b)};
}

Events nrpn(int channel, int hi, int lo, int value) {
    return {ev(EV_NRPN_MSB, channel, hi, S), ev(EV_NRPN_LSB, channel, lo, S),
            ev(EV_DATA_ENTRY_MSB, channel, value, S)};
}

Events multi(const Bytes& message) {
    SongEvent out[kMaxSysexEvents];
    const int n = interpretMultiSysex(message, std::span<SongEvent, kMaxSysexEvents>(out));
    EXPECT_GE(n, 0);
    EXPECT_LE(n, kMaxSysexEvents);
    return Events(out, out + std::max(0, n));
}

Bytes gs(std::initializer_list<int> addressAndData, int device = 0x10) {
    return test::gsDataSet(addressAndData, device);
}

// 43 10 4C address data F7.
Bytes xg(std::initializer_list<int> addressAndData) {
    Bytes m = {0x43, 0x10, 0x4C};
    for (int b : addressAndData) m.push_back(static_cast<uint8_t>(b));
    m.push_back(0xF7);
    return m;
}

// 43 00 4C count(2) address data checksum F7 with `data` values 0, 1, 2, ...
Bytes xgBulk(int count, int high, int mid, int low, int dataBytes) {
    Bytes m = {0x43, 0x00, 0x4C};
    for (int b : {count >> 7, count & 0x7F, high, mid, low}) m.push_back(uint8_t(b));
    for (int i = 0; i < dataBytes; ++i) m.push_back(static_cast<uint8_t>(i));
    m.insert(m.end(), {0x00, 0xF7});  // the checksum is not looked at
    return m;
}

Events join(std::initializer_list<Events> parts) {
    Events all;
    for (const Events& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct Case {
    const char* what;
    Bytes message;
    Events expected;
};

void check(std::initializer_list<Case> cases) {
    for (const Case& c : cases) EXPECT_EQ(multi(c.message), c.expected) << c.what;
}

TEST(SysexMulti, XgDrumSystemAndEffectAddresses) {
    check({
        {"addresses stop at 7F", xg({0x08, 0x00, 0x7F, 1, 2, 3}), {}},
        {"without a data byte", {0x43, 0x10, 0x4C, 0x08, 0x00, 0x0B, 0xF7}, {}},
        {"cut short", {0x43, 0x10, 0x4C, 0x08, 0x00}, {}},
        {"other model", {0x43, 0x10, 0x4B, 0x08, 0x00, 0x0B, 0x40, 0xF7}, {}},
        {"drum level, set-up 1", xg({0x30, 0x24, 0x02, 0x70}),
         nrpn(kDrumSetAddress, 0x1A, 0x24, 0x70)},
        {"drum receive note off",
         xg({0x30, 0x24, 0x09, 0x00}),
         {ev(EV_SYSEX_MSB, kDrumSetAddress, 0x24, kDrumReceiveNoteOff),
          ev(EV_SYSEX_LSB, kDrumSetAddress, 0, kDrumReceiveNoteOff)}},
        {"drum alternate group",
         xg({0x30, 0x2A, 0x03, 0x01}),
         {ev(EV_SYSEX_XG_MSB, kDrumSetAddress, 0x2A, kXgGroupPart),
          ev(EV_SYSEX_XG_LSB, kDrumSetAddress, 1, 'h')}},
        {"master volume", xg({0x00, 0x00, 0x04, 0x7F}), {ev(EV_MASTER_VOLUME, 0, 0xFF, 0xFF)}},
        {"XG on is the single interpreter's", xg({0x00, 0x00, 0x7E, 0x00}), {}},
        {"reverb type",
         xg({0x02, 0x01, 0x00, 0x01, 0x02}),
         {ev(EV_SYSEX_XG_MSB, 0, 0, kXgGroupEffect), ev(EV_SYSEX_XG_LSB, 0, 1, 0x00),
          ev(EV_SYSEX_XG_MSB, 0, 0, kXgGroupEffect), ev(EV_SYSEX_XG_LSB, 0, 2, 0x01)}},
        {"past the effect block", xg({0x02, 0x01, 0x76, 0x10}), {}},
        {"multi EQ band 5 shape",
         xg({0x02, 0x40, 0x14, 0x01}),
         {ev(EV_SYSEX_XG_MSB, 0, 0, kXgGroupMultiEq), ev(EV_SYSEX_XG_LSB, 0, 1, 0x14)}},
        {"insertion 2 parameter",
         xg({0x03, 0x01, 0x02, 0x40}),
         {ev(EV_SYSEX_XG_MSB, 0, 1, kXgGroupInsertion), ev(EV_SYSEX_XG_LSB, 0, 0x40, 0x02)}},
    });
}

TEST(SysexMulti, XgBulkDumpsExpandEveryByteAndStopAtTheirEnd) {
    // Part 5, addresses 00..28 with data 0, 1, 2, ...: 17 one-event rows, 8 NRPN rows,
    // 6 wheel rows, the bend range and 5 bend rows.
    const Events part = multi(xgBulk(41, 0x08, 0x05, 0x00, 41));
    ASSERT_EQ(part.size(), 17u + 24u + 6u + 3u + 5u);
    EXPECT_EQ(part[0], ev(EV_BANK_MSB, 5, 1, S));
    EXPECT_EQ(part[2], ev(EV_PROGRAM, 5, 3, S));
    EXPECT_EQ(part[4], ev(EV_POLY, 5, 5, S));
    EXPECT_EQ(part.back(), ev(EV_SYSEX_LSB, 5, 0x28, kPitchBend + kDestLfo1Amplitude));

    // The second block, 30..6E: receive switches, scale tuning, four destination records,
    // portamento and velocity limits.
    const Events second = multi(xgBulk(63, 0x08, 0x01, 0x30, 63));
    ASSERT_EQ(second.size(), 17u + 12u + 12u + 6u + 6u + 2u + 2u);
    EXPECT_EQ(second[17], ev(EV_SCALE_TUNING, 1, 0, (0x11 - 64) & 0xFF));
    EXPECT_EQ(second.back(), ev(EV_SYSEX_LSB, 1, 0x3E, kVelocityLimitHigh));

    // Drum set-up 1, key 36: level at address 02 is the third data byte.
    const Events drum = multi(xgBulk(41, 0x30, 36, 0x00, 41));
    ASSERT_GE(drum.size(), 9u);
    EXPECT_EQ(Events(drum.begin() + 6, drum.begin() + 9), nrpn(kDrumSetAddress, 0x1A, 36, 2));

    // Data that ends early stops the dump at its checksum: addresses 00..04.
    EXPECT_EQ(multi(xgBulk(41, 0x08, 0x00, 0x00, 5)),
              (Events{ev(EV_BANK_MSB, 0, 1, S), ev(EV_BANK_LSB, 0, 2, S), ev(EV_PROGRAM, 0, 3, S),
                      ev(EV_SYSEX_XG_LSB, 0, 4, 'e')}));
    // More data than counted: the count rules.
    EXPECT_EQ(multi(xgBulk(41, 0x08, 0x00, 0x00, 60)).size(), part.size());

    check({
        {"other byte count", xgBulk(40, 0x08, 0x00, 0x00, 40), {}},
        {"effect block is not dumped", xgBulk(41, 0x02, 0x01, 0x00, 41), {}},
        {"header only", {0x43, 0x00, 0x4C, 0x00, 0x29, 0x08, 0x00, 0x00, 0xF7}, {}},
        // Without an F7 the last byte still counts as the checksum.
        {"no F7",
         Bytes{0x43, 0x00, 0x4C, 0x00, 0x29, 0x08, 0x00, 0x00, 0x01, 0x02, 0x03},
         {ev(EV_BANK_MSB, 0, 2, S)}},
    });
}

TEST(SysexMulti, GsEffectDrumAndPortAddressesAndBrokenMessages) {
    check({
        {"reverb macro", gs({0x40, 0x01, 0x30, 0x04}), {ev(EV_SYSEX_GS_LSB, 0, 4, kGsReverbMacro)}},
        {"nothing at 40 01 41", gs({0x40, 0x01, 0x41, 0x02}), {}},
        // The second port's parts are channels 16 to 31; a part's port says whether it listens
        // to the other port than its own.
        {"second port", gs({0x50, 0x11, 0x19, 0x64}), {ev(EV_VOLUME, 16, 0x64, S)}},
        {"part 10 of port B on its own port",
         gs({0x00, 0x01, 0x10, 0x01}),
         {ev(EV_SYSEX_GS_LSB, 25, 0, kGsPortSelect)}},
        {"EQ, four addresses",
         gs({0x40, 0x02, 0x00, 1, 2, 3, 4}),
         {ev(EV_SYSEX_GS_LSB, 0, 1, kGsEqLowFrequency), ev(EV_SYSEX_GS_LSB, 0, 2, kGsEqLowGain),
          ev(EV_SYSEX_GS_LSB, 0, 3, kGsEqHighFrequency), ev(EV_SYSEX_GS_LSB, 0, 4, kGsEqHighGain)}},
        {"insertion type",
         gs({0x40, 0x03, 0x00, 0x01, 0x10}),
         {ev(EV_SYSEX_GS_LSB, 0, 1, 0x27), ev(EV_SYSEX_GS_LSB, 0, 0x10, 0x28)}},
        {"drum level, map 1", gs({0x41, 0x02, 0x24, 0x64}),
         nrpn(kDrumSetAddress, 0x1A, 0x24, 0x64)},
        {"drum levels of two keys", gs({0x41, 0x02, 0x24, 0x64, 0x65}),
         join({nrpn(kDrumSetAddress, 0x1A, 0x24, 0x64), nrpn(kDrumSetAddress, 0x1A, 0x25, 0x65)})},
        {"drum level, map 2", gs({0x41, 0x12, 0x24, 0x64}),
         nrpn(kDrumSetAddress + 1, 0x1A, 0x24, 0x64)},
        {"drum play key two up", gs({0x41, 0x01, 0x24, 0x26}),
         nrpn(kDrumSetAddress, 0x18, 0x24, 66)},
        {"drum receive note off",
         gs({0x41, 0x07, 0x24, 0x00}),
         {ev(EV_SYSEX_GS_MSB, kDrumSetAddress, 0x24, kGsDrumReceiveNoteOff),
          ev(EV_SYSEX_GS_LSB, kDrumSetAddress, 0, kGsDrumReceiveNoteOff)}},
        {"drum on the second port", gs({0x51, 0x02, 0x24, 0x64}),
         nrpn(kDrumSetAddress + 16, 0x1A, 0x24, 0x64)},
        {"GS reset is the single interpreter's", gs({0x40, 0x00, 0x7F, 0x00}), {}},
        {"wrong checksum", {0x41, 0x10, 0x42, 0x12, 0x40, 0x10, 0x19, 0x64, 0x00, 0xF7}, {}},
        {"no F7", {0x41, 0x10, 0x42, 0x12, 0x40, 0x10, 0x19, 0x64, 0x73, 0x00}, {}},
        {"no data byte", gs({0x40, 0x10, 0x19}), {}},
        {"unknown maker", {0x44, 0x10, 0x42, 0x12, 0x40, 0x10, 0x19, 0x64, 0x73, 0xF7}, {}},
        {"empty", {}, {}},
    });
}

Bytes tuningDump(int program, int keys) {
    Bytes m = {0x7E, 0x7F, 0x08, 0x01, static_cast<uint8_t>(program)};
    for (int i = 0; i < 16; ++i) m.push_back('n');
    for (int k = 0; k < keys; ++k) {
        m.push_back(static_cast<uint8_t>(k));
        m.push_back(static_cast<uint8_t>(k & 0x0F));
        m.push_back(static_cast<uint8_t>(127 - k));
    }
    m.insert(m.end(), {0x00, 0xF7});  // checksum, end
    return m;
}

TEST(SysexMulti, TuningMessages) {
    // The offsets of the minor set below, one per note from C.
    Events temperament;
    for (const int offset : {0, 6, -6, 0, 0, 0, 0, 0, 0, 0, 0, 63})
        temperament.push_back(ev(EV_USER_TEMPERAMENT, 6, int(temperament.size()), offset & 0xFF));
    const Events dump = multi(tuningDump(5, 128));
    ASSERT_EQ(dump.size(), 257u);
    EXPECT_EQ(dump[0], ev(EV_TUNING_BULK, 0, 5, 0));
    EXPECT_EQ(dump[1], ev(EV_TUNING_BULK, 1, 0, 0));
    EXPECT_EQ(dump[2], ev(EV_TUNING_BULK, 2, 0, 127));
    EXPECT_EQ(dump[255], ev(EV_TUNING_BULK, 1, 127, 127));
    EXPECT_EQ(dump[256], ev(EV_TUNING_BULK, 2, 15, 0));

    // Scale tuning for channels 1 and 16 (bit 1 of the first mask byte, bit 0 of the last).
    Bytes scale = {0x7E, 0x7F, 0x08, 0x08, 0x02, 0x00, 0x01};
    for (int i = 0; i < 12; ++i) scale.push_back(static_cast<uint8_t>(0x40 + i));
    scale.push_back(0xF7);
    const Events scaled = multi(scale);
    ASSERT_EQ(scaled.size(), 24u);
    EXPECT_EQ(scaled[0], ev(EV_SCALE_TUNING, 0, 0, 0));
    EXPECT_EQ(scaled[23], ev(EV_SCALE_TUNING, 15, 11, 11));

    check({
        {"dump cut after two keys",
         tuningDump(1, 2),
         {ev(EV_TUNING_BULK, 0, 1, 0), ev(EV_TUNING_BULK, 1, 0, 0), ev(EV_TUNING_BULK, 2, 0, 127),
          ev(EV_TUNING_BULK, 1, 1, 1), ev(EV_TUNING_BULK, 2, 1, 126)}},
        {"dump with a bank",
         {0x7E, 0x7F, 0x08, 0x04, 0x02, 0x03, 0xF7},
         {ev(EV_TUNING_BULK, 0, 3, 2)}},
        {"dump request", {0x7E, 0x7F, 0x08, 0x00, 0x03, 0xF7}, {}},
        {"single-note change of two keys",
         {0x7F, 0x7F, 0x08, 0x02, 0x03, 0x02, 0x3C, 0x3C, 0x10, 0x00, 0x3E, 0x3D, 0x00, 0x01, 0xF7},
         {ev(EV_TUNING_NOTE, 0, 3, 0), ev(EV_TUNING_NOTE, 1, 0x3C, 0x3C),
          ev(EV_TUNING_NOTE, 2, 0x10, 0), ev(EV_TUNING_NOTE, 1, 0x3E, 0x3D),
          ev(EV_TUNING_NOTE, 2, 0, 1)}},
        {"single-note change counting more keys than it has",
         {0x7F, 0x7F, 0x08, 0x02, 0x03, 0x05, 0x3C, 0x3C, 0x10, 0x00, 0x3E, 0x3D, 0xF7},
         {ev(EV_TUNING_NOTE, 0, 3, 0), ev(EV_TUNING_NOTE, 1, 0x3C, 0x3C),
          ev(EV_TUNING_NOTE, 2, 0x10, 0)}},
        {"two-byte scale tuning",
         {0x7F, 0x7F, 0x08, 0x09, 0x00, 0x00, 0x01, 0x7F, 0x7F, 0x00, 0x00, 0x40, 0x00, 0x50, 0x00,
          0xF7},
         {ev(EV_SCALE_TUNING, 0, 0, 100), ev(EV_SCALE_TUNING, 0, 1, -100 & 0xFF),
          ev(EV_SCALE_TUNING, 0, 2, 0), ev(EV_SCALE_TUNING, 0, 3, 25)}},
        {"scale type is the single interpreter's", {0x7F, 0x7F, 0x08, 0x0A, 0x01, 0x02, 0xF7}, {}},
        {"too short", {0x7E, 0x7F, 0x08, 0xF7}, {}},
        {"minor set of user temperament 2",
         {0x7E, 0x7F, 0x08, 0x0D, 0x02, 0x01, 64, 70, 58, 64, 64, 64, 64, 64, 64, 64, 64, 127,
          0xF7},
         temperament},
        {"a fifth user temperament",
         {0x7E, 0x7F, 0x08, 0x0D, 0x04, 0x00, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 0xF7},
         {}},
    });
}

TEST(SysexMulti, GlobalEffectAndPressureDestinationMessages) {
    check({
        {"reverb type and time",
         {0x7F, 0x7F, 0x04, 0x05, 1, 1, 1, 1, 1, 0x00, 0x04, 0x01, 0x40, 0xF7},
         {ev(EV_SYSEX_LSB, 0, 4, kReverbType), ev(EV_SYSEX_GS_LSB, 0, 0x40, kGsReverbTime)}},
        {"chorus",
         {0x7F, 0x7F, 0x04, 0x05, 1, 1, 1, 1, 2, 0x00, 0x02, 0x01, 0x10, 0x03, 0x20, 0x04, 0x30,
          0xF7},
         {ev(EV_SYSEX_LSB, 0, 2, kChorusType), ev(EV_SYSEX_GS_LSB, 0, 0x10, kGsChorusRate),
          ev(EV_SYSEX_GS_LSB, 0, 0x20, kGsChorusFeedback),
          ev(EV_SYSEX_GS_LSB, 0, 0x30, kGsChorusSendToReverb)}},
        {"unknown reverb parameter, half a pair",
         {0x7F, 0x7F, 0x04, 0x05, 1, 1, 1, 1, 1, 0x07, 0x04, 0x00, 0xF7},
         {}},
        {"channel pressure to cut-off and amplitude",
         {0x7F, 0x7F, 0x09, 0x01, 0x03, 0x01, 0x4C, 0x02, 0x7F, 0xF7},
         {ev(EV_SYSEX_LSB, 3, 0x4C, kChannelPressure + kDestCutoff),
          ev(EV_SYSEX_LSB, 3, 0x7F, kChannelPressure + kDestAmplitude)}},
        {"pressure message without a channel", {0x7F, 0x7F, 0x09, 0x01, 0xF7}, {}},
    });

    // The real-time 09 01 message sets destinations: it is not GM on.
    EventList texts;
    GsSetupBlock setup;
    SongEvent single;
    EXPECT_FALSE(interpretSingleSysex(Bytes{0x7F, 0x7F, 0x09, 0x01, 0x03, 0x01, 0x4C, 0xF7}, setup,
                                      texts, single));
    EXPECT_TRUE(interpretSingleSysex(Bytes{0x7E, 0x7F, 0x09, 0x01, 0xF7}, setup, texts, single));
}

}  // namespace
}  // namespace svt
