#pragma once
// Where a key sounds when a channel is not in equal temperament: the three fixed temperaments
// (Pythagorean, meantone, pure) and the song's own, each a table of cents per degree of the
// scale in a major and a minor set; and the tuning programs the MIDI tuning messages fill, one
// frequency per key.

#include <array>
#include <cstddef>
#include <cstdint>

namespace svt {

inline constexpr int kUserTemperaments = 4;

// Cents by which each degree above the tonic departs from equal temperament.
using TemperamentCents = std::array<double, 12>;

// The key a temperament is laid out for.
struct TemperamentKey {
    int tonic = 0;          // pitch class of the major tonic (of the relative major for minor keys)
    bool minor = false;     // the minor set
    bool adjusted = false;  // shifted so that the scale's mean sits on equal temperament
};

// Sets the user temperaments start from (equal) and those the song writes.
struct UserTemperaments {
    // [temperament][0 major, 1 minor][degree above the tonic]: cents.
    std::array<std::array<std::array<int8_t, 12>, 2>, kUserTemperaments> cents{};
};

// Cents from equal temperament of `key` in temperament `type` (1..3, or a user type), laid
// out for `key`; 0 for equal temperament and unknown types.
double temperamentCents(int type, int key, const TemperamentKey& at, const UserTemperaments& user);

// The frequencies of the 128 tuning programs: equal temperament until a tuning message
// changes a key.
class TuningPrograms {
  public:
    static constexpr int kPrograms = 128;

    void reset();
    // The frequency of `key` in `program`, mHz.
    int32_t frequency(int program, int key) const;
    bool retuned(int program) const { return retuned_[size_t(program & 0x7F)]; }
    // Sets `key` of `program` to `semitone` plus `fraction` (of 16384 per semitone), the form
    // of the tuning messages; 7F 7F 7F leaves the key as it is.
    void set(int program, int key, int semitone, int fraction);

  private:
    std::array<std::array<int32_t, 128>, kPrograms> milliHz_{};
    std::array<bool, kPrograms> retuned_{};
};

}  // namespace svt
