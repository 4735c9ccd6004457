// The rules that keep a conversion from losing or corrupting a file, and that make it say
// exactly what happened, checked on the command line as a person or a script uses it.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <filesystem>
#include <set>

#include "support/CliChild.h"
#include "support/CliRun.h"
#include "support/DecodedAudio.h"
#include "support/Sf2Builder.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"
#include "support/TestFonts.h"

namespace svt {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

const std::string kCli = std::string(SORVANTO_BINARY_DIR) + "/bin/sorvanto-cli";

// Two and a half seconds whose notes lie in the second and third track, so that a reader that
// stops after the first track gives silence.
std::vector<uint8_t> song(int key = 60, const std::string& title = "Song") {
    test::SmfBuilder smf(1, 480);
    smf.track().trackName(0, title).tempo(0, 500000).endOfTrack(2400);
    smf.track().program(0, 0, 0).noteOn(0, 0, key, 100).noteOff(960, 0, key).endOfTrack();
    smf.track().noteOn(960, 0, key + 7, 100).noteOff(960, 0, key + 7).endOfTrack();
    return smf.build();
}

// Forty minutes of one held note: long enough that a signal always arrives mid-song.
std::vector<uint8_t> longSong() {
    test::SmfBuilder smf(0, 480);
    smf.track()
        .tempo(0, 500000)
        .program(0, 0, 0)
        .noteOn(0, 0, 69, 100)
        .noteOff(960 * 60 * 40, 0, 69);
    smf.track().endOfTrack();
    return smf.build();
}

std::string text(const std::string& path) {
    const auto b = test::readFileBytes(path);
    return {b.begin(), b.end()};
}

std::set<std::string> filesIn(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file()) names.insert(entry.path().lexically_relative(dir).string());
    return names;
}

size_t count(const std::string& haystack, const std::string& needle) {
    size_t n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + 1))
        ++n;
    return n;
}

std::string shell(const std::string& command, int* status = nullptr) {
    std::string out;
    const int s = test::runCommand(command, &out);
    if (status) *status = s;
    return out;
}

// sorvanto-cli with `arguments` under the shell's `ulimit` option `limit` ("-f 4000"): what it
// printed, then "exit N".
std::string limitedCli(const std::string& limit, const std::string& arguments) {
    return shell("sh -c 'ulimit " + limit + "; " + kCli + " " + arguments +
                 "; echo \"exit $?\"' 2>&1");
}

// Each test's own folder, with the sine font in it.
class ConversionRules : public ::testing::Test {
  protected:
    TempDir dir;
    const std::string font = dir.write("sine.sf2", test::sineFont());
};

// Whatever goes wrong, the file under the output's name is the one that was there before.
TEST_F(ConversionRules, AnOldFileIsKeptWhenTheNewOneCannotBeMade) {
    const std::string a = dir.write("a.mid", song());
    dir.write("broken.mid", std::vector<uint8_t>{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0});
    const std::string good = dir.write("good.wav", std::string("a good old file"));
    fs::create_hard_link(a, dir.file("hard.mid"));
    struct Case {
        std::string what, args, reason;
    };
    const Case cases[] = {
        {"a broken song", "broken.mid -o good.wav", "broken.mid: the MIDI header is cut short"},
        // -f: a name ending in .mid is no format's unless told what to write into it.
        {"the output is the song", "a.mid -o a.mid -f wav", "is the song itself"},
        {"the song through a hard link", "a.mid -o hard.mid -f wav", "is the song itself"},
        {"the output is another song of the run", "a.mid broken.mid -o a.mid -f wav",
         "several songs cannot go into the one file"},
    };
    const auto song = test::readFileBytes(a);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string out;
        const int status = test::runCommand("cd " + dir.path().string() + " && " + kCli +
                                                " convert " + c.args + " --overwrite -s " + font,
                                            &out);
        EXPECT_NE(status, 0) << out;
        EXPECT_NE(out.find(c.reason), std::string::npos) << out;
        EXPECT_EQ(test::readFileBytes(a), song);
        EXPECT_EQ(text(good), "a good old file");
        EXPECT_EQ(filesIn(dir.path()), (std::set<std::string>{"a.mid", "broken.mid", "good.wav",
                                                              "hard.mid", "sine.sf2"}))
            << "no temporary file is left";
    }
}

