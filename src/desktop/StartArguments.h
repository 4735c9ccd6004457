#pragma once
// What the desktop program's command line asks for. Songs named alone are converted in the
// drag-and-drop format in the compact window, which closes when they are done. "--open" comes
// from the songs' association and "Open with" of a file manager: the songs are listed in the
// full window and the first one plays, as a double click on a song means. With nothing named,
// the full window comes back with the playlist it had, which waits for Play.

#include <cstdint>
#include <string>
#include <vector>

#include "desktop/MainWindowModel.h"

namespace svt {

inline constexpr const char* kOpenOption = "--open";

struct StartArguments {
    std::vector<std::string> files;  // in the order given
    WindowForm form = WindowForm::Full;
    bool opened = false;  // "--open": the songs count as opened by the user (recent files)
};

// `args` without the program's own name.
StartArguments readStartArguments(const std::vector<std::string>& args);

// The control interface's flags at start: named songs start at once. In the full window
// without a sound device (the window has just said so) they wait for Play, which tries the
// device again, rather than failing with the same message a second time; the compact window
// goes through its songs whatever happens to each.
uint32_t startInterfaceFlags(const StartArguments& start, bool soundDeviceMissing);

}  // namespace svt
