#pragma once
// The commands of sorvanto-cli, each in a file of its own, and what they share: the table of
// commands (in main.cpp) and the parsing of options.

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

// Each returns the program's exit code.
int runConvert(const CommandArgs& cmd);
int runFonts(const CommandArgs& cmd);
int runInfo(const CommandArgs& cmd);
int runPlay(const CommandArgs& cmd);

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
