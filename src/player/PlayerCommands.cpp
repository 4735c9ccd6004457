// The player's side of the commands: what each does to the song while it plays or loads, and
// the waits for the output that a waiting command ends.

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "player/Player.h"
#include "player/UserControls.h"

namespace svt {

int Player::changeTimeRatio(double ratio) {
    ratio = std::clamp(ratio, kMinTimeRatio, kMaxTimeRatio);
    resynchronise(false);
    const double old = controls_.timeRatio;
    controls_.timeRatio = ratio;
    currentSample_ = static_cast<int64_t>(static_cast<double>(currentSample_) * ratio / old + 0.5);
    trace_.setOffset(currentSample_);
    timeRatioNotice();
    return CmdJump;
}

void Player::changeVolume(int32_t delta) {
    controls_.amplification = amplificationAfter(controls_.amplification, delta);
    // The synthesizer follows the amplification at its next block: master gain and every
    // sounding voice's amplitude.
    notify(NoticeMasterVolume, false, controls_.amplification);
}

int Player::muteCommand(int code, int32_t channel) {
    const std::optional<uint32_t> mask = muteMaskAfter(controls_.channelMuteMask, code, channel);
    if (!mask) return CmdNone;
    controls_.channelMuteMask = *mask;
    resynchronise(false);
    if (code == CmdToggleMute) {
        notify(NoticeMute, false, channel, (*mask >> channel) & 1u);
        return CmdJump;
    }
    for (int c = 0; c < kChannels; ++c) notify(NoticeMute, false, c, code == CmdSoloPlay ? 1 : 0);
    if (code == CmdSoloPlay) notify(NoticeMute, false, channel, 0);
    return CmdJump;
}

// One command during playback: CmdNone to read on, CmdJump when the song was moved (the
// caller reads on and reports the jump), anything else ends the polling with that result.
int Player::handleCommand(int code, int32_t argument, bool& jumped) {
    switch (code) {
        case CmdQuit:
        case CmdNext:
        case CmdReallyPrevious:
        case CmdLoadFile:
        case CmdTuneEnd:
        case CmdStop:
        case CmdEndSong:
            sink_->flush(true);
            return code;
        case CmdPrevious:
            sink_->flush(true);
            return currentSample_ >= 2 * static_cast<int64_t>(rate()) ? CmdRestart
                                                                      : CmdReallyPrevious;
        case CmdReload:
            restartPosition_ = positionNow();
            sink_->flush(true);
            return CmdReload;
        case CmdToggleDrumChannel: {
            if (argument < 0 || argument >= kChannels) return CmdNone;
            restartPosition_ = positionNow();
            const uint32_t bit = 1u << argument;
            // The user's choice holds for the whole song: its own drum-part changes no longer
            // touch the channel.
            if (song_) {
                song_->drumMask ^= bit;
                song_->drumMask2 ^= bit;
                song_->drumLock |= bit;
            }
            sink_->flush(true);
            return CmdReload;
        }
        case CmdJump:
            if (paused_) {
                restartPosition_ = std::max<int64_t>(0, argument);
                notify(NoticePause, false, 1, songSeconds(restartPosition_));
                return CmdNone;
            }
            sink_->flush(true);
            if (argument >= scaledTotal()) return CmdTuneEnd;
            seek(std::max<int64_t>(0, argument));
            notify(NoticeCurrentTime, false, songSeconds(currentSample_), 0);
            notify(NoticeRefresh, false);
            jumped = true;
            return CmdJump;
        case CmdRestart:
            if (paused_) {
                restartPosition_ = 0;
                notify(NoticePause, false, 1, 0);
                return CmdNone;
            }
            sink_->flush(true);
            seek(0);
            notify(NoticeCurrentTime, false, 0, 0);
            jumped = true;
            return CmdNone;
        case CmdTogglePause:
            if (!paused_) {
                restartPosition_ = positionNow();
                sink_->flush(true);
                paused_ = true;
            } else {
                paused_ = false;
                seek(restartPosition_);
            }
            notify(NoticePause, false, paused_ ? 1 : 0, songSeconds(restartPosition_));
            jumped = true;
            return CmdNone;
        case CmdChangeVolume:
            changeVolume(argument);
            return CmdNone;
        case CmdKeyUp:
        case CmdKeyDown:
            transpose(controls_, argument);
            // Notes already sounding keep their key unless the audio can be played again
            // from where it is heard.
            if (resynchronise(true) >= 0) jumped = true;
            notify(NoticeKeyOffset, false, controls_.noteKeyOffset);
            return CmdNone;
        case CmdSpeedUp:
        case CmdSpeedDown:
            changeTimeRatio(timeRatioAfterSpeedCommand(controls_.timeRatio, code, argument));
            jumped = true;
            return CmdNone;
        case CmdSetTempo:
            if (argument <= 0) return CmdNone;
            changeTimeRatio(static_cast<double>(referenceTempo_) / argument);
            jumped = true;
            return CmdNone;
        case CmdVoiceIncrease:
            synthesis_.setVoiceLimit(voiceBudget_.remembered());
            resynchronise(false);
            jumped = true;
            return CmdNone;
        case CmdVoiceDecrease: {
            const int limit = std::max<int64_t>(
                0, int64_t{synthesis_.voiceLimit()} - std::max<int32_t>(argument, 0));
            synthesis_.setVoiceLimit(limit);
            const int excess = synthesis_.voicesInUse() - synthesis_.voiceLimit();
            if (excess > 0) synthesis_.cutQuietestReleased(excess);
            return CmdNone;
        }
        case CmdResyncEffects:
        case CmdResyncEffectTime:
            resynchronise(false);
            jumped = true;
            return CmdNone;
        case CmdSyncRestart:
            if (resynchronise(argument != 0) >= 0) jumped = true;
            return CmdNone;
        case CmdChangeRate:
            if (argument <= 0 || !sink_->changeRate(argument)) return CmdNone;
            restartPosition_ = positionNow();
            sink_->flush(true);
            return CmdReload;
        case CmdOutputChanged:
            restartPosition_ = positionNow();
            sink_->flush(true);
            sink_->outputChanged();
            return CmdReload;
        case CmdToggleMute:
        case CmdSoloPlay:
        case CmdMuteClear:
            if (muteCommand(code, argument) == CmdJump) jumped = true;
            return CmdNone;
        default:
            return CmdNone;  // codes without a meaning here are accepted and ignored
    }
}

int Player::pollCommands() {
    bool jumped = false;
    for (;;) {
        if (break_.load(std::memory_order_relaxed)) return CmdQuit;
        int32_t argument = 0;
        const int code = readCommand(argument);
        if (code == CmdNone) {
            if (!paused_) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            continue;
        }
        const int result = handleCommand(code, argument, jumped);
        if (result != CmdNone) return result;
    }
    return jumped ? CmdJump : CmdNone;
}

int Player::pollLoadingCommands(bool fromStandardInput) {
    if (fromStandardInput) return CmdNone;
    int32_t argument = 0;
    const int code = readCommand(argument);
    switch (code) {
        case CmdNone:
            return CmdNone;
        case CmdTogglePause:
            paused_ = !paused_;
            notify(NoticePause, false, paused_ ? 1 : 0, songSeconds(restartPosition_));
            return CmdNone;
        case CmdChangeVolume:
            changeVolume(argument);
            return CmdNone;
        case CmdNoOperation:
            return CmdNone;
        case CmdSyncRestart:
            sink_->flush(true);
            return CmdNone;
        case CmdChangeRate:
            return argument > 0 && sink_->changeRate(argument) ? CmdReload : CmdNone;
        case CmdOutputChanged:
            sink_->outputChanged();
            return CmdReload;
        default:
            return code;
    }
}

bool Player::commandWaiting() {
    if (break_.load(std::memory_order_relaxed)) return true;
    if (waiting_.code == CmdNone) waiting_.code = control_->read(waiting_.argument);
    return waiting_.code != CmdNone;
}

int Player::readCommand(int32_t& argument) {
    if (waiting_.code == CmdNone) return control_->read(argument);
    argument = waiting_.argument;
    return std::exchange(waiting_.code, CmdNone);
}

int Player::drainOutput(bool soft) {
    for (;;) {
        const FlushResult flushed = soft ? sink_->softFlush() : sink_->flush(false);
        if (flushed == FlushResult::Done) return CmdNone;
        if (flushed == FlushResult::Failed) return CmdError;
        // The queue stopped for a command. A change of the controls lets the drain go on; a
        // command that moved the song (a seek, a transposition, a pause that has ended) dropped
        // what was queued, and the song goes on from where it is now; a command that ends the
        // song ends it.
        const int polled = pollCommands();
        if (polled == CmdJump) return CmdJump;
        if (polled != CmdNone) {
            sink_->flush(true);
            return polled;
        }
    }
}

void Player::runDueNotices() {
    const int64_t heard = heardPosition();
    if (heard >= 0) trace_.runDue(heard);
}

int64_t Player::framesToNextNotice() {
    if (trace_.size() == 0) return -1;
    const int64_t heard = heardPosition();
    if (heard < 0) return -1;
    return std::max<int64_t>(0, trace_.nextDue() - heard);
}

}  // namespace svt
