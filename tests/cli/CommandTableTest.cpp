// sorvanto-cli finds each of its commands by name, lists them all in its usage, and refuses a
// name it does not know.
#include <gtest/gtest.h>

#include "support/CliRun.h"

namespace svt::test {
namespace {

TEST(CommandTable, EveryCommandAnswersToItsName) {
    for (const char* name : {"convert", "fonts", "info", "play"}) {
        SCOPED_TRACE(name);
        const CliRun help = runCli(std::string(name) + " --help");
        EXPECT_EQ(help.exitCode, 0) << help.out;
        EXPECT_NE(help.out.find(std::string("usage: sorvanto-cli ") + name), std::string::npos)
            << help.out;
        const CliRun usage = runCli("--help");
        EXPECT_NE(usage.out.find(std::string("\n  ") + name + " "), std::string::npos) << usage.out;
    }
}

TEST(CommandTable, UnknownOrMissingCommandIsAUsageError) {
    const struct {
        const char* args;
        const char* says;
    } cases[] = {
        {"", "usage: sorvanto-cli COMMAND"},
        {"render x.mid", "unknown command \"render\""},
        {"--convert", "unknown command \"--convert\""},
    };
    for (const auto& c : cases) {
        const CliRun run = runCli(c.args);
        EXPECT_EQ(run.exitCode, 2) << c.args;
        EXPECT_NE(run.out.find(c.says), std::string::npos) << c.args << ": " << run.out;
    }
}

}  // namespace
}  // namespace svt::test
