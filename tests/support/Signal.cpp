#include "support/Signal.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <fstream>
#include <iterator>
#include <limits>
#include <numbers>

namespace svt::test {
namespace {

constexpr double kPi = std::numbers::pi;

size_t nextPowerOfTwo(size_t n) {
    size_t p = 1;
    while (p < n) p <<= 1;
    return p;
}

// 4-term Blackman-Harris: sidelobes about 92 dB down, main lobe 4 bins each side.
double blackmanHarris(size_t i, size_t n) {
    if (n < 2) return 1.0;
    double t = 2.0 * kPi * double(i) / double(n - 1);
    return 0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2 * t) - 0.01168 * std::cos(3 * t);
}

constexpr double kMainLobeBins = 4.0;

double decibels(double ratio) {
    if (ratio <= 0.0) return -std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(ratio);
}

}  // namespace

std::vector<double> toDoubles(std::span<const int32_t> samples) {
    return {samples.begin(), samples.end()};
}
std::vector<double> toDoubles(std::span<const int16_t> samples) {
    return {samples.begin(), samples.end()};
}

double rms(std::span<const double> x) {
    if (x.empty()) return 0.0;
    double sum = 0.0;
    for (double v : x) sum += v * v;
    return std::sqrt(sum / double(x.size()));
}

double peak(std::span<const double> x) {
    double m = 0.0;
    for (double v : x) m = std::max(m, std::abs(v));
    return m;
}

double largestStep(std::span<const double> x) {
    double m = 0.0;
    for (size_t i = 1; i < x.size(); ++i) m = std::max(m, std::abs(x[i] - x[i - 1]));
    return m;
}

double pitchByZeroCrossings(std::span<const double> x, double rateHz) {
    if (x.size() < 3) return 0.0;
    double mean = 0.0;
    for (double v : x) mean += v;
    mean /= double(x.size());
    double first = -1.0, last = -1.0;
    int crossings = 0;
    for (size_t i = 0; i + 1 < x.size(); ++i) {
        double a = x[i] - mean, b = x[i + 1] - mean;
        if (a < 0.0 && b >= 0.0) {
            double t = double(i) + a / (a - b);
            if (crossings == 0) first = t;
            last = t;
            ++crossings;
        }
    }
    if (crossings < 2 || last <= first) return 0.0;
    return double(crossings - 1) * rateHz / (last - first);
}

