#pragma once
// Runs the built sorvanto-cli as a user would and collects what it printed.

#include <string>

namespace svt::test {

struct CliRun {
    int exitCode = -1;
    std::string out;  // standard output and standard error together
};

// `args` is appended to the program path as shell words.
CliRun runCli(const std::string& args);

}  // namespace svt::test