// One folder spelt three ways (relative, absolute, through a symbolic link) gives one output
// per song: the first job writes it, the later ones fail before anything is opened, even with
// two songs converted at once, so no file is spliced from two songs. The folder gives its
// songs, told by their contents, and each keeps its sub-folder under -o FOLDER.
TEST_F(ConversionRules, OneOutputFromTwoSpellingsIsAnErrorForTheLaterJobs) {
    dir.write("coll/x.mid", song(60));
    dir.write("coll/sub/x.mid", song(64));
    dir.write("coll/notes.txt", std::string("words about the song"));
    dir.write("coll/take.wav", std::string("RIFF\4\0\0\0WAVE", 12));
    fs::create_directory_symlink(dir.file("coll"), dir.file("link"));
    const std::string relative = fs::relative(dir.file("coll"), fs::current_path()).string();
    const auto run =
        test::runCli("convert " + relative + " " + dir.file("coll") + " " + dir.file("link") +
                     " -o " + dir.file("out/") + " --jobs 2 -s " + font);
    EXPECT_EQ(run.exitCode, 1) << run.out;
    EXPECT_NE(run.out.find("2 files written, 4 failed, 0 skipped"), std::string::npos) << run.out;
    EXPECT_EQ(count(run.out, "is also the output of " + relative + "/x.mid"), 4u) << run.out;
    EXPECT_EQ(count(run.out, "is also the output of " + relative + "/sub/x.mid"), 4u) << run.out;
    EXPECT_EQ(filesIn(dir.file("out")), (std::set<std::string>{"x.wav", "sub/x.wav"}));

    const auto alone = test::runCli("convert " + dir.file("coll/x.mid") + " -o " +
                                    dir.file("alone.wav") + " -s " + font);
    ASSERT_EQ(alone.exitCode, 0) << alone.out;
    EXPECT_EQ(test::readFileBytes(dir.file("out/x.wav")),
              test::readFileBytes(dir.file("alone.wav")));
}

// A signal in the middle of a song ends the program as the signal does, and leaves neither a
// file under the output's name nor a temporary file; a file that was there stays as it was.
TEST_F(ConversionRules, SignalsMidSongLeaveNoFileBehind) {
    struct Case {
        int signal;
        const char* output;
        bool oldFile;
    };
    const Case cases[] = {{SIGINT, "out.wav", false},
                          {SIGTERM, "out.mp3", true},
                          {SIGHUP, "out.flac", true},
                          {SIGINT, "out.opus", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(strsignal(c.signal)) + " " + c.output);
        TempDir own;  // a folder for each case, the font and the song alone in it
        const std::string midi = own.write("long.mid", longSong());
        own.write("sine.sf2", test::sineFont());
        std::set<std::string> before = {"long.mid", "sine.sf2"};
        if (c.oldFile) {
            own.write(c.output, std::string("the old file"));
            before.insert(c.output);
        }
        test::CliChild child(
            {"convert", midi, "-s", own.file("sine.sf2"), "-o", own.file(c.output), "--overwrite"});
        ASSERT_TRUE(child.started());
        ASSERT_TRUE(child.waitFor("%")) << "no progress shown:\n" << child.shown();
        child.signal(c.signal);
        const int status = child.wait();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << child.shown();
        EXPECT_EQ(filesIn(own.path()), before);
        if (c.oldFile) {
            EXPECT_EQ(text(own.file(c.output)), "the old file");
        }
    }
}

