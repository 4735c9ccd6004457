#pragma once
// The RIFF WAVE file output ("w"). Its header is written first with unknown sizes and brought
// up to date every 128 KiB of data and at close. The file is written under a temporary name
// beside its final one and renamed only when it is complete, so a file that is cut off never
// appears under the final name. Files that cannot be repositioned (standard output, pipes)
// keep the unknown sizes; devices and pipes are written in place.

#include <cstdint>
#include <string>

#include "output/OutputDevice.h"
#include "platform/OutputFile.h"
#include "platform/PendingFile.h"

namespace svt::output {

inline constexpr int64_t kWavUpdateInterval = 131072;
inline constexpr size_t kWavHeaderBytes = 44;

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
};

// The 44 header bytes for the given encoding, rate and data size (-1: unknown).
void makeWavHeader(uint8_t* header, int32_t encoding, int32_t rate, int64_t dataBytes);

}  // namespace svt::output
