// sorvanto-window-probe: looks at the running sorvanto.exe from outside through the Windows
// API, for the desktop test under Wine. Commands:
//   wait CLASS SECONDS    waits until a visible window of CLASS exists; prints its handle
//   visible CLASS         exit 0 when a visible window of CLASS exists, else 1
//   fields                the main window's fields (edit controls), one a line
//   caption CLASS         the caption of the window of CLASS
//   setting NAME          tells the main window a system setting changed (WM_SETTINGCHANGE
//                         with NAME), as Windows tells every window
// Texts are printed as UTF-8.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

std::wstring widen(const char* text) {
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n - 1 : 0), L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), n);
    return out;
}

HWND visibleWindow(const std::wstring& cls) {
    for (HWND w = ::FindWindowExW(nullptr, nullptr, cls.c_str(), nullptr); w;
         w = ::FindWindowExW(nullptr, w, cls.c_str(), nullptr))
        if (::IsWindowVisible(w)) return w;
    return nullptr;
}

// WM_GETTEXT reaches the controls of another process, GetWindowText does not.
std::wstring textOf(HWND w) {
    wchar_t buffer[1024] = {};
    DWORD_PTR got = 0;
    if (!::SendMessageTimeoutW(w, WM_GETTEXT, 1023, reinterpret_cast<LPARAM>(buffer),
                               SMTO_ABORTIFHUNG, 2000, &got))
        return {};
    return buffer;
}

BOOL CALLBACK printEdit(HWND w, LPARAM) {
    wchar_t cls[32] = {};
    ::GetClassNameW(w, cls, 31);
    if (_wcsicmp(cls, L"Edit") == 0) std::printf("%s\n", utf8(textOf(w)).c_str());
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: sorvanto-window-probe wait|visible|fields|caption|setting ...\n");
        return 2;
    }
    const std::string command = argv[1];
    if (command == "wait" && argc == 4) {
        const std::wstring cls = widen(argv[2]);
        const DWORD until = ::GetTickCount() + static_cast<DWORD>(std::atoi(argv[3]) * 1000);
        while (static_cast<LONG>(::GetTickCount() - until) < 0) {
            if (HWND w = visibleWindow(cls)) {
                std::printf("%p\n", static_cast<void*>(w));
                return 0;
            }
            ::Sleep(100);
        }
        return 1;
    }
    if (command == "visible" && argc == 3) return visibleWindow(widen(argv[2])) ? 0 : 1;
    if (command == "caption" && argc == 3) {
        HWND w = visibleWindow(widen(argv[2]));
        if (!w) return 1;
        std::printf("%s\n", utf8(textOf(w)).c_str());
        return 0;
    }
    HWND main = visibleWindow(L"SorvantoMain");
    if (!main) return 1;
    if (command == "fields") {
        ::EnumChildWindows(main, printEdit, 0);
        return 0;
    }
    if (command == "setting" && argc == 3) {
        const std::wstring name = widen(argv[2]);
        DWORD_PTR result = 0;
        return ::SendMessageTimeoutW(main, WM_SETTINGCHANGE, 0,
                                     reinterpret_cast<LPARAM>(name.c_str()), SMTO_ABORTIFHUNG, 5000,
                                     &result)
                   ? 0
                   : 1;
    }
    return 2;
}
