#pragma once
// Where things are on this system.

#include <string>

namespace svt::platform {

// The user's home folder, without a trailing separator; empty when unknown.
std::string homeFolder();

// Where per-user settings files go: $XDG_CONFIG_HOME, else ~/.config.
std::string configFolder();

// The folder holding the running program, or empty when the system cannot tell.
std::string programFolder();

// The full path of the running program, or empty when the system cannot tell.
std::string programPath();

// The separator between folder names in paths shown to and typed by the user.
inline constexpr char kPathSeparator = '/';

}  // namespace svt::platform
