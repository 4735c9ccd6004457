#include "support/CliChild.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

namespace svt::test {

CliChild::CliChild(const std::vector<std::string>& args) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        if (master >= 0) ::close(master);
        return;
    }
    const std::string terminalName = ::ptsname(master);
    const std::string program = std::string(SORVANTO_BINARY_DIR) + "/bin/sorvanto-cli";
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        const int terminal = ::open(terminalName.c_str(), O_RDWR);
        const int nothing = ::open("/dev/null", O_RDONLY);
        if (terminal < 0 || nothing < 0) ::_exit(127);
        ::dup2(nothing, 0);
        ::dup2(terminal, 1);
        ::dup2(terminal, 2);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    if (pid < 0) {
        ::close(master);
        return;
    }
    pid_ = pid;
    terminal_ = master;
}

CliChild::~CliChild() {
    if (pid_ > 0 && status_ == -1) {
        ::kill(pid_, SIGKILL);
        wait();
    }
    if (terminal_ >= 0) ::close(terminal_);
}

bool CliChild::readSome() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(terminal_, buffer, sizeof buffer);
        if (n > 0) {
            shown_.append(buffer, static_cast<size_t>(n));
            return true;
        }
        if (n < 0 && errno == EINTR) continue;
        return false;  // EIO: the program has closed the terminal (it ended)
    }
}

bool CliChild::waitFor(const std::string& text) {
    if (terminal_ < 0) return false;
    while (shown_.find(text) == std::string::npos)
        if (!readSome()) return false;
    return true;
}

void CliChild::signal(int number) {
    if (pid_ > 0 && status_ == -1) ::kill(pid_, number);
}

int CliChild::wait() {
    if (pid_ <= 0) return -1;
    if (status_ != -1) return status_;
    while (terminal_ >= 0 && readSome()) {
    }
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    status_ = status;
    return status_;
}

}  // namespace svt::test
