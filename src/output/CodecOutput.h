#pragma once
// The file outputs of the compressed formats: FLAC ("f"), Ogg Vorbis ("v") and Opus ("o").
// Each is one codec (AudioCodec.h) writing one file at a time, under the same rules as the
// WAV output: the file is written under a temporary name beside its final one and renamed when
// complete; "-" is standard output; devices and pipes are written in place; in batch
// conversion each song gets its own file, named after it and tagged with its texts.

#include <memory>
#include <string>

#include "output/AudioCodec.h"
#include "output/OutputDevice.h"
#include "platform/OutputFile.h"
#include "platform/PendingFile.h"

namespace svt::output {

enum class CodecKind { Flac, Vorbis, Opus };

class CodecOutput final : public OutputDevice {
  public:
    explicit CodecOutput(CodecKind kind, const CodecSettings& settings = {});
    ~CodecOutput() override;

    void setSettings(const CodecSettings& settings) { settings_ = settings; }
    // The ending its files get ("flac", "ogg", "opus").
    const char* extension() const;

    int openOutput() override;
    int closeOutput() override;
    int outputData(const uint8_t* bytes, size_t count) override;
    int acntl(int request, void* argument) override;
    int songStart(const std::string& songPath) override;
    int songEnd() override;
    int songAbandon() override;
    void abandonFile() override { abandoned_ = true; }

  private:
    class FileSink;
    int openFile(const std::string& path);
    int closeFile();
    std::unique_ptr<AudioCodec> makeCodec() const;
    void fail(bool creating, int error);

    const CodecKind kind_;
    CodecSettings settings_;
    std::unique_ptr<FileSink> sink_;
    std::unique_ptr<AudioCodec> codec_;
    platform::PendingFile pending_;
    bool abandoned_ = false;
    bool failed_ = false;
};

}  // namespace svt::output