// A disk that fills up keeps the old file (with --overwrite) or gets no file at all, and the
// message carries the system's reason, in every format. A small file system of its own
// where the machine allows mounting one; /dev/full behind a symbolic link always.
TEST_F(ConversionRules, AFullDiskLeavesTheOldFileOrNothing) {
    const std::string midi = dir.write("a.mid", song());
    for (const char* name : {"full.wav", "full.mp3", "full.flac", "full.ogg", "full.opus"}) {
        fs::create_symlink("/dev/full", dir.file(name));
        const auto run = test::runCli("convert " + midi + " -o " + dir.file(name) + " -s " + font);
        EXPECT_EQ(run.exitCode, 1) << run.out;
        EXPECT_NE(run.out.find(std::string(name) + ": No space left on device"), std::string::npos)
            << run.out;
    }

    const std::string small = dir.file("small");
    fs::create_directory(small);
    int mounted = 0;
    shell("unshare -m sh -c 'mount -t tmpfs -o size=32k tmpfs " + small + "'", &mounted);
    if (mounted != 0) return;  // no mounting here: /dev/full above stands in
    // The WAV writer's own test fills its disk too; an MP3 file is written by the encoder's thread.
    for (const char* name : {"song.mp3"}) {
        const std::string convert = kCli + " convert " + midi + " -s " + font + " -o " + small;
        // Everything happens inside the mount's own namespace, where the small file system is.
        const std::string out =
            shell("unshare -m sh -c 'mount -t tmpfs -o size=32k tmpfs " + small +
                  " && printf old > " + small + "/" + name + " && " + convert + "/" + name +
                  " --overwrite; echo \"replacing: $?\"; " + convert + "/new-" + name +
                  "; echo \"new: $?\"; ls -A " + small + "; cat " + small + "/" + name + "' 2>&1");
        EXPECT_NE(out.find("replacing: 1"), std::string::npos) << out;
        EXPECT_NE(out.find("new: 1"), std::string::npos) << out;
        EXPECT_EQ(count(out, "No space left on device"), 2u) << out;
        EXPECT_NE(out.find("\n" + std::string(name) + "\nold"), std::string::npos)
            << "only the old file is left, as it was:\n"
            << out;
    }
}

