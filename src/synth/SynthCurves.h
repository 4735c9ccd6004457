#pragma once
// Read-only curves of the synthesizer, built once per process and shared by every engine.

#include <array>

namespace svt {

struct SynthCurves {
    // Gain of a side for pan positions 0..128 (a side reads pan[128 - p] or pan[p]):
    // 0 at 0 and 1, 0.999 at 2, 76.661 at the centre, 128 from 127 on; rising throughout.
    std::array<double, 129> pan;
    // The same in GM2 mode: 128 sin((k - 1) pi / 252).
    std::array<double, 129> panGm2;
    // Velocity, volume and expression to gain, 0 at 0 and 127 at 127.
    std::array<double, 128> volumeDefault;  // 127 (i / 127)^1.66096404744
    std::array<double, 128> volumeGm2;      // i^2 / 127
    // GS mode: velocity 0.8013 at 1 and 37.9907 at 64; volume and expression 0.1289 at 1 and
    // 32.3738 at 64.
    std::array<double, 128> velocityGs;
    std::array<double, 128> volumeGs;
    // Factors on an envelope stage's rate for an envelope-time controller value: 64 leaves
    // the rate as it is, values above slow it (a longer time), values below speed it up; each
    // falls steadily from its top at 0. Rising stages (the attack) span five octaves each way,
    // falling stages before the release four, the release three: a release made too fast
    // would click.
    std::array<double, 128> envelopeRise;
    std::array<double, 128> envelopeFall;
    std::array<double, 128> envelopeRelease;
    // How far the modulation envelope moves pitch and cutoff at its level >> 20 (0..1023):
    // 0 at 0, 1 at 1023, log2(1 + max(0, 1 + 5/12 log10(i / 1023))) between. The level runs
    // in steps of the volume's decibel scale; the curve turns it back into a share of the depth.
    std::array<double, 1024> modulationEnvelope;
};

const SynthCurves& synthCurves();

}  // namespace svt
