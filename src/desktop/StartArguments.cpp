#include "desktop/StartArguments.h"

#include "desktop/FrontCommands.h"

namespace svt {

StartArguments readStartArguments(const std::vector<std::string>& args) {
    StartArguments start;
    for (const std::string& arg : args) {
        if (arg == kOpenOption)
            start.opened = true;
        else
            start.files.push_back(arg);
    }
    start.form = !start.opened && !start.files.empty() ? WindowForm::Compact : WindowForm::Full;
    return start;
}

uint32_t startInterfaceFlags(const StartArguments& start, bool soundDeviceMissing) {
    uint32_t flags = kInitialInterfaceFlags;
    // A playlist brought back from the last run, or an "--open" without songs, waits for Play.
    const bool held = start.files.empty() || (start.form == WindowForm::Full && soundDeviceMissing);
    if (held) flags &= ~kFlagStartAtOnce;
    return flags;
}

}  // namespace svt
