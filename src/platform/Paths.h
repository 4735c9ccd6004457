#pragma once
// Where things are on this system, and the names of files as the program holds them: UTF-8
// text everywhere inside, converted only where the system is called.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace svt::platform {

// The user's home folder, without a trailing separator; empty when unknown.
std::string homeFolder();

// Where per-user settings files go: $XDG_CONFIG_HOME, else ~/.config (on Windows the
// roaming application-data folder).
std::string configFolder();

// The folder holding the running program, or empty when the system cannot tell.
std::string programFolder();

// The full path of the running program, or empty when the system cannot tell.
std::string programPath();

// The program's arguments after its name, as UTF-8 (Windows hands `argv` over in the
// local code page, which cannot hold every name; the arguments are taken from the system's
// UTF-16 command line there).
std::vector<std::string> programArguments(int argc, char** argv);

// The separator between folder names in paths shown to and typed by the user.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// A UTF-8 name as a std::filesystem path, and back. A path built from a plain std::string
// takes the local code page on Windows, which garbles names outside it.
inline std::filesystem::path fsPath(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string pathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace svt::platform
