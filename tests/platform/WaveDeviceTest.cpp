// The ALSA device through its "null" and "file" plugins, which need no sound card: the
// file plugin writes exactly what the device would have played.
#include "platform/WaveDevice.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/WaveDoneLog.h"
#include "support/TempDir.h"

namespace svt::platform {
namespace {

std::vector<uint8_t> stereo16(size_t frames, int16_t left, int16_t right) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < frames; ++i) {
        for (int16_t v : {left, right}) {
            out.push_back(static_cast<uint8_t>(v & 0xFF));
            out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
        }
    }
    return out;
}

TEST(WaveDevice, BuffersComeBackInOrderAndTheFileGetsEveryByte) {
    test::TempDir dir;
    const std::string raw = dir.file("played.raw");
    auto system = makeWaveSystem("file:FILE=" + raw + ",FORMAT=raw");
    ASSERT_EQ(system->deviceCount(), 1);
    DoneLog log;
    std::string error;
    const std::vector<uint8_t> a = stereo16(4096, 1000, -1000), b = stereo16(4096, 2000, -2000),
                               c = stereo16(1808, 3000, -3000);
    {
        auto device = system->open(WaveFormat{}, log.callback(), &error);
        ASSERT_NE(device, nullptr) << error;
        device->write({a.data(), static_cast<uint32_t>(a.size()), 7});
        device->write({b.data(), static_cast<uint32_t>(b.size()), 3});
        log.waitFor(2);
        device->setVolume(0x8000, 0xFFFF);  // half on the left from now on
        device->write({c.data(), static_cast<uint32_t>(c.size()), 5});
        log.waitFor(3);
    }
    EXPECT_EQ(log.done, (std::vector<uintptr_t>{7, 3, 5}));
    EXPECT_EQ(log.opened, 1);
    EXPECT_EQ(log.closed, 1);

    const std::vector<uint8_t> played = test::readFileBytes(raw);
    std::vector<uint8_t> expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    const std::vector<uint8_t> quieter = stereo16(1808, 1500, -3000);
    expected.insert(expected.end(), quieter.begin(), quieter.end());
    ASSERT_EQ(played.size(), expected.size());
    EXPECT_TRUE(played == expected);
}

TEST(WaveDevice, UnknownDeviceIsReportedWithItsName) {
    auto system = makeWaveSystem("no-such-sorvanto-device");
    EXPECT_EQ(system->deviceCount(), 0);
    std::string error;
    DoneLog log;
    EXPECT_EQ(system->open(WaveFormat{}, log.callback(), &error), nullptr);
    EXPECT_NE(error.find("no-such-sorvanto-device"), std::string::npos) << error;
}

}  // namespace
}  // namespace svt::platform
