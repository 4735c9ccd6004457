// Effect parameters come from the songs' system-exclusive messages: any sequence of them must
// leave the effects running within bounds, without reading outside a delay line.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "effects/effects.h"
#include "song/Sysex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace svt;
    effects::SystemEffects fx(44100, {3, 1});
    std::vector<int64_t> block(2 * 256), out(2 * 256);
    for (size_t i = 0; i < block.size(); ++i) block[i] = (int64_t(i % 97) - 48) << 22;
    int pendingValue = 0, pendingGroup = 0;
    // Each message runs up to its F7; the first byte of a message picks the system mode too.
    size_t start = 0;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] != 0xF7) continue;
        const std::vector<uint8_t> message(data + start, data + i + 1);
        start = i + 1;
        if (!message.empty() && message[0] == 0x43) fx.resetEffects(SYSTEM_XG_ON);
        SongEvent events[kMaxSysexEvents];
        const int n = interpretMultiSysex(message, std::span<SongEvent, kMaxSysexEvents>(events));
        for (int k = 0; k < n; ++k) {
            const SongEvent& e = events[k];
            if (e.type == EV_SYSEX_XG_MSB) {
                pendingValue = e.a;
                pendingGroup = e.b;
            } else if (e.type == EV_SYSEX_LSB || e.type == EV_SYSEX_GS_LSB ||
                       e.type == EV_SYSEX_XG_LSB) {
                fx.parameter(e.type, e.b, e.a, pendingGroup, pendingValue);
            }
        }
        for (EffectBus bus : {BUS_REVERB, BUS_CHORUS, BUS_DELAY, BUS_EQ})
            fx.send(bus, {block.data(), int(block.size()) / 2}, 127);
        fx.insertion({block.data(), int(block.size()) / 2}, {out.data(), int(out.size()) / 2});
        fx.process({out.data(), int(out.size()) / 2});
    }
    return 0;
}
