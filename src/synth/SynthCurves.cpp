#include "synth/SynthCurves.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace svt {

namespace {

// The default pan law: f(x) = x + c x^2 (1 - x) + d x (1 - x) over x = (k - 1) / 126, with c
// and d chosen so that the table passes through its fixed points at k = 2 and k = 64. The
// derivative stays positive on 0..1, so the table rises throughout.
void buildPan(std::array<double, 129>& pan) {
    constexpr double kAt2 = 0.999 / 128.0;
    constexpr double kAt64 = 76.661 / 128.0;
    const double x1 = 1.0 / 126.0;
    const double xm = 63.0 / 126.0;
    // a1 c + b1 d = r1; a2 c + b2 d = r2
    const double a1 = x1 * x1 * (1 - x1), b1 = x1 * (1 - x1), r1 = kAt2 - x1;
    const double a2 = xm * xm * (1 - xm), b2 = xm * (1 - xm), r2 = kAt64 - xm;
    const double det = a1 * b2 - a2 * b1;
    const double c = (r1 * b2 - r2 * b1) / det;
    const double d = (a1 * r2 - a2 * r1) / det;
    pan[0] = pan[1] = 0.0;
    for (int k = 2; k <= 126; ++k) {
        const double x = (k - 1) / 126.0;
        pan[size_t(k)] = 128.0 * (x + c * x * x * (1 - x) + d * x * (1 - x));
    }
    pan[2] = 0.999;
    pan[64] = 76.661;
    pan[127] = pan[128] = 128.0;
}

// A GS curve: 127 (a x + b x^2 + c x^3) over x = i / 127, through its values at 1 and 64 and
// 127 at 127. Both GS curves rise throughout with these fixed points (their slope stays
// positive on 0..1).
void buildGsCurve(std::array<double, 128>& curve, double at1, double at64) {
    const double x1 = 1.0 / 127.0, xm = 64.0 / 127.0;
    // With c = 1 - a - b the two conditions leave a 2 x 2 system in a and b.
    const double a1 = x1 - x1 * x1 * x1, b1 = x1 * x1 - x1 * x1 * x1,
                 r1 = at1 / 127.0 - x1 * x1 * x1;
    const double a2 = xm - xm * xm * xm, b2 = xm * xm - xm * xm * xm,
                 r2 = at64 / 127.0 - xm * xm * xm;
    const double det = a1 * b2 - a2 * b1;
    const double a = (r1 * b2 - r2 * b1) / det;
    const double b = (a1 * r2 - a2 * r1) / det;
    const double c = 1.0 - a - b;
    for (int i = 0; i < 128; ++i) {
        const double x = i / 127.0;
        curve[size_t(i)] = 127.0 * (a * x + b * x * x + c * x * x * x);
    }
    curve[0] = 0.0;
    curve[1] = at1;
    curve[64] = at64;
    curve[127] = 127.0;
}

SynthCurves build() {
    SynthCurves t{};
    buildPan(t.pan);
    t.panGm2[0] = 0.0;
    for (int k = 1; k <= 127; ++k)
        t.panGm2[size_t(k)] = 128.0 * std::sin((k - 1) * std::numbers::pi / 252.0);
    t.panGm2[128] = 128.0;
    for (int i = 0; i < 128; ++i) {
        t.volumeDefault[size_t(i)] = 127.0 * std::pow(i / 127.0, 1.66096404744);
        t.volumeGm2[size_t(i)] = i * i / 127.0;
        t.envelopeRise[size_t(i)] = std::exp2((64 - i) * 5.0 / 64.0);
        t.envelopeFall[size_t(i)] = std::exp2((64 - i) * 4.0 / 64.0);
        t.envelopeRelease[size_t(i)] = std::exp2((64 - i) * 3.0 / 64.0);
    }
    t.volumeDefault[127] = t.volumeGm2[127] = 127.0;
    t.modulationEnvelope[0] = 0.0;
    for (int i = 1; i < 1023; ++i)
        t.modulationEnvelope[size_t(i)] =
            std::log2(1.0 + std::max(0.0, 1.0 + 5.0 / 12.0 * std::log10(i / 1023.0)));
    t.modulationEnvelope[1023] = 1.0;
    buildGsCurve(t.velocityGs, 0.8013, 37.9907);
    buildGsCurve(t.volumeGs, 0.1289, 32.3738);
    return t;
}

}  // namespace

const SynthCurves& synthCurves() {
    static const SynthCurves curves = build();
    return curves;
}

}  // namespace svt
