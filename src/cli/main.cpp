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
     "FILE|FOLDER|LIST.pli... [-s FONT] [--device NAME] [--rate HZ] [--transpose N] "
     "[--tempo PCT] [--volume PCT] [--mute CH,...] [--solo CH] [--reverb off|on] "
     "[--chorus off|on|surround]",
     "play songs through the sound device, with keys and a status line", &runPlay},
};

void printUsage(FILE* out) {
    std::fprintf(out, "usage: sorvanto-cli COMMAND [OPTIONS] ARGS...\n\ncommands:\n");
    for (const CommandInfo& c : kCommands)
        std::fprintf(out, "  %-8s %s\n           %s\n", c.name, c.usage, c.summary);
    std::fprintf(out, "\n'sorvanto-cli COMMAND --help' shows the options of one command.\n");
}
}  // namespace

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
