#include "platform/Terminal.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace svt::platform {

bool stdinIsTerminal() {
    return isatty(STDIN_FILENO) == 1;
}
bool stderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}
bool stdoutIsTerminal() {
    return isatty(STDOUT_FILENO) == 1;
}

int terminalColumns() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

void useUtf8Output() {}

namespace {

class PosixRawKeyboard final : public RawKeyboard {
  public:
    explicit PosixRawKeyboard(const termios& saved) : saved_(saved) {}
    ~PosixRawKeyboard() override { tcsetattr(STDIN_FILENO, TCSANOW, &saved_); }

    size_t read(uint8_t* buffer, size_t capacity, int timeoutMs) override {
        pollfd fd{STDIN_FILENO, POLLIN, 0};
        if (poll(&fd, 1, timeoutMs) <= 0 || (fd.revents & POLLIN) == 0) return 0;
        const ssize_t n = ::read(STDIN_FILENO, buffer, capacity);
        return n > 0 ? static_cast<size_t>(n) : 0;
    }

  private:
    termios saved_;
};

}  // namespace

std::unique_ptr<RawKeyboard> RawKeyboard::open() {
    if (!stdinIsTerminal()) return nullptr;
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0) return nullptr;
    termios raw = saved;
    // No echo, no line editing, and Ctrl-C arrives as a key (byte 3) so that the player
    // can stop and give the terminal back its mode instead of dying in raw mode.
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ISIG));
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return nullptr;
    return std::make_unique<PosixRawKeyboard>(saved);
}

}  // namespace svt::platform
