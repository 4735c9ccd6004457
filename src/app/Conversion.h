#pragma once
// Converting songs into audio files outside the windows: the jobs a list of songs makes
// (where each file goes) and the conversion of one song on an engine of its own.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Batch.h"
#include "output/Mp3Encoder.h"
#include "song/EngineSettings.h"
#include "synth/Resampler.h"

namespace svt {

struct ConvertOptions {
    EngineSettings settings;
    std::string outputText = "w";  // identifier character and encoding letters of the output
    std::string extension = "wav";
    output::Mp3Settings mp3;  // bit rate or VBR quality of MP3 files
    double timeRatio = 1.0;   // 100 / tempo percent
    int keyOffset = 0;        // semitones; drums are never transposed
    uint32_t muteMask = 0;    // bit c: channel c (0-based) is silent
    int amplification = 70;   // master volume 0..200
    // The SoundFont the songs sound with; empty: none (every note is silent).
    std::string soundFont;
    InterpolationKind interpolation = InterpolationKind::SineLagrange;
    // Called while a song renders with the song time reached and the song's length, in
    // seconds (both of the song as it is played, tempo setting included).
    std::function<void(double songSeconds, double totalSeconds)> progress;
};

// Where each song's file goes. Without `output` each file lies beside its song, named after
// it. With `output`: an existing folder (or a name ending in a separator) receives the files
// named after their songs; any other name is the file of the one song (several songs into one
// name is an error, reported in `error`).
std::vector<BatchJob> makeConvertJobs(const std::vector<std::string>& songs,
                                      const std::optional<std::string>& output,
                                      const std::string& extension, std::string& error);

// Plays `job.input` into `job.output` on a new engine. A file that could not be completed is
// removed again, so what is left on disk is always whole.
BatchOutcome convertSong(const BatchJob& job, const ConvertOptions& options);

}  // namespace svt