// Faults of the system fail the song that meets them, with the system's reason, and leave no
// temporary file; the songs after it are written. A file-size limit (ulimit -f) is met by the
// write, not by a signal; a song cut short while it is read is a song that changed, whenever
// the cut comes; running out of address space fails the song that needed it.
TEST_F(ConversionRules, SystemFaultsFailTheirSongAndTheBatchGoesOn) {
    const std::string songs = dir.write("long.mid", longSong()) + " " + dir.write("a.mid", song());
    for (const char* format : {"wav", "mp3"}) {
        SCOPED_TRACE(format);
        const std::string out = dir.file(std::string("limited-") + format);
        const std::string run = limitedCli(
            "-f 4000", "convert " + songs + " -f " + format + " -o " + out + "/ -s " + font);
        EXPECT_NE(run.find("long." + std::string(format) + ": File too large"), std::string::npos)
            << run;
        EXPECT_NE(run.find("exit 1"), std::string::npos) << run;
        EXPECT_EQ(filesIn(out), (std::set<std::string>{std::string("a.") + format}));
    }
    const std::string piped =
        limitedCli("-f 4000", "convert " + dir.file("long.mid") + " -o - -s " + font + " > " +
                                  dir.file("piped.wav"));
    EXPECT_NE(piped.find("File too large"), std::string::npos) << piped;
    EXPECT_NE(piped.find("exit 1"), std::string::npos) << piped;

    // A song of two million bytes copied over again and again (a copy truncates first) while it
    // is converted: whatever each run found, it ends by itself and leaves no temporary file.
    test::SmfBuilder big(0, 480);
    test::SmfTrack& t = big.track().runningStatus().noteOn(0, 0, 60, 100);
    for (int i = 0; i < 600000; ++i) t.controller(0, 0, 7, i % 128);
    t.noteOff(480, 0, 60).endOfTrack();
    const std::string original = dir.write("original.mid", big.build());
    const std::string moving = dir.file("moving.mid");
    fs::copy_file(original, moving);
    const std::string runs =
        shell("sh -c 'while :; do cp " + original + " " + moving +
              "; done & copier=$!; for i in "
              "1 2 3 4 5 6 7 8; do " +
              kCli + " convert " + moving + " -o " + dir.file("moving") + "/ --overwrite -q -s " +
              font + "; echo \"exit $?\"; done; kill $copier' 2>&1");
    EXPECT_EQ(count(runs, "exit 0") + count(runs, "exit 1"), 8u) << "no signal ended a run:\n"
                                                                 << runs;
    if (fs::exists(dir.file("moving"))) {
        for (const std::string& file : filesIn(dir.file("moving")))
            EXPECT_EQ(file, "moving.wav") << "no temporary file is left";
    }

#ifndef __SANITIZE_ADDRESS__  // the sanitizer reserves more address space than any limit allows
    // A preset whose 512 zones each copy another stretch of a two-megabyte sample needs a
    // gigabyte: under a limit of 300 MB its song fails for want of memory.
    test::Sf2Builder hungry;
    const int sine = hungry.addSample(test::Sf2Builder::sineSample("sine", 440.0, 44100, 69));
    test::Sf2Sample wide = test::Sf2Builder::rampSample("wide", 1 << 20);
    const int wideIndex = hungry.addSample(wide);
    const int plain = hungry.addInstrument("plain");
    hungry.instrumentZone(plain).loopMode(1).sample(sine);
    hungry.presetZone(hungry.addPreset("plain", 0, 0)).instrument(plain);
    const int many = hungry.addInstrument("many");
    for (int z = 0; z < 512; ++z)
        hungry.instrumentZone(many).gen(GEN_START_ADDRS_OFFSET, z).sample(wideIndex);
    hungry.presetZone(hungry.addPreset("many", 0, 1)).instrument(many);
    const std::string hungryFont = dir.write("hungry.sf2", hungry.build());
    test::SmfBuilder takesAll(0, 480);
    takesAll.track().program(0, 0, 1).noteOn(0, 0, 60, 100).noteOff(480, 0, 60).endOfTrack();
    const std::string greedy = dir.write("greedy.mid", takesAll.build());
    const std::string limited =
        limitedCli("-v 300000", "convert " + greedy + " " + dir.file("a.mid") + " --jobs 1 -o " +
                                    dir.file("memory") + "/ -s " + hungryFont);
    EXPECT_NE(limited.find("greedy.mid: there is not enough memory"), std::string::npos) << limited;
    EXPECT_NE(limited.find("exit 1"), std::string::npos) << limited;
    EXPECT_EQ(filesIn(dir.file("memory")), std::set<std::string>{"a.wav"});

    // Whatever the limit, memory that runs out anywhere (the quick read that orders the work,
    // the font's check, the encoder's thread, info's reading) ends the run by itself, gives
    // each failed song a reason and leaves no temporary file; info goes on to the next song.
    // The song of many events needs its full event list.
    test::SmfBuilder crowded(0, 480);
    test::SmfTrack& c = crowded.track().noteOn(0, 0, 60, 100);
    for (int i = 0; i < 70000; ++i) c.controller(0, 0, 7, i % 128);
    c.noteOff(48, 0, 60).endOfTrack();
    const std::string pair = dir.write("crowded.mid", crowded.build()) + " " + dir.file("a.mid");
    for (int limit = 12000; limit <= 72000; limit += 6000) {
        const std::string ulimit = "-v " + std::to_string(limit);
        if (limit <= 48000) {
            SCOPED_TRACE("info under " + std::to_string(limit) + " KiB");
            const std::string described = limitedCli(ulimit, "info --json " + pair);
            EXPECT_EQ(count(described, "exit 0") + count(described, "exit 1"), 1u) << described;
            if (described.find("to go on") == std::string::npos) {
                EXPECT_EQ(count(described, "{\"file\":"), 2u) << "each song has its object:\n"
                                                              << described;
            }
        }
        for (const std::string format : {"wav", "mp3"}) {
            SCOPED_TRACE(format + " under " + std::to_string(limit) + " KiB");
            const std::string folder = dir.file("swept-" + std::to_string(limit) + format);
            const std::string swept =
                limitedCli(ulimit, "convert " + pair + " --jobs 2 -f " + format + " -o " + folder +
                                       "/ -s " + font);
            EXPECT_EQ(count(swept, "exit 0") + count(swept, "exit 1"), 1u) << swept;
            EXPECT_EQ(count(swept, "." + format + ")\n"), 0u)
                << "a failure names its reason after the file:\n"
                << swept;
            if (fs::exists(folder)) {
                for (const std::string& file : filesIn(folder))
                    EXPECT_TRUE(file == "crowded." + format || file == "a." + format)
                        << file << " is left";
            }
        }
    }
#endif
}

