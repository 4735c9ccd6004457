// Playlist files as the program writes them, and as people edit them by hand.
#include <string>

#include "Seeds.h"

SVT_FUZZ_SEEDS(pli) {
    auto add = [&](const char* name, const std::string& text) {
        seeds.add(name, {text.begin(), text.end()});
    };
    add("written", "/music/a.mid\r\n/music/b.mid\r\n/music/c.kar\r\n");
    add("edited", "C:\\Music\\A.MID\n\n@other.pli\r\n/folder/\rtail\n");
    add("empty-lines", "\r\n\n\r\r\n");
    // Lists that once lost names: a byte-order mark, lines ended by CR alone, relative names.
    add("mark-and-cr", "\xEF\xBB\xBFsongs/a.mid\rsongs/b.mid\r../c.mid\r@sub.pli\r");
}
