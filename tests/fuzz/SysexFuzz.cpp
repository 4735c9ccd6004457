#include <cstddef>
#include <cstdint>
#include <vector>

#include "song/EventList.h"
#include "song/Sysex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Messages exactly as long as the input, so that reading one byte too far is caught.
    const std::vector<uint8_t> message(data, data + size);
    svt::EventList texts;
    svt::GsSetupBlock setup;
    svt::SongEvent single;
    (void)svt::interpretSingleSysex(message, setup, texts, single);
    svt::SongEvent multi[svt::kMaxSysexEvents];
    const int n =
        svt::interpretMultiSysex(message, std::span<svt::SongEvent, svt::kMaxSysexEvents>(multi));
    if (n < 0 || n > svt::kMaxSysexEvents) __builtin_trap();
    for (int i = 0; i < n; ++i) {
        // Every expansion is a real event left at time 0 for the reader to place.
        if (multi[i].type == svt::EV_NONE || multi[i].time != 0) __builtin_trap();
    }
    return 0;
}
