#pragma once
// The RIFF WAVE file output ("w"). Its header is written first with unknown sizes and brought
// up to date every 128 KiB of data and at close. With tags, a LIST/INFO chunk stands between
// the format and the data, so that a file sent to standard output carries them too. The file is
// written under a temporary name beside its final one and renamed only when it is complete, so a
// file that is cut off never appears under the final name. Files that cannot be repositioned
// (standard output, pipes) keep the unknown sizes; devices and pipes are written in place.

#include <cstdint>
#include <string>
#include <vector>

#include "output/OutputDevice.h"
#include "platform/OutputFile.h"
#include "platform/PendingFile.h"

namespace svt::output {

inline constexpr int64_t kWavUpdateInterval = 131072;
// The header without tags, of any PCM encoding but float.
inline constexpr size_t kWavHeaderBytes = 44;

// "RIFF" and "WAVE", the format chunk (float samples, which are not PCM, have the extended
// format and a "fact" chunk with the frame count), the tags' LIST chunk when there is one, and
// the data chunk's head. Sizes of -1 data bytes are unknown (all ones).
struct WavHeader {
    std::vector<uint8_t> bytes;
    size_t factAt = 0;  // where the frame count of the fact chunk lies; 0: none
    size_t dataSizeAt = 40;
};
WavHeader makeWavHeader(int32_t encoding, int32_t rate, int64_t dataBytes,
                        const std::vector<uint8_t>& infoList = {});

class WavOutput final : public OutputDevice {
  public:
    WavOutput();
    ~WavOutput() override;

    int openOutput() override;
    int closeOutput() override;
    int outputData(const uint8_t* bytes, size_t count) override;
    int acntl(int request, void* argument) override;
    int songStart(const std::string& songPath) override;
    int songEnd() override;
    int songAbandon() override;
    void abandonFile() override { abandoned_ = true; }

    int64_t dataBytes() const { return dataBytes_; }
    // Where the data goes while the file is written (the temporary name), else the final name.
    std::string writingPath() const;
    bool cannotUpdate() const { return cannotUpdate_; }

  private:
    int openFile(const std::string& path);
    int updateHeader();
    int closeFile();
    void fail(const char* german, const char* english, const std::string& path, int error);

    platform::OutputFile file_;
    platform::PendingFile pending_;
    bool abandoned_ = false;
    bool failed_ = false;  // a write failed: the file is not finished
    int64_t dataBytes_ = 0;
    int64_t nextUpdate_ = kWavUpdateInterval;
    bool cannotUpdate_ = false;
    WavHeader header_;
};

}  // namespace svt::output
