#pragma once
// Every destination of sound is an OutputDevice: a record of settings (rate, sample
// encoding, capabilities, display name, selection character, file name) and the five
// operations open, close, write, control and detect. One is current at a time; the
// AudioQueue sits in front of it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/Language.h"
#include "base/OutputRequests.h"
#include "song/SongTags.h"

namespace svt::output {

// Sample encoding bits.
inline constexpr int32_t ENC_MONO = 0x01;
inline constexpr int32_t ENC_SIGNED = 0x02;
inline constexpr int32_t ENC_16BIT = 0x04;
inline constexpr int32_t ENC_ULAW = 0x08;
inline constexpr int32_t ENC_ALAW = 0x10;
inline constexpr int32_t ENC_BYTESWAP = 0x20;
inline constexpr int32_t ENC_24BIT = 0x40;
// Beyond the classic bits: 32-bit IEEE float (full scale 1.0) and 32-bit integer samples,
// for files that keep more of the synthesizer's 29 bits than 24 can.
inline constexpr int32_t ENC_FLOAT = 0x80;
inline constexpr int32_t ENC_32BIT = 0x100;
inline constexpr int32_t kSigned16Stereo = ENC_SIGNED | ENC_16BIT;

// Capability bits.
inline constexpr int32_t OF_PCM_STREAM = 0x01;
inline constexpr int32_t OF_CAN_TIME = 0x04;
inline constexpr int32_t OF_BUFFER_SETTING = 0x08;
inline constexpr int32_t OF_AUTO_NAME = 0x10;

// Removes the bits a combination rules out: a companding code has no sign, width or byte
// order of its own; byte order needs 16 or 24 bits; 24 bits is not also 16; float and 32-bit
// samples are signed, in the machine's byte order, and of no other width.
int32_t normalizeEncoding(int32_t encoding);
// Applies encoding letters ("1", "2", "3", "8", "A", "M", "S", "U", "f", "l", "s", "u", "x") to
// `encoding`; false (and `encoding` untouched) when a letter is unknown.
bool applyEncodingLetters(std::string_view letters, int32_t& encoding);
int bytesPerSample(int32_t encoding);
inline int channelsOf(int32_t encoding) {
    return (encoding & ENC_MONO) ? 1 : 2;
}
inline int bytesPerFrame(int32_t encoding) {
    return channelsOf(encoding) * bytesPerSample(encoding);
}

class OutputDevice {
  public:
    virtual ~OutputDevice() = default;

    int32_t rate = 44100;
    int32_t encoding = kSigned16Stereo;
    int32_t flags = OF_PCM_STREAM;
    int32_t fd = -1;  // -1 closed
    int32_t extra[5] = {};
    std::string idName;
    char idCharacter = 0;
    std::string name;  // output file name; empty: one file per song, named after it

    // Set before open: the run converts a list of songs (each song opens its own file).
    bool batchConversion = false;
    // A file output puts its finished file over one that existed under the same name;
    // otherwise the old file stays and finishing fails.
    bool replaceExisting = true;
    Language language = Language::English;

    virtual int openOutput() = 0;
    // 0, or -1 when what was written could not be completed (a file that fails to close).
    virtual int closeOutput() = 0;
    virtual int outputData(const uint8_t* bytes, size_t count) = 0;
    // -1: request not supported.
    virtual int acntl(int request, void* argument) = 0;
    virtual bool hasDetect() const { return false; }
    virtual bool detect() { return false; }

    // A song starts and ends. Devices that keep one stream for the whole run accept both;
    // a file output in automatic-name mode opens and closes the song's file, and -1 means
    // the file could not be created or completed.
    virtual int songStart(const std::string& /*songPath*/) { return 0; }
    virtual int songEnd() { return 0; }
    // A song ended unfinished: in automatic-name mode its file is removed instead of finished.
    virtual int songAbandon() { return songEnd(); }
    // Gives up the file being written: the next close removes it rather than finishing it.
    virtual void abandonFile() {}
    // The tags of the file named by `name`; files named after their songs take their own
    // song's. Outputs that tag their files write them all while `writeTags` is set; without
    // it each writes what it always has (the MP3 output a title tag, the others nothing).
    SongTags songTags;
    bool writeTags = false;
    // The title of the song the file named by `name` will hold, as the song gives it.
    void setSongTitle(const std::string& title);

    // The text of the last failure, in the interface language (empty when none).
    const std::string& lastMessage() const { return lastMessage_; }
    // The file written for the current or last song (for display and the listen question).
    const std::string& lastOutputPath() const { return lastOutputPath_; }

  protected:
    std::string lastMessage_;
    std::string lastOutputPath_;
};

// A device that is known to the list but cannot open here (yet): its open fails with a
// message that says so.
class UnavailableOutput final : public OutputDevice {
  public:
    UnavailableOutput(char id, std::string displayName, int32_t flagBits, std::string reason);
    int openOutput() override;
    int closeOutput() override { return 0; }
    int outputData(const uint8_t*, size_t) override { return -1; }
    int acntl(int, void*) override { return -1; }

  private:
    std::string reason_;
};

}  // namespace svt::output
