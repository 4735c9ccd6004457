#pragma once
// Conversion progress on the program's taskbar or dock entry, where the desktop shows one:
// the launcher-entry signal on the session bus that docks and task managers listen to.
// Nothing happens where no session bus is running.

namespace svt::gui {

// 0..1, or below 0 to take the progress away.
void setTaskbarProgress(double progress);

}  // namespace svt::gui
