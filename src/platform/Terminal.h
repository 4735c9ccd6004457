#pragma once
// The text terminal for interactive commands: whether standard input and error are
// terminals, keys without echo or line buffering, and the terminal's width.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace svt::platform {

bool stdinIsTerminal();
bool stderrIsTerminal();
bool stdoutIsTerminal();
// Columns of the terminal on standard error; 80 when it cannot tell.
int terminalColumns();
// The program's texts are UTF-8; a terminal that needs telling (the Windows console) is told.
void useUtf8Output();

// While it lives, standard input delivers single keys without echo; the previous
// mode comes back when it is destroyed. Ctrl-C arrives as the byte 3.
class RawKeyboard {
  public:
    // nullptr when standard input is not a terminal.
    static std::unique_ptr<RawKeyboard> open();
    virtual ~RawKeyboard() = default;
    // Waits at most `timeoutMs` for input and returns the bytes that arrived (0 = none).
    virtual size_t read(uint8_t* buffer, size_t capacity, int timeoutMs) = 0;
};

}  // namespace svt::platform