// A song from standard input is read whole: it converts to the very file its own file gives.
TEST_F(ConversionRules, StandardInputPlaysLikeTheSameFile) {
    const std::string midi = dir.write("song.mid", song());
    // Without tags: standard input has no file name to give as the source.
    auto run =
        test::runCli("convert " + midi + " -o " + dir.file("file.wav") + " --no-tags -s " + font);
    ASSERT_EQ(run.exitCode, 0) << run.out;
    run = test::runCli("convert - -o " + dir.file("piped.wav") + " --no-tags -s " + font + " < " +
                       midi);
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(test::readFileBytes(dir.file("piped.wav")),
              test::readFileBytes(dir.file("file.wav")));
    const std::string fromFile = test::runCli("info " + midi).out;
    const std::string fromInput = test::runCli("info - < " + midi).out;
    EXPECT_EQ(fromInput.substr(fromInput.find('\n')), fromFile.substr(fromFile.find('\n')));

    run = test::runCli("convert - -s " + font + " < " + midi);
    EXPECT_EQ(run.exitCode, 2) << "nothing to name the file after:\n" << run.out;
    run = test::runCli("info - < /dev/zero");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("more than 64 MiB"), std::string::npos) << run.out;
}

// What the reader noticed reaches the user once per song, whatever the number of jobs, and is
// counted in the summary; -q leaves only errors.
TEST_F(ConversionRules, ReaderWarningsAreShownOncePerSongAndCounted) {
    std::vector<uint8_t> cut = song();
    cut.resize(cut.size() - 6);  // the third track ends inside an event
    const std::string songs = dir.write("cut.mid", cut) + " " + dir.write("whole.mid", song()) +
                              " " + dir.write("other.mid", song(64));
    auto run =
        test::runCli("convert " + songs + " -o " + dir.file("out/") + " --jobs 2 -s " + font);
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(count(run.out, "warning:"), 1u) << run.out;
    EXPECT_NE(run.out.find("cut.mid: warning: track 3 ends inside an event"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("3 files written (1 with warnings), 0 failed"), std::string::npos)
        << run.out;

    const std::string broken =
        dir.write("broken.mid", std::vector<uint8_t>{'M', 'T', 'h', 'd', 0, 0, 0, 6});
    run = test::runCli("convert -q " + songs + " " + broken + " -o " + dir.file("out/") +
                       " --overwrite -s " + font);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, broken + ": the MIDI header is cut short\n");
}

