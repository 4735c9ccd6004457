// The ring between the player thread and the encoder thread.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

#include "output/Mp3Ring.h"

namespace svt::output {
namespace {

std::vector<uint8_t> counting(size_t n, uint8_t start = 1) {
    std::vector<uint8_t> v(n);
    std::iota(v.begin(), v.end(), start);
    return v;
}

// A discard empties the ring; an empty read request ends the input.
TEST(Mp3Ring, DiscardEmptiesTheRingAndAnEmptyRequestEndsTheInput) {
    Mp3Ring ring;
    ring.reset();
    const std::vector<uint8_t> first = counting(200'000), second = counting(5000, 77);
    ring.write(first.data(), first.size());
    ring.discard();
    EXPECT_EQ(ring.filled(), 0u);
    ring.write(second.data(), second.size());
    std::vector<uint8_t> buf(5000);
    ASSERT_EQ(ring.read(buf.data(), buf.size()), 0);
    EXPECT_EQ(buf, second) << "only what came after the discard is read";
    EXPECT_EQ(ring.read(nullptr, 100), 0);
    EXPECT_EQ(ring.state(), EncoderState::InputEnded);
    uint8_t b = 0;
    EXPECT_EQ(ring.write(&b, 1), 0) << "nothing is taken after the end";
    EXPECT_NE(ring.read(buf.data(), buf.size()), 0);
}

// Player and encoder at once, with uneven pieces that wrap around the ring's end many
// times: every byte arrives once, in order.
TEST(Mp3Ring, ConcurrentStreamArrivesIntactInOrder) {
    struct Case {
        RingWait wait;
        size_t totalBytes;
    };
    // The sleeping wait costs up to 100 ms a turn, so it gets a shorter stream.
    const Case cases[] = {{RingWait::Notify, 20'000'000}, {RingWait::Sleep, 1'500'000}};
    for (const Case& c : cases) {
        Mp3Ring ring(c.wait);
        ring.reset();
        auto byteAt = [](size_t i) { return static_cast<uint8_t>((i * 2654435761u) >> 13); };
        std::thread writer([&] {
            std::mt19937 rng(1);
            std::vector<uint8_t> piece(70'000);
            size_t pos = 0;
            while (pos < c.totalBytes) {
                size_t n = std::min<size_t>(rng() % piece.size() + 1, c.totalBytes - pos);
                for (size_t i = 0; i < n; ++i) piece[i] = byteAt(pos + i);
                if (ring.write(piece.data(), n) != static_cast<long>(n)) {
                    ADD_FAILURE() << "write refused at " << pos;
                    break;
                }
                pos += n;
            }
            ring.setState(EncoderState::InputEnded);
        });
        std::mt19937 rng(2);
        std::vector<uint8_t> buf(10'000);
        size_t pos = 0, errors = 0;
        for (;;) {
            size_t n = rng() % buf.size() + 1;
            if (ring.read(buf.data(), n) != 0) break;
            for (size_t i = 0; i < n; ++i)
                if (pos + i < c.totalBytes ? buf[i] != byteAt(pos + i) : buf[i] != 0) ++errors;
            pos += n;
        }
        writer.join();
        EXPECT_EQ(errors, 0u);
        EXPECT_GE(pos, c.totalBytes);
        EXPECT_LT(pos, c.totalBytes + buf.size()) << "only the last request is padded";
    }
}

}  // namespace
}  // namespace svt::output
