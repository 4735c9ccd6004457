#include "effects/EffectTypes.h"

#include <initializer_list>

#include "effects/EffectConversion.h"
#include "effects/EffectProcessing.h"

namespace svt::effects {

namespace {

using E = EngineId;

constexpr std::array<EffectEngine, kEngineCount> kEngines = {{
    {EngineId::None, "None", nullptr, processNone, nullptr, nullptr},
    {EngineId::TwoBandEq, "2-Band EQ", initTwoBandEq, processTwoBandEq, gsTwoBandEq, xgTwoBandEq},
    {EngineId::ThreeBandEq, "3-Band EQ", initThreeBandEq, processThreeBandEq, nullptr,
     xgThreeBandEq},
    {EngineId::StereoEq, "Stereo-EQ", initStereoEq, processStereoEq, gsStereoEq, nullptr},
    {EngineId::Overdrive, "Overdrive", initDrive, processDrive, gsOverdrive, nullptr},
    {EngineId::Distortion, "Distortion", initDrive, processDrive, gsDistortion, nullptr},
    {EngineId::Od1Od2, "OD1/OD2", initDrive, processDrive, gsOd1Od2, nullptr},
    {EngineId::Chorus, "Chorus", initModDelay, processModDelay, nullptr, xgModDelay},
    {EngineId::Flanger, "Flanger", initModDelay, processModDelay, nullptr, xgModDelay},
    {EngineId::Symphonic, "Symphonic", initModDelay, processModDelay, nullptr, xgModDelay},
    {EngineId::ChorusEq, "3-Band EQ (XG Chorus built-in)", initThreeBandEq, processThreeBandEq,
     nullptr, xgThreeBandEq},
    {EngineId::StereoOverdrive, "Stereo Overdrive", initDrive, processDrive, nullptr, xgDrive},
    {EngineId::StereoDistortion, "Stereo Distortion", initDrive, processDrive, nullptr, xgDrive},
    {EngineId::AmpSimulator, "Amp Simulator", initDrive, processDrive, nullptr, xgDrive},
    {EngineId::DriveEq, "2-Band EQ (XG OD built-in)", initThreeBandEq, processThreeBandEq, nullptr,
     xgThreeBandEq},
    {EngineId::HexaChorus, "Hexa-Chorus", initModDelay, processModDelay, gsHexaChorus, nullptr},
    {EngineId::DelayLcr, "Delay L,C,R", initDelayLcr, processDelayLcr, nullptr, xgDelayLcr},
    {EngineId::DelayLr, "Delay L,R", initDelayLr, processDelayLr, nullptr, xgDelayLr},
    {EngineId::Echo, "Echo", initEcho, processEcho, nullptr, xgEcho},
    {EngineId::CrossDelay, "Cross Delay", initCrossDelay, processCrossDelay, nullptr, xgCrossDelay},
    {EngineId::DelayEq, "2-Band EQ (XG Delay built-in)", initTwoBandEq, processTwoBandEq, nullptr,
     xgDelayEq},
    {EngineId::LoFi, "Lo-Fi", initLoFi, processLoFi, nullptr, xgLoFi},
    {EngineId::LoFi1, "Lo-Fi 1", initLoFi, processLoFi, gsLoFi1, nullptr},
    {EngineId::LoFi2, "Lo-Fi 2", initLoFi, processLoFi, gsLoFi2, nullptr},
    {EngineId::AutoWah, "Auto Wah", initAutoWah, processAutoWah, nullptr, xgAutoWah},
    {EngineId::AutoWahEq, "2-Band EQ (Auto Wah built-in)", initTwoBandEq, processTwoBandEq, nullptr,
     xgWahEq},
    {EngineId::AutoWahDrive, "OD (Auto Wah built-in)", initDrive, processDrive, nullptr, xgOdWah},
    {EngineId::AutoWahDriveEq, "2-Band EQ (Auto Wah OD built-in)", initThreeBandEq,
     processThreeBandEq, nullptr, xgThreeBandEq},
}};

constexpr uint16_t type(int msb, int lsb) {
    return static_cast<uint16_t>(msb << 8 | lsb);
}

// Default parameter values 1..20 of each type.
constexpr std::array<EffectType, 44> kXgTypes = {{
    {type(0x00, 0), "NO EFFECT", {}},
    {type(0x05, 0),
     "DELAY L,C,R",
     {3333, 6666, 4999, 3333, 74, 100, 10, 0, 0, 64, 0, 0, 24, 64, 46, 64}},
    {type(0x06, 0),
     "DELAY L,R",
     {2500, 3750, 2500, 3750, 87, 10, 0, 0, 0, 64, 0, 0, 24, 64, 46, 64}},
    {type(0x07, 0), "ECHO", {1700, 88, 1780, 88, 10, 1700, 1780, 0, 0, 64, 0, 0, 24, 64, 46, 64}},
    {type(0x08, 0), "CROSS DELAY", {1700, 1750, 111, 1, 10, 0, 0, 0, 0, 64, 0, 0, 24, 64, 46, 64}},
    {type(0x41, 0), "CHORUS 1", {6, 54, 77, 106, 0, 28, 64, 46, 64, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x41, 1), "CHORUS 2", {8, 63, 64, 30, 0, 28, 62, 42, 58, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x41, 2), "CHORUS 3", {4, 44, 64, 110, 0, 28, 64, 46, 66, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x41, 3), "GM CHORUS 1", {9, 10, 64, 109, 0, 28, 64, 46, 64, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x41, 4), "GM CHORUS 2", {28, 34, 67, 105, 0, 28, 64, 46, 64, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x41, 5), "GM CHORUS 3", {9, 34, 69, 105, 0, 28, 64, 46, 64, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x41, 6), "GM CHORUS 4", {26, 29, 75, 102, 0, 28, 64, 46, 64, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x41, 7), "FB CHORUS", {6, 43, 107, 111, 0, 28, 64, 46, 64, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x41, 8), "CHORUS 4", {9, 32, 69, 104, 0, 28, 64, 46, 64, 64, 46, 64, 10, 1, 0, 0}},
    {type(0x42, 0), "CELESTE 1", {12, 32, 64, 0, 0, 28, 64, 46, 64, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x42, 1), "CELESTE 2", {28, 18, 90, 2, 0, 28, 62, 42, 60, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x42, 2), "CELESTE 3", {4, 63, 44, 2, 0, 28, 64, 46, 68, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x42, 8), "CELESTE 4", {8, 29, 64, 0, 0, 28, 64, 51, 66, 64, 46, 64, 10, 1, 0, 0}},
    {type(0x43, 0), "FLANGER 1", {14, 14, 104, 2, 0, 28, 64, 46, 64, 96, 40, 64, 10, 4, 0, 0}},
    {type(0x43, 1), "FLANGER 2", {32, 17, 26, 2, 0, 28, 64, 46, 60, 96, 40, 64, 10, 4, 0, 0}},
    {type(0x43, 7), "GM FLANGER", {3, 21, 120, 1, 0, 28, 64, 46, 64, 96, 40, 64, 10, 4, 0, 0}},
    {type(0x43, 8), "FLANGER 3", {4, 109, 109, 2, 0, 28, 64, 46, 64, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x44, 0), "SYMPHONIC", {12, 25, 16, 0, 0, 28, 64, 46, 64, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x49, 0), "DISTORTION", {40, 20, 72, 53, 48, 0, 43, 74, 10, 127, 120, 0, 0, 0, 0, 0}},
    {type(0x49, 8),
     "STEREO DISTORTION",
     {18, 27, 71, 48, 84, 0, 32, 66, 10, 127, 105, 0, 0, 0, 0, 0}},
    {type(0x4A, 0), "OVERDRIVE", {29, 24, 68, 45, 55, 0, 41, 72, 10, 127, 104, 0, 0, 0, 0, 0}},
    {type(0x4A, 8),
     "STEREO OVERDRIVE",
     {10, 24, 69, 46, 105, 0, 41, 66, 10, 127, 104, 0, 0, 0, 0, 0}},
    {type(0x4B, 0), "AMP SIMULATOR", {39, 1, 48, 55, 0, 0, 0, 0, 0, 127, 112, 0, 0, 0, 0, 0}},
    {type(0x4B, 8),
     "STEREO AMP SIMULATOR",
     {16, 2, 46, 119, 0, 0, 0, 0, 0, 127, 106, 0, 0, 0, 0, 0}},
    {type(0x4C, 0), "3-BAND EQ", {70, 34, 60, 10, 70, 28, 46, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {type(0x4D, 0), "2-BAND EQ", {28, 70, 46, 70, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {type(0x4E, 0), "AUTO WAH", {70, 56, 39, 25, 0, 28, 66, 46, 64, 127, 0, 0, 0, 0, 0, 0}},
    {type(0x4E, 1),
     "AUTO WAH+DISTORTION",
     {40, 73, 26, 29, 0, 28, 66, 46, 64, 127, 30, 72, 74, 53, 48, 0}},
    {type(0x4E, 2),
     "AUTO WAH+OVERDRIVE",
     {48, 64, 32, 23, 0, 28, 66, 46, 64, 127, 29, 68, 72, 45, 55, 0}},
    {type(0x5E, 0), "LO-FI", {2, 60, 6, 54, 1, 12, 0, 0, 0, 127, 0, 0, 0, 0, 0, 0}},
    {type(0x01, 0), "HALL 1", {18, 10, 8, 13, 49, 0, 0, 0, 0, 40, 0, 4, 50, 8, 64, 0}},
    {type(0x01, 1), "HALL 2", {25, 10, 28, 6, 46, 0, 0, 0, 0, 40, 13, 3, 74, 7, 64, 0}},
    {type(0x02, 0), "ROOM 1", {5, 10, 16, 4, 49, 0, 0, 0, 0, 40, 5, 3, 64, 8, 64, 0}},
    {type(0x02, 1), "ROOM 2", {12, 10, 5, 4, 38, 0, 0, 0, 0, 40, 0, 4, 50, 8, 64, 0}},
    {type(0x02, 2), "ROOM 3", {9, 10, 47, 5, 36, 0, 0, 0, 0, 40, 0, 4, 60, 8, 64, 0}},
    {type(0x03, 0), "STAGE 1", {19, 10, 16, 7, 54, 0, 0, 0, 0, 40, 0, 3, 64, 6, 64, 0}},
    {type(0x03, 1), "STAGE 2", {11, 10, 16, 7, 51, 0, 0, 0, 0, 40, 2, 2, 64, 6, 64, 0}},
    {type(0x04, 0), "PLATE", {25, 10, 6, 8, 49, 0, 0, 0, 0, 40, 2, 3, 64, 5, 64, 0}},
    {0xFFFF, "EOF", {}},
}};

constexpr std::array<EffectType, 9> kGsTypes = {{
    {type(0x00, 0x00), "None", {}},
    {type(0x01, 0x00), "Stereo-EQ", {0, 0x45, 0, 0x42, 0x3C, 1,   0x40, 0x58, 1,  0x40,
                                     0, 0,    0, 0,    0,    127, 64,   64,   64, 127}},
    {type(0x01, 0x10), "Overdrive", {48, 1, 1, 0, 0, 0,   0,  0,  0,  0,
                                     0,  0, 0, 0, 0, 127, 64, 64, 64, 96}},
    // The name this type has always been shown under, misspelt as it is.
    {type(0x01, 0x11), "Distrotion", {76, 3, 1, 0, 0, 0,   0,  0,  0,  0,
                                      0,  0, 0, 0, 0, 127, 64, 56, 64, 84}},
    {type(0x11, 0x03), "OD1/OD2", {0, 48, 1, 1, 0, 1,   76, 3,  1,  0,
                                   0, 0,  0, 0, 0, 127, 64, 64, 64, 96}},
    {type(0x01, 0x40), "Hexa Chorus", {24, 8, 127, 5, 64, 16, 0,  0,  0,  0,
                                       0,  0, 0,   0, 0,  64, 64, 64, 64, 112}},
    {type(0x01, 0x72), "Lo-Fi 1", {1, 6, 0, 0, 0, 0,   0,  0,  0,  0,
                                   0, 0, 0, 0, 0, 127, 64, 64, 64, 127}},
    {type(0x01, 0x73), "Lo-Fi 2", {2, 127, 0, 0, 0, 0,   0,  0,  0,  0,
                                   0, 0,   0, 0, 0, 127, 64, 64, 64, 127}},
    {0xFFFF, "EOF", {}},
}};

ChainPlan plan(std::initializer_list<EngineId> ids) {
    ChainPlan c;
    for (EngineId id : ids) c.ids[size_t(c.count++)] = id;
    return c;
}

}  // namespace

std::span<const EffectEngine> effectEngines() {
    return kEngines;
}
const EffectEngine& effectEngine(EngineId id) {
    return kEngines[size_t(id)];
}
std::span<const EffectType> xgEffectTypes() {
    return kXgTypes;
}
std::span<const EffectType> gsInsertionTypes() {
    return kGsTypes;
}

ChainPlan gsInsertionPlan(int msb, int lsb) {
    switch (type(msb, lsb)) {
        case type(0x01, 0x00):
            return plan({E::StereoEq});
        case type(0x01, 0x10):
            return plan({E::TwoBandEq, E::Overdrive});
        case type(0x01, 0x11):
            return plan({E::TwoBandEq, E::Distortion});
        case type(0x11, 0x03):
            return plan({E::Od1Od2});
        case type(0x01, 0x40):
            return plan({E::TwoBandEq, E::HexaChorus});
        case type(0x01, 0x72):
            return plan({E::TwoBandEq, E::LoFi1});
        case type(0x01, 0x73):
            return plan({E::TwoBandEq, E::LoFi2});
        default:
            return {};
    }
}

ChainPlan xgEffectPlan(int msb, int lsb) {
    switch (msb) {
        case 0x05:
            return plan({E::DelayLcr, E::DelayEq});
        case 0x06:
            return plan({E::DelayLr, E::DelayEq});
        case 0x07:
            return plan({E::Echo, E::DelayEq});
        case 0x08:
            return plan({E::CrossDelay, E::DelayEq});
        case 0x41:
        case 0x42:
            return plan({E::Chorus, E::ChorusEq});
        case 0x43:
            return plan({E::Flanger, E::ChorusEq});
        case 0x44:
            return plan({E::Symphonic, E::ChorusEq});
        case 0x49:
            return plan({E::StereoDistortion, E::DriveEq});
        case 0x4A:
            return plan({E::StereoOverdrive, E::DriveEq});
        case 0x4B:
            return plan({E::AmpSimulator});
        case 0x4C:
            return plan({E::ThreeBandEq});
        case 0x4D:
            return plan({E::TwoBandEq});
        case 0x4E:
            return (lsb == 1 || lsb == 2)
                       ? plan({E::AutoWah, E::AutoWahEq, E::AutoWahDrive, E::AutoWahDriveEq})
                       : plan({E::AutoWah, E::AutoWahEq});
        case 0x5E:
            return plan({E::LoFi});
        default:
            return {};
    }
}

}  // namespace svt::effects
