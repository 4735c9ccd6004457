#include <cstdio>
#include <fstream>
#include <map>
#include <string>

#include "Seeds.h"

namespace svt::fuzz {
namespace {
std::map<std::string, std::vector<SeedWriter>>& registry() {
    static std::map<std::string, std::vector<SeedWriter>> writers;
    return writers;
}
}  // namespace

bool registerSeeds(const char* target, SeedWriter writer) {
    registry()[target].push_back(writer);
    return true;
}

void SeedSink::add(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream out(dir_ + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

}  // namespace svt::fuzz

int main(int argc, char** argv) {
    using namespace svt::fuzz;
    if (argc != 3) {
        std::fprintf(stderr, "usage: fuzz_seeds TARGET DIR\n");
        return 2;
    }
    auto it = registry().find(argv[1]);
    if (it == registry().end()) return 0;  // a target may run from an empty corpus
    SeedSink sink(argv[2]);
    for (SeedWriter w : it->second) w(sink);
    return 0;
}
