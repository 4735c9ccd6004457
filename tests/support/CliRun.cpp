#include "support/CliRun.h"

#include "support/DecodedAudio.h"

namespace svt::test {

CliRun runCli(const std::string& args) {
#ifdef _WIN32
    const std::string program = "\"" + std::string(SORVANTO_BINARY_DIR) + "/bin/sorvanto-cli.exe\"";
#else
    const std::string program = std::string(SORVANTO_BINARY_DIR) + "/bin/sorvanto-cli";
#endif
    CliRun r;
    r.exitCode = runCommand(program + " " + args, &r.out);
    return r;
}

}  // namespace svt::test
