#pragma once
// The commands of sorvanto-cli register themselves here:
//   SVT_CLI_COMMAND(info, "FILE...", "show song information") { ... return exitCode; }

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace svt::cli {

struct CommandArgs {
    std::string programPath;        // argv[0]
    std::vector<std::string> args;  // everything after the command name
};

using CommandHandler = int (*)(const CommandArgs&);

struct CommandInfo {
    const char* name;
    const char* usage;
    const char* summary;
    CommandHandler handler;
};

bool registerCommand(const CommandInfo& info);
const std::vector<CommandInfo>& commands();

// Options of the form "--name VALUE", "--name=VALUE", "-x VALUE" and flags; the rest are
// operands. Unknown options are an error the command reports with its usage.
class ArgParser {
  public:
    explicit ArgParser(std::vector<std::string> args) : args_(std::move(args)) {}

    bool flag(const std::string& longName, const std::string& shortName = "");
    // Value of the option, or nullopt when absent. `error()` is set when the option has no value.
    std::optional<std::string> value(const std::string& longName,
                                     const std::string& shortName = "");
    // Remaining arguments after the options were taken; options still left are an error.
    std::vector<std::string> operands();
    const std::string& error() const { return error_; }

  private:
    std::vector<std::string> args_;
    std::string error_;
};

// Parses a whole number in [min, max]; false when the text is not one.
bool parseInt(const std::string& text, long min, long max, long& out);

}  // namespace svt::cli

#define SVT_CLI_COMMAND(ident, usage, summary)                                     \
    static int svtCliRun_##ident(const ::svt::cli::CommandArgs& cmd);              \
    [[maybe_unused]] static const bool svtCliRegistered_##ident =                  \
        ::svt::cli::registerCommand({#ident, usage, summary, &svtCliRun_##ident}); \
    static int svtCliRun_##ident([[maybe_unused]] const ::svt::cli::CommandArgs& cmd)
