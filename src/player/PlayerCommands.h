#pragma once
// The exchange between the front-end and the player: the commands it sends (whose codes are
// also the result codes of the player's operations), the notices it receives, and the two
// interfaces over which they travel. The audio queue below the player waits for the device;
// while it does it delivers the notices that come due and stops waiting when a command waits
// (AudioQueueHooks), which the player then handles.

#include <cstdint>
#include <string>

#include "base/OutputRequests.h"
#include "base/StereoView.h"

namespace svt {

enum PlayerCommand : int {
    CmdError = -1,
    CmdNone = 0,
    CmdQuit = 1,
    CmdNext = 2,
    CmdPrevious = 3,
    CmdJump = 6,
    CmdTogglePause = 7,
    CmdRestart = 8,
    CmdReallyPrevious = 11,
    CmdChangeVolume = 12,
    CmdLoadFile = 13,
    CmdTuneEnd = 14,
    CmdKeyUp = 15,
    CmdKeyDown = 16,
    CmdSpeedUp = 17,
    CmdSpeedDown = 18,
    CmdVoiceIncrease = 19,
    CmdVoiceDecrease = 20,
    CmdToggleDrumChannel = 21,
    CmdReload = 22,
    CmdNoOperation = 23,  // does nothing, also while a song loads, where others end the load
    CmdResyncEffects = 24,
    CmdResyncEffectTime = 25,
    CmdSyncRestart = 26,
    CmdChangeRate = 28,
    CmdOutputChanged = 29,
    CmdStop = 30,
    CmdToggleMute = 31,
    CmdSoloPlay = 32,
    CmdMuteClear = 33,
    CmdSetTempo = 35,
    CmdEndSong = 36,
};

// A result that ends the song: every loop of the player stops and passes it upward.
constexpr bool isFinalResult(int code) {
    switch (code) {
        case CmdError:
        case CmdQuit:
        case CmdNext:
        case CmdReallyPrevious:
        case CmdLoadFile:
        case CmdTuneEnd:
        case CmdStop:
        case CmdEndSong:
            return true;
        default:
            return false;
    }
}

enum PlayerNoticeCode : int {
    NoticeNowLoading = 0,
    NoticeLoadingDone = 1,
    NoticePlayStart = 2,
    NoticePlayEnd = 3,
    NoticeCurrentTime = 4,
    NoticeNote = 5,
    NoticeMasterVolume = 6,
    NoticeMetronome = 7,
    NoticeKeySignature = 8,
    NoticeKeyOffset = 9,
    NoticeTempo = 10,
    NoticeTimeRatio = 11,
    NoticeTemperKeySignature = 12,
    NoticeTemperType = 13,
    NoticeMute = 14,
    NoticeProgram = 15,
    NoticeVolume = 16,
    NoticeExpression = 17,
    NoticePanning = 18,
    NoticeSustain = 19,
    NoticePitchBend = 20,
    NoticeModWheel = 21,
    NoticeChorusLevel = 22,
    NoticeReverbLevel = 23,
    NoticeLyric = 24,
    NoticeRefresh = 25,
    NoticeReset = 26,
    NoticePause = 28,
    NoticeGsLcd = 29,
    NoticeDrumPart = 31,
};

struct PlayerNotice {
    int code = 0;
    int32_t args[4] = {};
    // A name the notice carries (NoticeProgram: the instrument's), copied so that it stays
    // valid however late the notice is delivered; empty for most notices.
    char text[24] = {};
};

// The front-end as the player sees it.
class ControlInterface {
  public:
    virtual ~ControlInterface() = default;
    // The next pending command (its argument in `argument`), CmdNone when there is none.
    virtual int read(int32_t& argument) = 0;
    // Receives every notice, in the order raised.
    virtual void event(const PlayerNotice& notice) = 0;
    // The name of the file being loaded travels beside NoticeNowLoading.
    virtual void loading(const std::string& /*fileName*/) {}
    // True when notices should reach the front-end when their audio is heard, not before.
    virtual bool traces() const = 0;
};

// A front-end that sends nothing and wants nothing: batch conversion.
class QuietControl final : public ControlInterface {
  public:
    int read(int32_t&) override { return CmdNone; }
    void event(const PlayerNotice&) override {}
    bool traces() const override { return false; }
};

// What the audio queue asks of the player while it waits for a device.
class AudioQueueHooks {
  public:
    virtual ~AudioQueueHooks() = default;
    // True when a command waits: the queue stops waiting and returns, and the player handles
    // the command.
    virtual bool commandWaiting() = 0;
    // Delivers the notices whose audio has been heard by now.
    virtual void runDueNotices() = 0;
    // Frames until the next waiting notice is due, or -1 when none waits.
    virtual int64_t framesToNextNotice() = 0;
    // Forgets the waiting notices: the audio they belong to was dropped.
    virtual void dropNotices() = 0;
    // True when notices wait for their audio (the front-end traces).
    virtual bool tracing() = 0;
};

// How a flush of the audio queue ended.
enum class FlushResult {
    Done,
    Failed,          // the device failed
    CommandWaiting,  // stopped early for a command; flushing again goes on where it stopped
};

// The output side as the playback loop sees it: implemented by the audio queue in front of
// the current output device.
class AudioSink {
  public:
    virtual ~AudioSink() = default;
    virtual int rate() const = 0;
    // True when the device plays in real time and can say what it has played.
    virtual bool realTime() const = 0;
    // The device's control operation; the loop sends the song start and end requests with the
    // song's path (a file output in automatic-name mode names its file after it).
    virtual int control(int request, const std::string& songPath) = 0;
    // Takes a block of 32-bit samples (full scale +-2^28). 0 or -1.
    virtual int add(StereoView<const int32_t> block) = 0;
    // Waits until everything queued has been heard (discard false) or drops it (true).
    virtual FlushResult flush(bool discard) = 0;
    // Hands every waiting bucket to the device without waiting for it to play them.
    virtual FlushResult softFlush() = 0;
    // Frames heard so far, -1 when the device cannot tell.
    virtual int64_t playedFrames() = 0;
    virtual int64_t filledFrames() = 0;
    virtual int64_t softFilledFrames() = 0;
    virtual int64_t deviceQueueFrames() = 0;
    // True while a new song's first audio is collected before the device is fed.
    virtual bool prefilling() const { return false; }
    // Asks the output to play at `rateHz` from the next song on; false when it cannot (the
    // song then goes on at the old rate).
    virtual bool changeRate(int /*rateHz*/) { return false; }
    // The user picked another output device or format; the song is reloaded behind it.
    virtual void outputChanged() {}
};

}  // namespace svt
