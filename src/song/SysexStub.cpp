// Until system-exclusive messages are interpreted, they yield no events.
#include "song/Sysex.h"

namespace svt {

bool interpretSingleSysex(std::span<const uint8_t>, GsSetupBlock&, SysexTextStore&, SongEvent&) { return false; }

int interpretMultiSysex(std::span<const uint8_t>, std::span<SongEvent, kMaxSysexEvents>) { return 0; }

}  // namespace svt
