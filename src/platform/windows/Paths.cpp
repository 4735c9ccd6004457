#include "platform/Paths.h"

#include "platform/windows/Win32.h"

namespace svt::platform {
namespace {

std::string environment(const wchar_t* name) {
    wchar_t buffer[32768];
    const DWORD n = ::GetEnvironmentVariableW(name, buffer, 32768);
    if (n == 0 || n >= 32768) return {};
    return win::narrow(std::wstring_view(buffer, n));
}

std::string withoutTrailingSeparator(std::string path) {
    while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path;
}

}  // namespace

std::string homeFolder() {
    std::string home = environment(L"USERPROFILE");
    if (home.empty()) home = environment(L"HOMEDRIVE") + environment(L"HOMEPATH");
    return withoutTrailingSeparator(home);
}

std::string configFolder() {
    const std::string roaming = environment(L"APPDATA");
    return roaming.empty() ? homeFolder() : withoutTrailingSeparator(roaming);
}

std::string programFolder() {
    std::string path = programPath();
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

std::string programPath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return win::narrow(std::wstring_view(buffer.data(), n));
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::vector<std::string> programArguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> out;
    if (wide != nullptr && count == argc) {
        for (int i = 1; i < count; ++i) out.push_back(win::narrow(wide[i]));
    } else {
        // The C library split the line differently from the shell: its split stands.
        for (int i = 1; i < argc; ++i) out.emplace_back(argv[i]);
    }
    if (wide != nullptr) ::LocalFree(wide);
    return out;
}

}  // namespace svt::platform
