#pragma once
// The MP3 file output ("g"). It does not encode itself: the encoder library, loaded at run
// time, runs on a thread of its own and pulls the samples this output puts into its ring.
// In batch conversion every song gets its own file, named after the song and tagged with
// its title; otherwise the one file `name` ("-": standard output) is written, tagged with
// `songTags`. With `writeTags` the file starts with an ID3v2 tag of them all. The library writes
// under a temporary name beside the final one; the file is renamed when the encoder has closed it
// complete.

#include <functional>
#include <string>

#include "output/EncoderLibrary.h"
#include "output/Mp3Encoder.h"
#include "output/OutputDevice.h"
#include "platform/PendingFile.h"

namespace svt::output {

// "Error loading MP3-Encoder!" in the interface language: the encoder library is missing.
const char* encoderLoadMessage(Language language);

class Mp3Output final : public OutputDevice {
  public:
    explicit Mp3Output(EncoderSearch search = EncoderSearch::forThisProgram(),
                       RingWait wait = RingWait::Notify);
    ~Mp3Output() override;

    int openOutput() override;
    int closeOutput() override;
    // Bytes taken; 0 when no file is open; -1 once the encoding failed.
    int outputData(const uint8_t* bytes, size_t count) override;
    int acntl(int request, void* argument) override;
    int songStart(const std::string& songPath) override;
    int songEnd() override;
    int songAbandon() override;
    void abandonFile() override { abandoned_ = true; }

    // True when the encoder library can be loaded from one of the places it is looked for.
    bool encoderAvailable() const;

    // Bit rate and VBR quality for the next files.
    void setSettings(const Mp3Settings& settings) { encoder_.setSettings(settings); }
    const EncoderSearch& search() const { return search_; }
    Mp3Encoder& encoder() { return encoder_; }

    // The front-end's encoder-location dialog, asked when the library cannot be found at
    // open; true when it stored a new location.
    std::function<bool()> locateEncoder;

  private:
    int startFile(const std::string& path);
    int closeFile();
    void fail(const char* german, const char* english, int error = 0);
    void failBecause(const char* german, const char* english, const std::string& reason);

    const EncoderSearch search_;
    Mp3Encoder encoder_;
    platform::PendingFile pending_;
    bool abandoned_ = false;
};

}  // namespace svt::output