// A font in which nothing can sound stops the run before any song, naming the font; a font
// with problems that can sound is used, its problems said once for the run.
TEST_F(ConversionRules, AFontWithNothingPlayableStopsTheRunBeforeAnySong) {
    const std::string songs = dir.write("a.mid", song()) + " " + dir.write("b.mid", song(64));
    test::Sf2Builder presetless;
    presetless.addSample(test::Sf2Builder::sineSample("sine", 440.0, 44100, 69));
    test::Sf2Builder outside;
    test::Sf2Sample lost = test::Sf2Builder::sineSample("lost", 440.0, 44100, 69);
    lost.rawStart = 900000;
    lost.rawEnd = 944100;
    const int lostIndex = outside.addSample(lost);
    const int inst = outside.addInstrument("Lost");
    outside.instrumentZone(inst).sample(lostIndex);
    outside.presetZone(outside.addPreset("Lost", 0, 0)).instrument(inst);
    std::vector<uint8_t> cut = test::sineFont();
    cut.resize(cut.size() / 2);
    struct Case {
        const char* file;
        std::vector<uint8_t> bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"presetless.sf2", presetless.build(), "no preset in it can sound (it has no presets)"},
        {"outside.sf2", outside.build(), "none of its 1 presets has a sample that can be played"},
        {"cut.sf2", cut, "cut.sf2: "},
        {"text.sf2", std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o'}, "text.sf2: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string broken = dir.write(c.file, c.bytes);
        const auto run =
            test::runCli("convert " + songs + " -o " + dir.file("out/") + " -s " + broken);
        EXPECT_EQ(run.exitCode, 1) << run.out;
        EXPECT_NE(run.out.find(c.reason), std::string::npos) << run.out;
        EXPECT_EQ(count(run.out, c.file), 1u) << run.out;
        EXPECT_FALSE(fs::exists(dir.file("out"))) << "no song was started";
        const auto played = test::runCli("play " + songs + " --device null -s " + broken);
        EXPECT_EQ(played.exitCode, 1) << played.out;
        EXPECT_NE(played.out.find(c.reason), std::string::npos) << played.out;
    }

    test::Sf2Builder flawed;
    const int sine = flawed.addSample(test::Sf2Builder::sineSample("sine", 440.0, 44100, 69));
    flawed.addSample(lost);
    const int good = flawed.addInstrument("Sine");
    flawed.instrumentZone(good).sample(sine);
    flawed.presetZone(flawed.addPreset("Sine", 0, 0)).instrument(good);
    const auto run = test::runCli("convert " + songs + " -o " + dir.file("out/") + " --jobs 2 -s " +
                                  dir.write("flawed.sf2", flawed.build()));
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(count(run.out, "flawed.sf2: warning: sample 1 \"lost\" lies outside"), 1u) << run.out;
}

// Texts of songs and file names that are not UTF-8 (Latin-1 mostly) or hold control characters
// reach the terminal and JSON cleaned: every line of --json is valid JSON, one per song, and a
// file that cannot be read is an object with "error".
TEST_F(ConversionRules, InfoGivesValidJsonAndCleanTextForEveryFile) {
    dir.write("coll/latin.mid", song(60, "Caf\xE9 M\xFCller \x96 Sch\xF6n"));
    dir.write("coll/escape.mid", song(60, "\x1b[2J\x1b[HCleared"));
    dir.write("coll/\xE9t\xE9.mid", song(60, "Summer"));
    dir.write("coll/notes.txt", std::string("not a song"));
    const std::string list =
        dir.write("list.pli", dir.file("coll") + "\n" + dir.file("missing.mid") + "\n" +
                                  dir.file("coll/notes.txt") + "\n");
    int status = 0;
    shell(kCli + " info --json " + list + " > " + dir.file("info.json"), &status);
    EXPECT_EQ(status, 1) << "two files could not be read";
    const std::string parsed = shell(
        "python3 -c 'import json, sys\n"
        "for line in open(sys.argv[1], encoding=\"utf-8\"):\n"
        "    o = json.loads(line)\n"
        "    print(o.get(\"title\") or o.get(\"error\"))' " +
        dir.file("info.json"));
    EXPECT_EQ(parsed,
              "\uFFFD[2J\uFFFD[HCleared\nCaf\u00e9 M\u00fcller \u2013 Sch\u00f6n\nSummer\n"
              "file not found\nnot a MIDI file\n");

    const std::string shown = test::runCli("info " + dir.file("coll")).out;
    EXPECT_EQ(shown.find('\x1b'), std::string::npos) << "no escape sequence reaches a terminal";
    EXPECT_NE(shown.find("Caf\u00e9 M\u00fcller"), std::string::npos) << shown;
    EXPECT_NE(shown.find("/\u00e9t\u00e9.mid"), std::string::npos) << shown;
    EXPECT_EQ(count(shown, "title:"), 3u) << "the text file is passed over:\n" << shown;
}

