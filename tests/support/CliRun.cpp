#include "support/CliRun.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>

namespace svt::test {

CliRun runCli(const std::string& args) {
    const std::string command =
        std::string(SORVANTO_BINARY_DIR) + "/bin/sorvanto-cli " + args + " 2>&1";
    CliRun r;
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return r;
    std::array<char, 4096> buffer{};
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), p)) > 0) r.out.append(buffer.data(), n);
    const int status = pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace svt::test
