#include "synth/Interpolation.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <numbers>

namespace svt {
namespace {

// sin(t / (4 pi)): every factor of the sine-window Lagrange kernel, numerator and
// denominator alike, goes through this one expression so that c_12(0) comes out as 1 exactly.
double windowSine(double t) {
    return std::sin(t / (4.0 * std::numbers::pi));
}

std::unique_ptr<InterpolationTables> buildTables() {
    auto t = std::make_unique<InterpolationTables>();

    double denominator[kLagrangeTaps];
    for (int k = 0; k < kLagrangeTaps; ++k) {
        double d = 1.0;
        for (int i = 0; i < kLagrangeTaps; ++i)
            if (i != k) d *= windowSine(k - i);
        denominator[k] = d;
    }
    for (int m = 0; m < kFractionSteps; ++m) {
        double x = m / double(kFractionSteps);
        double numeratorSine[kLagrangeTaps];
        for (int i = 0; i < kLagrangeTaps; ++i) numeratorSine[i] = windowSine(x + 12 - i);
        LagrangeRow& row = t->lagrange[m];
        std::fill(std::begin(row.c), std::end(row.c), 0.0f);
        for (int k = 0; k < kLagrangeTaps; ++k) {
            double n = 1.0;
            for (int i = 0; i < kLagrangeTaps; ++i)
                if (i != k) n *= numeratorSine[i];
            int lane = k < 24 ? k : k + 6;
            row.c[lane] = float(n / denominator[k]);
        }
    }

    for (int j = 0; j <= kNewtonMaxDegree; ++j) {
        double factorial = 1.0;
        for (int q = 2; q <= j; ++q) factorial *= q;
        double binomial = 1.0;  // C(j, k), built up along the row
        for (int k = 0; k <= kNewtonMaxDegree; ++k) {
            if (k > j) {
                t->newton[j][k] = 0.0;
                continue;
            }
            double sign = ((j - k) & 1) ? -1.0 : 1.0;
            t->newton[j][k] = sign * binomial / factorial;
            binomial = binomial * (j - k) / (k + 1);
        }
    }

    for (int j = 0; j <= kLfoSineSteps / 4; ++j)
        t->quarterSine[j] = std::sin(2.0 * std::numbers::pi * j / kLfoSineSteps);
    return t;
}

}  // namespace

const InterpolationTables& interpolationTables() {
    static const std::unique_ptr<InterpolationTables> tables = buildTables();
    return *tables;
}

double lagrangeCoefficient(double x, int k) {
    double n = 1.0, d = 1.0;
    for (int i = 0; i < kLagrangeTaps; ++i) {
        if (i == k) continue;
        n *= windowSine(x + 12 - i);
        d *= windowSine(k - i);
    }
    return n / d;
}

int32_t lagrangeFrame(const int16_t* pcm, int64_t position, const LagrangeRow* table) {
    const int16_t* s = pcm + (position >> 12) - kLagrangeTapsBefore;
    const float* c = table[position & kFractionMask].c;
    // Eight lanes, each summing four products in order, then the lanes pairwise: the same
    // order the vector kernels use, so that all of them agree to the last bit.
    float lane[8];
    for (int l = 0; l < 8; ++l) {
        float acc = c[l] * float(s[l]);
        acc = acc + c[8 + l] * float(s[8 + l]);
        acc = acc + c[16 + l] * float(s[16 + l]);
        acc = acc + c[24 + l] * float(s[18 + l]);
        lane[l] = acc;
    }
    float low = (lane[0] + lane[1]) + (lane[2] + lane[3]);
    float high = (lane[4] + lane[5]) + (lane[6] + lane[7]);
    return int32_t(low + high);
}

void lagrangeRunScalar(const int16_t* pcm, int64_t position, int32_t increment, int count,
                       int32_t* out, const LagrangeRow* table) {
    for (int k = 0; k < count; ++k, position += increment)
        out[k] = lagrangeFrame(pcm, position, table);
}

void linearRunScalar(const int16_t* pcm, int64_t position, int32_t increment, int count,
                     int32_t* out) {
    for (int k = 0; k < count; ++k, position += increment) {
        const int16_t* q = pcm + (position >> 12);
        const int32_t s0 = q[0];
        out[k] = s0 + (((q[1] - s0) * int32_t(position & kFractionMask)) >> 12);
    }
}

LinearRunFn linearRunFor(SimdLevel level) {
#if defined(__x86_64__) || defined(__i386__)
    if (level >= SimdLevel::Avx2 && simdLevelAvailable(SimdLevel::Avx2)) return linearRunAvx2;
#else
    (void)level;
#endif
    return linearRunScalar;
}

int newtonDifferences(const int16_t* pcm, int64_t dataSamples, int64_t index,
                      const InterpolationTables& t, double* differences) {
    const int64_t degree = std::min(2 * (dataSamples - index) - 3, 2 * index + 1);
    if (degree > kNewtonMaxDegree) return 0;
    const int n = int(std::max<int64_t>(degree, 1));
    const int16_t* s = pcm + (index - n / 2);
    for (int j = 1; j <= n; ++j) {
        const double* row = t.newton[j];
        double difference = 0.0;
        for (int k = 0; k <= j; ++k) difference += row[k] * s[k];
        differences[j] = difference;
    }
    differences[0] = s[0];
    return n;
}

int32_t newtonFromDifferences(const double* differences, int degree, int64_t position) {
    const double x = double(position & kFractionMask) / kFractionSteps + degree / 2;
    double y = 0.0;
    for (int j = degree; j >= 1; --j) y = (y + differences[j]) * (x - (j - 1));
    return int32_t(y + differences[0]);
}

int32_t newtonFrame(const int16_t* pcm, int64_t dataSamples, int64_t position,
                    const InterpolationTables& t) {
    const int64_t i = position >> 12;
    double differences[kNewtonMaxDegree + 1];
    const int n = newtonDifferences(pcm, dataSamples, i, t, differences);
    if (n == 0) return lagrangeFrame(pcm, position, t.lagrange);
    // At a whole sample the polynomial passes through that sample; evaluating it would only
    // add rounding that the truncation can turn into an error of one.
    if ((position & kFractionMask) == 0) return pcm[i];
    return newtonFromDifferences(differences, n, position);
}

bool simdLevelAvailable(SimdLevel level) {
    switch (level) {
        case SimdLevel::Scalar:
            return true;
#if defined(__x86_64__) || defined(__i386__)
        case SimdLevel::Sse2:
            return __builtin_cpu_supports("sse2");
        case SimdLevel::Avx2:
            return __builtin_cpu_supports("avx2");
        case SimdLevel::Avx512:
            // The AVX-512 kernels work on 256-bit registers and need the 64-bit multiplies.
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") &&
                   __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq");
#endif
        default:
            return false;
    }
}

SimdLevel usableSimdLevel(SimdLevel asked) {
    for (int level = int(asked); level > 0; --level)
        if (simdLevelAvailable(SimdLevel(level))) return SimdLevel(level);
    return SimdLevel::Scalar;
}

SimdLevel bestSimdLevel() {
    return usableSimdLevel(SimdLevel::Avx512);
}

std::optional<SimdLevel> simdLevelFromEnvironment() {
    const char* text = std::getenv("SORVANTO_SIMD");
    return text ? simdLevelFromName(text) : std::nullopt;
}

SimdLevel chosenSimdLevel(std::optional<SimdLevel> asked) {
    if (!asked) asked = simdLevelFromEnvironment();
    return asked ? usableSimdLevel(*asked) : bestSimdLevel();
}

LagrangeRunFn lagrangeRunFor(SimdLevel level) {
#if defined(__x86_64__) || defined(__i386__)
    if (level >= SimdLevel::Avx2 && simdLevelAvailable(SimdLevel::Avx2)) return lagrangeRunAvx2;
    if (level >= SimdLevel::Sse2 && simdLevelAvailable(SimdLevel::Sse2)) return lagrangeRunSse2;
#else
    (void)level;
#endif
    return lagrangeRunScalar;
}

}  // namespace svt
