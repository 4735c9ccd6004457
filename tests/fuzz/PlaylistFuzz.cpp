#include <cstddef>
#include <cstdint>
#include <span>

#include "app/Playlist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    const auto lines = svt::parsePlaylistLines(bytes);
    size_t total = 0;
    for (const std::string& line : lines) {
        total += line.size();
        if (line.empty() || line.find('\r') != std::string::npos ||
            line.find('\n') != std::string::npos)
            __builtin_trap();
        (void)svt::isPlaylistName(line);
        (void)svt::samePlaylistPath(line, lines.front());
    }
    if (total > size) __builtin_trap();
    return 0;
}
