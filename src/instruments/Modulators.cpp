#include "instruments/Modulators.h"

#include <algorithm>
#include <cmath>

namespace svt {
namespace {

// Source bit fields: index 0..6, controller flag 7, direction 8 (max to min), polarity 9
// (bipolar), curve 10..15.
constexpr uint16_t kControllerFlag = 0x80;
constexpr uint16_t kNegative = 0x100;
constexpr uint16_t kBipolar = 0x200;
enum Curve : int { CURVE_LINEAR = 0, CURVE_CONCAVE = 1, CURVE_CONVEX = 2, CURVE_SWITCH = 3 };
enum GeneralSource : int {
    SOURCE_NONE = 0,
    SOURCE_VELOCITY = 2,
    SOURCE_KEY = 3,
    SOURCE_POLY_PRESSURE = 10,
    SOURCE_CHANNEL_PRESSURE = 13,
    SOURCE_PITCH_WHEEL = 14,
    SOURCE_PITCH_WHEEL_RANGE = 16,
};
constexpr uint16_t kTransformLinear = 0;
constexpr uint16_t kTransformAbsolute = 2;
// A destination with this bit set is another modulator (a link), which no voice follows.
constexpr uint16_t kLinkDestination = 0x8000;

struct DefaultEntry {
    Modulator m;
    DefaultModulator role;
};
constexpr std::array<DefaultEntry, 10> kDefaults{{
    {{0x0502, GEN_INITIAL_ATTENUATION, 960, 0, 0}, DefaultModulator::VelocityAttenuation},
    {{0x0102, GEN_INITIAL_FILTER_FC, -2400, 0, 0}, DefaultModulator::VelocityCutoff},
    {{0x000D, GEN_VIB_LFO_TO_PITCH, 50, 0, 0}, DefaultModulator::EngineSource},
    {{0x0081, GEN_VIB_LFO_TO_PITCH, 50, 0, 0}, DefaultModulator::EngineSource},
    {{0x0587, GEN_INITIAL_ATTENUATION, 960, 0, 0}, DefaultModulator::EngineSource},
    {{0x028A, GEN_PAN, 1000, 0, 0}, DefaultModulator::EngineSource},
    {{0x058B, GEN_INITIAL_ATTENUATION, 960, 0, 0}, DefaultModulator::EngineSource},
    {{0x00DB, GEN_REVERB_SEND, 200, 0, 0}, DefaultModulator::EngineSource},
    {{0x00DD, GEN_CHORUS_SEND, 200, 0, 0}, DefaultModulator::EngineSource},
    {{0x020E, kGeneratorCount, 12700, 0x0010, 0}, DefaultModulator::EngineSource},
}};

bool knownSource(uint16_t source) {
    const int index = source & 0x7F;
    if ((source >> 10) > CURVE_SWITCH) return false;
    if (source & kControllerFlag) {
        // Bank select, data entry, the LSBs, the parameter numbers and the channel mode
        // messages are not controllers a modulator may follow.
        return !(index == 0 || index == 6 || (index >= 32 && index <= 63) ||
                 (index >= 98 && index <= 101) || index >= 120);
    }
    switch (index) {
        case SOURCE_NONE:
        case SOURCE_VELOCITY:
        case SOURCE_KEY:
        case SOURCE_POLY_PRESSURE:
        case SOURCE_CHANNEL_PRESSURE:
        case SOURCE_PITCH_WHEEL:
        case SOURCE_PITCH_WHEEL_RANGE:
            return true;
        default:
            return false;
    }
}

// The concave curve: the loudness a velocity gives on an amplitude scale of 96 dB, from 0 at
// 0 to 1 at 1.
double concave(double x) {
    if (x <= 0.0) return 0.0;
    if (x >= 1.0) return 1.0;
    return std::min(1.0, -(40.0 / 96.0) * std::log10(1.0 - x));
}

double shaped(int curve, double x) {
    switch (curve) {
        case CURVE_CONCAVE:
            return concave(x);
        case CURVE_CONVEX:
            return 1.0 - concave(1.0 - x);
        case CURVE_SWITCH:
            return x >= 0.5 ? 1.0 : 0.0;
        default:
            return x;
    }
}

}  // namespace

DefaultModulator defaultModulator(const Modulator& m) {
    for (const DefaultEntry& d : kDefaults) {
        if (sameModulator(m, d.m)) return d.role;
    }
    return DefaultModulator::None;
}

void overlayModulators(std::vector<Modulator>& list, const std::vector<Modulator>& zone) {
    for (const Modulator& m : zone) {
        auto same = std::find_if(list.begin(), list.end(),
                                 [&m](const Modulator& o) { return sameModulator(o, m); });
        if (same != list.end())
            *same = m;
        else
            list.push_back(m);
    }
}

void addModulators(std::vector<Modulator>& list, const std::vector<Modulator>& preset) {
    for (const Modulator& m : preset) {
        auto same = std::find_if(list.begin(), list.end(),
                                 [&m](const Modulator& o) { return sameModulator(o, m); });
        if (same != list.end()) {
            same->amount = static_cast<int16_t>(
                std::clamp<int>(same->amount + m.amount, INT16_MIN, INT16_MAX));
            continue;
        }
        // The instrument level holds the defaults it does not override: a preset's modulator
        // identical to one of them adds to the default's amount.
        Modulator added = m;
        const auto d = std::find_if(kDefaults.begin(), kDefaults.end(),
                                    [&m](const DefaultEntry& e) { return sameModulator(e.m, m); });
        if (d != kDefaults.end())
            added.amount =
                static_cast<int16_t>(std::clamp<int>(d->m.amount + m.amount, INT16_MIN, INT16_MAX));
        list.push_back(added);
    }
}

void keepPlayable(std::vector<Modulator>& list) {
    std::erase_if(list, [](const Modulator& m) {
        // The velocity curve's own default amount is what the engine plays anyway.
        if (m.amount == 0 && defaultModulator(m) != DefaultModulator::VelocityAttenuation)
            return true;
        if ((m.destination & kLinkDestination) != 0 || m.destination >= kGeneratorCount)
            return true;
        if ((m.source & 0x7F) == SOURCE_NONE && (m.source & kControllerFlag) == 0) return true;
        if (!knownSource(m.source) || !knownSource(m.amountSource)) return true;
        if (m.transform != kTransformLinear && m.transform != kTransformAbsolute) return true;
        return defaultModulator(m) == DefaultModulator::EngineSource;
    });
}

double modulatorSource(uint16_t source, const ModulatorInputs& in) {
    const int index = source & 0x7F;
    double x;
    if (source & kControllerFlag) {
        x = in.controllers[size_t(index)] / 128.0;
    } else {
        switch (index) {
            case SOURCE_NONE:
                return 1.0;
            case SOURCE_VELOCITY:
                x = std::clamp(in.velocity, 0, 127) / 128.0;
                break;
            case SOURCE_KEY:
                x = std::clamp(in.key, 0, 127) / 128.0;
                break;
            case SOURCE_POLY_PRESSURE:
                x = std::clamp(in.polyPressure, 0, 127) / 128.0;
                break;
            case SOURCE_CHANNEL_PRESSURE:
                x = std::clamp(in.channelPressure, 0, 127) / 128.0;
                break;
            case SOURCE_PITCH_WHEEL:
                x = std::clamp(in.pitchWheel, 0, 16383) / 16384.0;
                break;
            case SOURCE_PITCH_WHEEL_RANGE:
                x = std::clamp(in.pitchWheelRange, 0, 127) / 128.0;
                break;
            default:
                return 0.0;
        }
    }
    if (source & kNegative) x = 1.0 - x;
    const int curve = source >> 10;
    if (!(source & kBipolar)) return shaped(curve, x);
    if (curve == CURVE_SWITCH) return x >= 0.5 ? 1.0 : -1.0;
    // Bipolar: the curve runs from the middle out to each end.
    const double b = 2.0 * x - 1.0;
    return b >= 0.0 ? shaped(curve, b) : -shaped(curve, -b);
}

double modulatorOutput(const Modulator& m, const ModulatorInputs& in) {
    double out = m.amount * modulatorSource(m.source, in) * modulatorSource(m.amountSource, in);
    if (m.transform == kTransformAbsolute) out = std::abs(out);
    return out;
}

}  // namespace svt
