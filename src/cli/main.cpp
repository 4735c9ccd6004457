#include <charconv>
#include <cstdio>
#include <new>

#include "cli/Command.h"
#include "platform/Paths.h"
#include "platform/PendingFile.h"
#include "platform/Terminal.h"

namespace svt::cli {
namespace {
// In the order the usage lists them.
constexpr CommandInfo kCommands[] = {
    {"convert",
     "FILE|FOLDER|LIST.pli... [-o OUT] [-s FONT] [--rate HZ] [--interp KIND] [-f wav|mp3]",
     "render songs to WAV or MP3 files named after them (or into OUT)", &runConvert},
    {"fonts", "[--quick] [--json] FONT...",
     "show the presets, instruments, samples and problems of SoundFonts", &runFonts},
    {"info", "FILE|FOLDER|LIST.pli... [--json] [--rate HZ]",
     "show song information: title, format, meter, key, tempo, length", &runInfo},
    {"play",
     "FILE|FOLDER|LIST.pli... [-s FONT] [--device NAME] [--transpose N] [--tempo PCT] "
     "[--volume PCT] [--interp KIND]",
     "play songs through the sound device, with keys and a status line", &runPlay},
};

void printUsage(FILE* out) {
    std::fprintf(out, "usage: sorvanto-cli COMMAND [OPTIONS] ARGS...\n\ncommands:\n");
    for (const CommandInfo& c : kCommands)
        std::fprintf(out, "  %-8s %s\n           %s\n", c.name, c.usage, c.summary);
    std::fprintf(out, "\n'sorvanto-cli COMMAND --help' shows the options of one command.\n");
}
}  // namespace

bool ArgParser::flag(const std::string& longName, const std::string& shortName) {
    // A flag given twice ("-q -q") is the flag, as it is in other programs.
    bool found = false;
    for (auto it = args_.begin(); it != args_.end() && *it != "--";) {
        if (*it == longName || (!shortName.empty() && *it == shortName)) {
            it = args_.erase(it);
            found = true;
        } else {
            ++it;
        }
    }
    return found;
}

std::optional<std::string> ArgParser::value(const std::string& longName,
                                            const std::string& shortName) {
    std::optional<std::string> found;
    for (size_t i = 0; i < args_.size();) {
        const std::string& a = args_[i];
        if (a == "--") break;
        if (a == longName || (!shortName.empty() && a == shortName)) {
            if (i + 1 >= args_.size()) {
                error_ = "option " + a + " needs a value";
                args_.erase(args_.begin() + static_cast<long>(i));
                return std::nullopt;
            }
            found = args_[i + 1];
            args_.erase(args_.begin() + static_cast<long>(i),
                        args_.begin() + static_cast<long>(i) + 2);
            continue;
        }
        if (a.rfind(longName + "=", 0) == 0) {
            found = a.substr(longName.size() + 1);
            args_.erase(args_.begin() + static_cast<long>(i));
            continue;
        }
        ++i;
    }
    return found;
}

std::vector<std::string> ArgParser::operands() {
    std::vector<std::string> out;
    bool optionsEnded = false;
    for (const std::string& a : args_) {
        if (!optionsEnded && a == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && a.size() > 1 && a[0] == '-') {
            if (error_.empty()) error_ = "unknown option " + a;
        } else {
            out.push_back(a);
        }
    }
    return out;
}

bool parseInt(const std::string& text, long min, long max, long& out) {
    long v = 0;
    const char* first = text.data();
    if (!text.empty() && text[0] == '+') ++first;
    auto [ptr, ec] = std::from_chars(first, text.data() + text.size(), v);
    if (ec != std::errc() || ptr != text.data() + text.size() || v < min || v > max) return false;
    out = v;
    return true;
}

}  // namespace svt::cli

int main(int argc, char** argv) {
    using namespace svt::cli;
    // Ctrl-C, a closed terminal or a kill in the middle of a song leave no half-written file.
    svt::platform::removePendingFilesOnSignals();
    svt::platform::useUtf8Output();
    const std::vector<std::string> arguments = svt::platform::programArguments(argc, argv);
    if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h") {
        printUsage(arguments.empty() ? stderr : stdout);
        return arguments.empty() ? 2 : 0;
    }
    if (arguments[0] == "--version") {
        std::printf("sorvanto-cli 1.0.0\n");
        return 0;
    }
    for (const CommandInfo& c : kCommands) {
        if (arguments[0] == c.name) {
            CommandArgs args{argv[0],
                             std::vector<std::string>(arguments.begin() + 1, arguments.end())};
            // Commands fail a song or a font that meets a lack of memory on their own; this is
            // for what is left (a huge list of names, the program's own start), which ends
            // the command with a message instead of an abort, temporary files removed.
            try {
                return c.handler(args);
            } catch (const std::bad_alloc&) {
                std::fprintf(stderr, "sorvanto-cli: there is not enough memory to go on\n");
                return 1;
            }
        }
    }
    std::fprintf(stderr, "sorvanto-cli: unknown command \"%s\"\n\n", arguments[0].c_str());
    printUsage(stderr);
    return 2;
}
