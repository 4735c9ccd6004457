#pragma once
// Registration of seed-corpus writers: SVT_FUZZ_SEEDS(midi) { seeds.add("x", bytes); }

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace svt::fuzz {

class SeedSink {
  public:
    explicit SeedSink(std::string dir) : dir_(std::move(dir)) {}
    void add(const std::string& name, const std::vector<uint8_t>& bytes);

  private:
    std::string dir_;
};

using SeedWriter = void (*)(SeedSink&);
bool registerSeeds(const char* target, SeedWriter writer);

}  // namespace svt::fuzz

#define SVT_FUZZ_SEEDS(target)                                       \
    static void svtSeeds_##target(::svt::fuzz::SeedSink& seeds);     \
    [[maybe_unused]] static const bool svtSeedsRegistered_##target = \
        ::svt::fuzz::registerSeeds(#target, &svtSeeds_##target);     \
    static void svtSeeds_##target(::svt::fuzz::SeedSink& seeds)
