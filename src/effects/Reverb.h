#pragma once
// The reverb: a comb/all-pass network for rooms and halls, a figure-eight plate tank, two
// feedback-delay characters and the standard reverb of the fixed-level modes. It reads the
// reverb bus once per block, adds its wet signal into the output and clears the bus.
// Everything per sample is Q24 integer arithmetic; floating point only in initialise().

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/SimdLevel.h"
#include "base/StereoView.h"
#include "effects/FixedPoint.h"
#include "effects/ReverbKernels.h"
#include "synth/EffectRack.h"
#include "synth/RenderWorkers.h"

namespace svt::effects {

struct ReverbParams {
    int character = 4;  // 0 Room 1 .. 4 Hall 2, 5 Plate, 6 Delay, 7 Panning Delay
    int preLpf = 0;     // 0 off, 1..7 ever lower
    int level = 64;
    int time = 64;
    int delayFeedback = 0;
    int preDelayMs = 0;
    friend bool operator==(const ReverbParams&, const ReverbParams&) = default;
};

// Seconds of decay for a time value 0..127.
double reverbSeconds(int time);
// The GS reverb macros 0..7 (Room 1 .. Panning Delay).
ReverbParams reverbMacro(int macro);
// Low-pass coefficient of a pre-filter setting 1..7 (0: none, 1.0).
double preFilterCoefficient(int preLpf, int rateHz);
// n raised to at least 10, then to the next prime.
int32_t primeAtLeast(int32_t n);

enum class ReverbKind { None, Standard, RoomHall, Plate, Delay, PanningDelay };

// Which algorithm a mode and character select (the GS/XG modes only on stereo output).
ReverbKind reverbKindFor(ReverbMode mode, int character, bool stereo = true);

class Reverb {
  public:
    // Reserves every line for the longest setting at this rate; the rooms and halls run in the
    // form of chosenSimdLevel(simd).
    void prepare(int rateHz, std::optional<SimdLevel> simd = std::nullopt);
    // Sets up the selected algorithm from the parameters and empties all its lines.
    void initialise(const ReverbParams& params, ReverbMode mode);
    // A new pre-filter setting, without emptying the lines.
    void setPreFilter(int preLpf);
    // The factor the channel sends are multiplied by.
    double inputGain() const { return inputGain_; }
    ReverbKind kind() const { return kind_; }
    // Seconds the algorithm is set to ring for (the room, hall and plate characters).
    double decaySeconds() const { return decaySeconds_; }
    int32_t combLength(int side, int comb) const {
        return combs_[size_t(side)][size_t(comb)].line.size;
    }

    // Reads the frames of `bus`, adds the wet signal into as many frames of `out` and zeroes
    // the bus. With `helpers`, a room or hall runs its right side on a helper while the
    // calling thread runs the left: the same values as on one thread.
    void process(StereoView<int32_t> bus, StereoView<int64_t> out,
                 RenderWorkers* helpers = nullptr);
    void clear();

  private:
    struct Comb {
        DelayLine line;
        int32_t store = 0;
        int32_t feedback = 0;  // loop gain, Q24
    };
    struct AllPass {
        DelayLine line;
        int32_t gain = 0;
        // The rooms and halls run theirs in the classic form, out = buffered - x and buffered <-
        // x + buffered * g, by whole stretches (ReverbKernels.h).
        // Lattice form (energy preserving): w = x - g b, out = b + g w.
        int32_t run(int32_t x) {
            const int32_t b = line.front();
            const int32_t w = x - mulQ24(b, gain);
            line.push(w);
            return b + mulQ24(w, gain);
        }
    };

    void processRoomHall(StereoView<const int32_t> bus, StereoView<int64_t> out,
                         RenderWorkers* helpers);
    // Runs the combs of `bank` and the all-passes of `sides` over the first `frames` of
    // roomInput_ into roomWet_.
    void runRoomSides(CombBank& bank, CombSides sides, int frames);
    void processPlate(StereoView<const int32_t> bus, StereoView<int64_t> out);
    void processDelay(StereoView<const int32_t> bus, StereoView<int64_t> out, bool panning);
    void processStandard(StereoView<const int32_t> bus, StereoView<int64_t> out);
    void initRoomHall(const ReverbParams& p);
    void initPlate(const ReverbParams& p);
    void initDelay(const ReverbParams& p);
    void initStandard(const ReverbParams& p);

    int rateHz_ = 44100;
    ReverbKernels kernels_{combsScalar, allPassScalar, wetMixScalar};
    ReverbKind kind_ = ReverbKind::None;
    double inputGain_ = 1.0;
    double decaySeconds_ = 0.0;
    bool preFilterOn_ = false;
    std::array<OnePole, 2> preFilter_{};
    DelayLine preDelay_;

    // Rooms and halls, and a block of the pre-delayed input and of each side's wet signal.
    std::array<std::array<Comb, 8>, 2> combs_{};
    std::array<std::array<AllPass, 4>, 2> allPasses_{};
    int32_t damp_ = 0, damp1_ = 0, wet1_ = 0, wet2_ = 0;
    std::vector<int32_t> roomInput_;
    std::array<std::vector<int32_t>, 2> roomWet_;

    // Plate.
    std::array<AllPass, 4> diffusers_{};
    struct TankHalf {
        DelayLine modulated;  // the modulated all-pass, read between samples
        int32_t modulatedLength = 0;
        DelayLine delay1;
        AllPass allPass;
        DelayLine delay2;
        int32_t damping = 0;
    };
    std::array<TankHalf, 2> tank_{};
    OnePole bandwidth_{};
    int32_t decay_ = 0, plateOutGain_ = 0;
    int32_t excursionQ8_ = 0;  // modulation depth in 1/256 samples
    uint32_t lfoPhase_ = 0, lfoStep_ = 0;
    std::array<std::array<int32_t, 7>, 2> taps_{};
    int32_t decayDiffusion1_ = 0;

    // Delay characters (and the standard reverb's lines).
    std::array<DelayLine, 2> echo_{};
    int32_t echoGain_ = 0, echoFeedback_ = 0;

    // Standard reverb.
    struct StandardSide {
        DelayLine comb1, comb2;
        int32_t store1 = 0, store2 = 0, input = 0;
        AllPass ap1, ap2;
    };
    std::array<StandardSide, 2> standard_{};
    int32_t stdLevel_ = 0;
};

}  // namespace svt::effects