// The format follows the output's name; -f may only agree with it. Exit status 0 when nothing
// failed (a file kept because it exists is not a failure), 1 when a file failed, 2 for a
// mistake in the command.
TEST_F(ConversionRules, FormatsFollowTheNameAndExitCodesSayWhatHappened) {
    const std::string midi = dir.write("a.mid", song());
    struct Case {
        std::string args;
        int exitCode;
        std::string file, starts;  // the file written and its first bytes
    };
    const Case cases[] = {
        {"-o x.mp3", 0, "x.mp3", "ID3"},
        {"-o y.WAV", 0, "y.WAV", "RIFF"},
        {"-o z.wav -f wav", 0, "z.wav", "RIFF"},
        {"-o y.WAV", 0, "", ""},  // y.WAV is there: kept, and nothing failed
        {"-o v.FLAC --compression 0", 0, "v.FLAC", "fLaC"},
        {"-o u.oga", 0, "u.oga", "OggS"},
        {"-o t.raw -f opus --bitrate 6", 0, "t.raw", "OggS"},  // -f writes any name
        {"-f mp3 -o w.wav", 2, "", ""},
        {"-f wav -o w.mp3", 2, "", ""},
        {"-o w.m4a", 2, "", ""},
        {"-o w.aiff", 2, "", ""},
        {"-o w.opus --bitrate 511", 2, "", ""},
        {"-o w.ogg --quality 11", 2, "", ""},
        {"-o w.flac --compression 9", 2, "", ""},
        {"-o w.flac --quality 5", 2, "", ""},
        {"-o w.opus --rate 44100", 2, "", ""},
        {"-o w.flac -f flac:ulaw", 2, "", ""},
        {"-o w.ogg -f ogg:24", 2, "", ""},
        {"-o w.wav --no-such-option", 2, "", ""},
        {"-o ''", 2, "", ""},
        {"-o q.wav -q -q --overwrite --overwrite", 0, "q.wav", "RIFF"},
        {"-o " + dir.file("no/such/folder/w.wav"), 1, "", ""},
        // A folder that cannot be made (a file is in the way) is named with the reason.
        {"-o a.mid/out/", 1, "", "the folder a.mid/out cannot be made: Not a directory"},
        // A symbolic link to nothing is a file that exists: kept, before anything renders.
        {"-o dangling.wav", 0, "", "dangling.wav exists already and is kept"},
    };
    fs::create_symlink(dir.file("nowhere/old.wav"), dir.file("dangling.wav"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        std::string out;
        const int status = test::runCommand("cd " + dir.path().string() + " && " + kCli +
                                                " convert a.mid -s " + font + " " + c.args,
                                            &out);
        EXPECT_EQ(status, c.exitCode) << out;
        if (!c.file.empty()) {
            EXPECT_EQ(text(dir.file(c.file)).substr(0, c.starts.size()), c.starts);
        } else if (!c.starts.empty()) {
            EXPECT_NE(out.find(c.starts), std::string::npos) << out;  // what was said
        }
    }
    EXPECT_EQ(filesIn(dir.path()),
              (std::set<std::string>{"a.mid", "q.wav", "sine.sf2", "t.raw", "u.oga", "v.FLAC",
                                     "x.mp3", "y.WAV", "z.wav"}));
    EXPECT_TRUE(fs::is_symlink(dir.file("dangling.wav")));
}

}  // namespace
}  // namespace svt
