// Rendering with effects in an engine, and changing effect types and parameters while a song
// plays, must not allocate: every line is reserved when the effects are made. Nor must the
// output's peak limiter, nor the helper threads that share a song's voices. This executable
// counts the allocations of every thread through the global operator new.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>

#include "effects/effects.h"
#include "output/PeakLimiter.h"
#include "song/Sysex.h"
#include "support/EngineRig.h"

namespace {
// Counted on every thread: the render helpers' allocations are as much a fault as the
// player's. Nothing else runs while a test measures.
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t n) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
// Temporary buffers (std::stable_sort) come from the nothrow form: counted too, and from the
// same heap that the operator delete below returns to.
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(n ? n : 1);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace svt::test {
namespace {

using namespace sysex_code;

TEST(EffectAllocations, NoneWhileRenderingOrChangingEffects) {
    for (int mode : {SYSTEM_GS_RESET, SYSTEM_XG_ON}) {
        EngineRig rig;
        rig.synth().setSystemMode(mode);
        rig.synth().resetChannels();
        for (int c = 0; c < 4; ++c) {
            rig.program(c, 0);
            rig.event(EV_REVERB_SEND, c, 100);
            rig.event(EV_CHORUS_SEND, c, 100);
            rig.event(EV_CELESTE_SEND, c, 100);
        }
        rig.event(EV_SYSEX_GS_LSB, 1, 1, kGsInsertionSwitch);
        rig.event(EV_SYSEX_GS_LSB, 2, 1, kGsEqSwitch);
        // XG insertion block 1 serves part 1, the variation is inserted into part 2, and two
        // drum keys send on their own.
        auto xg = [&](int group, int block, int code, int value) {
            rig.event(EV_SYSEX_XG_MSB, 0, uint8_t(block), uint8_t(group));
            rig.event(EV_SYSEX_XG_LSB, 0, uint8_t(value), uint8_t(code));
        };
        xg(kXgGroupInsertion, 0, 0x0C, 0);
        xg(kXgGroupEffect, 0, 0x5B, 1);
        rig.program(9, 0);
        for (int key : {36, 38}) {
            rig.event(EV_NRPN_MSB, 9, 0x1D);
            rig.event(EV_NRPN_LSB, 9, key);
            rig.event(EV_DATA_ENTRY_MSB, 9, key);
        }
        rig.noteOn(0, 60);
        rig.noteOn(1, 64);
        rig.noteOn(2, 67);
        rig.noteOn(9, 36);
        rig.noteOn(9, 38);
        std::vector<int32_t> out(2 * kBlockFrames);
        rig.synth().render({out.data(), kBlockFrames});  // the first block settles what is lazy

        const long before = allocations;
        auto step = [&] { rig.synth().render({out.data(), kBlockFrames}); };
        for (int reverb = 0; reverb < 8; ++reverb) {
            rig.event(EV_SYSEX_GS_LSB, 0, reverb, kGsReverbMacro);
            rig.event(EV_SYSEX_GS_LSB, 0, 127, kGsReverbMacro + 4);  // the longest time
            step();
        }
        for (int chorus = 0; chorus < 8; ++chorus) {
            rig.event(EV_SYSEX_GS_LSB, 0, chorus, kGsChorusMacro);
            rig.event(EV_SYSEX_GS_LSB, 0, chorus, kGsDelayMacro);
            rig.event(EV_SYSEX_GS_LSB, 0, 0x73, kGsDelayMacro + 2);
            step();
        }
        rig.event(EV_SYSEX_GS_LSB, 0, 0x4C, kGsEqLowGain);
        for (const auto& t : effects::gsInsertionTypes()) {
            rig.event(EV_SYSEX_GS_LSB, 0, t.type >> 8, kGsInsertionTypeMsb);
            rig.event(EV_SYSEX_GS_LSB, 0, t.type & 0xFF, kGsInsertionTypeMsb + 1);
            step();
        }
        for (const auto& t : effects::xgEffectTypes()) {
            for (int address : {0x20, 0x40}) {  // chorus and variation blocks
                rig.event(EV_SYSEX_XG_MSB, 0, 0, kXgGroupEffect);
                rig.event(EV_SYSEX_XG_LSB, 0, t.type >> 8, uint8_t(address));
                rig.event(EV_SYSEX_XG_MSB, 0, 0, kXgGroupEffect);
                rig.event(EV_SYSEX_XG_LSB, 0, t.type & 0xFF, uint8_t(address + 1));
            }
            xg(kXgGroupEffect, 0, 0x42, 127);  // the longest first variation parameter
            xg(kXgGroupInsertion, 0, 0x00, t.type >> 8);
            xg(kXgGroupInsertion, 0, 0x01, t.type & 0xFF);
            xg(kXgGroupMultiEq, 0, 0x00, t.type & 3);  // the master equaliser's presets
            step();
        }
        EXPECT_EQ(allocations - before, 0) << "mode " << mode;
    }
}

TEST(EffectAllocations, NoneOnTheRenderHelpers) {
    // Helpers mix into copies of every buffer their voices need: the main block, the
    // channels' sends, a drum key's own send and the insertion effect's part. Voices start and
    // end, in stretches of several lengths, while the helpers share them.
    EngineSettings settings;
    settings.renderThreads = 3;
    EngineRig rig(settings);
    rig.synth().setSystemMode(SYSTEM_GS_RESET);
    rig.synth().resetChannels();
    for (int c = 0; c < 6; ++c) {
        rig.program(c, c % 2 ? 4 : 0);
        rig.event(EV_REVERB_SEND, c, 20 * c);
        rig.event(EV_CHORUS_SEND, c, c % 3 ? 90 : 0);
    }
    rig.event(EV_SYSEX_GS_LSB, 1, 1, kGsInsertionSwitch);
    rig.program(9, 0);
    rig.event(EV_NRPN_MSB, 9, 0x1D);
    rig.event(EV_NRPN_LSB, 9, 38);
    rig.event(EV_DATA_ENTRY_MSB, 9, 100);
    std::vector<int32_t> out(2 * kBlockFrames);
    auto chord = [&](int root) {
        for (int c = 0; c < 6; ++c)
            for (int k : {0, 4, 7, 12}) rig.noteOn(c, root + c + k);
        rig.noteOn(9, 38);
    };
    chord(48);
    rig.synth().render({out.data(), kBlockFrames});  // the first block settles what is lazy

    const int64_t sharedBefore = rig.synth().sharedStretches();
    const long before = allocations.load();
    for (int round = 0; round < 12; ++round) {
        for (int c = 0; c < 6; ++c) rig.noteOff(c, 48 + round + c);
        chord(50 + round);
        for (int piece : {kBlockFrames, 300, 1500}) rig.synth().render({out.data(), piece});
    }
    EXPECT_EQ(allocations.load() - before, 0);
    EXPECT_GT(rig.synth().sharedStretches() - sharedBefore, 12) << "the helpers mixed";
}

TEST(EffectAllocations, NoneWhileTheLimiterWorks) {
    output::PeakLimiter limiter;
    limiter.prepare(44100);
    std::vector<int32_t> block(2 * kBlockFrames);
    const long before = allocations;
    for (int b = 0; b < 20; ++b) {
        // Quiet and loud blocks in turn, in pieces of several sizes.
        for (size_t i = 0; i < block.size(); ++i)
            block[i] =
                static_cast<int32_t>((b % 2 ? 3 : 0.3) * kFullScale * std::sin(0.01 * double(i)));
        for (int at = 0, n = 100; at < kBlockFrames; at += n, n *= 2)
            limiter.process(block.data() + 2 * at, std::min(n, kBlockFrames - at));
    }
    limiter.drain(block.data(), kBlockFrames);
    EXPECT_EQ(allocations - before, 0);
}

}  // namespace
}  // namespace svt::test