namespace {

// In-place radix-2 FFT (forward, unnormalised); the size must be a power of two.
void fft(std::vector<std::complex<double>>& data) {
    size_t n = data.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(data[i], data[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        double angle = -2.0 * kPi / double(len);
        for (size_t start = 0; start < n; start += len) {
            for (size_t k = 0; k < len / 2; ++k) {
                // Twiddles computed per butterfly: slower than a recurrence, but exact enough
                // for the -90 dB floors the tests measure.
                std::complex<double> w = std::polar(1.0, angle * double(k));
                std::complex<double> u = data[start + k];
                std::complex<double> v = data[start + k + len / 2] * w;
                data[start + k] = u + v;
                data[start + k + len / 2] = u - v;
            }
        }
    }
}

// |X[k]|^2 for k = 0..fftSize/2 of the Blackman-Harris-windowed signal, zero-padded.
std::vector<double> powerSpectrum(std::span<const double> x, size_t fftSize) {
    fftSize = nextPowerOfTwo(std::max(fftSize, x.size()));
    std::vector<std::complex<double>> data(fftSize);
    for (size_t i = 0; i < x.size(); ++i) data[i] = x[i] * blackmanHarris(i, x.size());
    fft(data);
    std::vector<double> power(fftSize / 2 + 1);
    for (size_t k = 0; k < power.size(); ++k) power[k] = std::norm(data[k]);
    return power;
}

}  // namespace

double pitchByFft(std::span<const double> x, double rateHz) {
    if (x.size() < 8) return 0.0;
    size_t size = nextPowerOfTwo(x.size()) * 4;
    std::vector<double> power = powerSpectrum(x, size);
    // Skip the bins that DC leaks into (the main lobe, scaled by the zero padding).
    size_t skip = size_t(kMainLobeBins * double(size) / double(x.size())) + 1;
    size_t best = skip;
    for (size_t k = skip; k + 1 < power.size(); ++k)
        if (power[k] > power[best]) best = k;
    if (best == 0 || best + 1 >= power.size()) return double(best) * rateHz / double(size);
    double a = std::log(power[best - 1] + 1e-300);
    double b = std::log(power[best] + 1e-300);
    double c = std::log(power[best + 1] + 1e-300);
    double denominator = a - 2 * b + c;
    double offset = denominator != 0.0 ? 0.5 * (a - c) / denominator : 0.0;
    return (double(best) + offset) * rateHz / double(size);
}

double magnitudeDb(std::span<const double> x, double rateHz, double freqHz, double reference) {
    if (x.empty()) return -std::numeric_limits<double>::infinity();
    std::complex<double> sum = 0.0;
    double windowSum = 0.0;
    double omega = 2.0 * kPi * freqHz / rateHz;
    size_t n = x.size();
    for (size_t i = 0; i < n; ++i) {
        double w = n > 1 ? 0.5 - 0.5 * std::cos(2.0 * kPi * double(i) / double(n - 1)) : 1.0;
        windowSum += w;
        sum += x[i] * w * std::polar(1.0, -omega * double(i));
    }
    double amplitude = 2.0 * std::abs(sum) / windowSum;
    if (amplitude <= 0.0) return -std::numeric_limits<double>::infinity();
    return 20.0 * std::log10(amplitude / reference);
}

double snrDb(std::span<const double> signal, std::span<const double> reference) {
    size_t n = std::min(signal.size(), reference.size());
    double power = 0.0, noise = 0.0;
    for (size_t i = 0; i < n; ++i) {
        power += reference[i] * reference[i];
        double e = signal[i] - reference[i];
        noise += e * e;
    }
    if (noise == 0.0) return std::numeric_limits<double>::infinity();
    return decibels(power / noise);
}

double energyOutsideBandsDb(std::span<const double> x, double rateHz, std::span<const Band> bands) {
    size_t size = nextPowerOfTwo(x.size());
    std::vector<double> power = powerSpectrum(x, size);
    double binHz = rateHz / double(size);
    double widen = kMainLobeBins * binHz * double(size) / double(std::max<size_t>(x.size(), 1));
    double inside = 0.0, outside = 0.0;
    for (size_t k = 0; k < power.size(); ++k) {
        double f = double(k) * binHz;
        bool in = std::any_of(bands.begin(), bands.end(), [&](const Band& b) {
            return f >= b.lowHz - widen && f <= b.highHz + widen;
        });
        (in ? inside : outside) += power[k];
    }
    if (inside == 0.0) return std::numeric_limits<double>::infinity();
    return decibels(outside / inside);
}

std::vector<double> WavData::channel(int index) const {
    std::vector<double> out;
    if (index < 0 || index >= channels) return out;
    out.reserve(frames());
    for (size_t i = size_t(index); i < samples.size(); i += size_t(channels))
        out.push_back(samples[i]);
    return out;
}

Result<WavData> parseWav(std::span<const uint8_t> bytes) {
    auto u16 = [&](size_t at) { return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8; };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    if (bytes.size() < 12 || std::string(bytes.begin(), bytes.begin() + 4) != "RIFF" ||
        std::string(bytes.begin() + 8, bytes.begin() + 12) != "WAVE")
        return makeError("not a RIFF WAVE file");

    WavData wav;
    bool haveFormat = false;
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        std::string id(bytes.begin() + long(at), bytes.begin() + long(at) + 4);
        uint64_t size = u32(at + 4);
        size_t body = at + 8;
        if (size > bytes.size() - body)
            return makeError("chunk '" + id + "' runs past the end of the file");
        if (id == "fmt ") {
            if (size < 16) return makeError("format chunk too short");
            uint32_t format = u16(body);
            wav.channels = int(u16(body + 2));
            wav.rateHz = int(u32(body + 4));
            wav.bitsPerSample = int(u16(body + 14));
            if (format == 0xFFFE) {
                if (size < 40) return makeError("extensible format chunk too short");
                format = u16(body + 24);  // first two bytes of the sub-format GUID
            }
            if (format != 1)
                return makeError("not integer PCM (format " + std::to_string(format) + ")");
            int bits = wav.bitsPerSample;
            if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
                return makeError("unsupported sample size " + std::to_string(bits));
            if (wav.channels < 1 || wav.rateHz < 1) return makeError("no channels or no rate");
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat) return makeError("data chunk before the format chunk");
            size_t width = size_t(wav.bitsPerSample / 8);
            size_t count = size_t(size) / width;
            wav.samples.resize(count);
            for (size_t i = 0; i < count; ++i) {
                size_t p = body + i * width;
                wav.samples[i] = width == 1   ? int32_t(bytes[p]) - 128
                                 : width == 2 ? int16_t(u16(p))
                                 : width == 3
                                     ? int32_t(u16(p) << 8 | uint32_t(bytes[p + 2]) << 24) >> 8
                                     : int32_t(u32(p));
            }
            return wav;
        }
        at = body + size_t(size) + (size & 1);
    }
    return makeError(haveFormat ? "no data chunk" : "no format chunk");
}

Result<WavData> readWav(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return makeError(path + ": cannot open");
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    auto wav = parseWav(bytes);
    if (!wav.ok()) return makeError(path + ": " + wav.error().message);
    return wav;
}

bool writeWav16(const std::string& path, int rateHz, int channels,
                std::span<const int16_t> samples) {
    std::vector<uint8_t> b;
    // Byte by byte: GCC 12 warns falsely about a range insert into a growing vector here.
    auto text = [&](const char* id) {
        for (; *id != 0; ++id) b.push_back(uint8_t(*id));
    };
    auto u16 = [&](uint32_t v) {
        b.push_back(uint8_t(v));
        b.push_back(uint8_t(v >> 8));
    };
    auto u32 = [&](uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    const uint32_t dataBytes = uint32_t(samples.size() * 2);
    text("RIFF");
    u32(36 + dataBytes);
    text("WAVE");
    text("fmt ");
    u32(16);
    u16(1);  // integer PCM
    u16(uint32_t(channels));
    u32(uint32_t(rateHz));
    u32(uint32_t(rateHz * channels * 2));
    u16(uint32_t(channels * 2));
    u16(16);
    text("data");
    u32(dataBytes);
    for (int16_t v : samples) u16(uint16_t(v));
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    return bool(f);
}

}  // namespace svt::test
