#pragma once
// Converting songs into audio files outside the windows: the jobs a list of songs makes
// (where each file goes) and the conversion of one song on an engine of its own.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Batch.h"
#include "app/Playlist.h"
#include "base/Result.h"
#include "instruments/SharedInstruments.h"
#include "output/AudioCodec.h"
#include "output/Mp3Encoder.h"
#include "song/EngineSettings.h"
#include "synth/Resampler.h"

namespace svt {

struct ConvertOptions {
    EngineSettings settings;
    std::string outputText = "w";  // identifier character and encoding letters of the output
    std::string extension = "wav";
    output::Mp3Settings mp3;       // bit rate or VBR quality of MP3 files
    output::CodecSettings codecs;  // how FLAC, Ogg Vorbis and Opus files are encoded
    // Files carry the song's title, copyright, composer, source file and the encoder in their
    // tags; without, none at all.
    bool writeTags = true;
    // Where the MP3 encoder library is when it is found nowhere else: stored as its location
    // (for later runs too) at the moment the output finds none.
    std::string encoderPath;
    double timeRatio = 1.0;  // 100 / tempo percent
    int keyOffset = 0;       // semitones; drums are never transposed
    uint32_t muteMask = 0;   // bit c: channel c (0-based) is silent
    int amplification = 70;  // master volume 0..200
    // The SoundFont the songs sound with; empty: none (every note is silent).
    std::string soundFont;
    // Files that exist are replaced (jobs whose output existed before the run are refused
    // earlier; this settles one that another program wrote meanwhile).
    bool overwrite = false;
    // Folders missing on the way to an output are made (outputs under a folder named by -o).
    bool makeOutputFolders = false;
    // Called while a song renders with the song time reached and the song's length, in
    // seconds (both of the song as it is played, tempo setting included).
    std::function<void(double songSeconds, double totalSeconds)> progress;
    // Songs converted side by side hand each other the instruments they hold (null: each
    // engine builds its own).
    std::shared_ptr<SharedInstruments> sharedInstruments;
};

// Where each song's file goes. Without `output` each file lies beside its song, named after
// it. With `output`: an existing folder (or a name ending in a separator) receives the files
// named after their songs, each under the sub-folders it has below the folder it was found in
// (coll/a/x.mid -> OUT/a/x.wav); any other name is the file of the one song (several songs
// into one name is an error, reported in `error`, and so is a song from standard input
// without a file name to write).
std::vector<BatchJob> makeConvertJobs(const std::vector<ExpandedName>& songs,
                                      const std::optional<std::string>& output,
                                      const std::string& extension, std::string& error);

// The length in seconds of each job's song, from a quick read of its events: what the order
// of a batch goes by. 0 for a song that cannot be read and for standard input (it can be read
// only once).
std::vector<double> songLengths(const std::vector<BatchJob>& jobs);

// Reads a SoundFont the way an engine will, before any song plays: an error when it cannot
// be used or holds no preset that can sound; otherwise the problems found in it (empty when
// none).
Result<std::vector<std::string>> checkSoundFont(const std::string& file);

// Plays `job.input` into `job.output` on a new engine. The file appears under its name only
// when it is complete; what the song's reader noticed comes back as warnings.
BatchOutcome convertSong(const BatchJob& job, const ConvertOptions& options);

}  // namespace svt
