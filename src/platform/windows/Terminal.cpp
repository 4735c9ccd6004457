#include "platform/Terminal.h"

#include <algorithm>
#include <string>

#include "platform/windows/Win32.h"

namespace svt::platform {
namespace {

bool isConsole(DWORD which) {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(which), &mode) != 0;
}

// Arrow keys arrive as key codes; the player reads them as a terminal sends them.
const char* escapeFor(WORD key) {
    switch (key) {
        case VK_UP:
            return "\x1b[A";
        case VK_DOWN:
            return "\x1b[B";
        case VK_RIGHT:
            return "\x1b[C";
        case VK_LEFT:
            return "\x1b[D";
        default:
            return nullptr;
    }
}

class ConsoleKeyboard final : public RawKeyboard {
  public:
    ConsoleKeyboard(HANDLE input, DWORD savedMode) : input_(input), saved_(savedMode) {}
    ~ConsoleKeyboard() override { ::SetConsoleMode(input_, saved_); }

    size_t read(uint8_t* buffer, size_t capacity, int timeoutMs) override {
        size_t n = takePending(buffer, capacity);
        if (n > 0) return n;
        if (::WaitForSingleObject(
                input_, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0)
            return 0;
        INPUT_RECORD records[32];
        DWORD count = 0;
        if (!::ReadConsoleInputW(input_, records, 32, &count)) return 0;
        for (DWORD i = 0; i < count; ++i) {
            if (records[i].EventType != KEY_EVENT) continue;
            const KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
            if (!key.bKeyDown) continue;
            for (WORD r = 0; r < std::max<WORD>(key.wRepeatCount, 1); ++r) {
                if (const char* escape = escapeFor(key.wVirtualKeyCode)) {
                    pending_ += escape;
                } else if (key.uChar.UnicodeChar != 0) {
                    pending_ += win::narrow(std::wstring_view(&key.uChar.UnicodeChar, 1));
                }
            }
        }
        return takePending(buffer, capacity);
    }

  private:
    size_t takePending(uint8_t* buffer, size_t capacity) {
        const size_t n = std::min(capacity, pending_.size());
        pending_.copy(reinterpret_cast<char*>(buffer), n);
        pending_.erase(0, n);
        return n;
    }

    HANDLE input_;
    DWORD saved_;
    std::string pending_;
};

}  // namespace

bool stdinIsTerminal() {
    return isConsole(STD_INPUT_HANDLE);
}
bool stderrIsTerminal() {
    return isConsole(STD_ERROR_HANDLE);
}
bool stdoutIsTerminal() {
    return isConsole(STD_OUTPUT_HANDLE);
}

int terminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) {
        const int columns = info.srWindow.Right - info.srWindow.Left + 1;
        if (columns > 0) return columns;
    }
    return 80;
}

void useUtf8Output() {
    // Texts are UTF-8 inside the program; the console shows them as such.
    ::SetConsoleOutputCP(CP_UTF8);
}

std::unique_ptr<RawKeyboard> RawKeyboard::open() {
    HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD saved = 0;
    if (!::GetConsoleMode(input, &saved)) return nullptr;
    // No echo, no line editing, and Ctrl-C arrives as a key (byte 3) so that the player can
    // stop and give the console back its mode.
    const DWORD raw =
        saved & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT);
    if (!::SetConsoleMode(input, raw)) return nullptr;
    return std::make_unique<ConsoleKeyboard>(input, saved);
}

}  // namespace svt::platform
