#include <cstddef>
#include <cstdint>
#include <vector>

#include "song/SmfReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
#ifdef SVT_FUZZ_RMID
    // The same song data behind a RIFF wrapper whose sizes come from the input.
    const uint8_t wrapper[] = {'R', 'I', 'F', 'F', 0,   0,   0, 0, 'R', 'M',
                               'I', 'D', 'd', 'a', 't', 'a', 0, 0, 0,   0};
    bytes.insert(bytes.begin(), wrapper, wrapper + sizeof wrapper);
    for (size_t i = 0; i < 4 && 20 + i < bytes.size(); ++i) {
        bytes[4 + i] = bytes[20 + i];
        bytes[16 + i] = bytes[20 + i] ^ 0x5A;
    }
#endif
    svt::SongInfo info;
    // One list for every input, as one engine keeps it from song to song.
    static svt::EventList list;
    auto stream = svt::openMemoryStream(bytes, "fuzz.mid");
    auto result = svt::readSong(*stream, info, list, {});
    if (result.ok()) {
        const auto& events = result->song.events;
        if (events.empty() || events.back().type != svt::EV_END_OF_SONG) __builtin_trap();
        for (size_t i = 1; i < events.size(); ++i)
            if (events[i].time < events[i - 1].time) __builtin_trap();
    }
    svt::SongInfo scanned;
    auto again = svt::openMemoryStream(bytes, "fuzz.mid");
    svt::scanSongTitle(*again, scanned);
    return 0;
}
