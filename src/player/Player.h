#pragma once
// The playback loop: one song's events become audio. The loop renders everything up to an
// event's sample time before applying the event, so events act on the exact sample; audio is
// handed on in blocks of kBlockFrames frames; between blocks commands are polled and the
// position is reported. The sounding part (channels, voices, mixing) is behind Synthesis; the
// device behind AudioSink. Results are PlayerCommand codes: CmdTuneEnd at a normal end.

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "base/Constants.h"
#include "player/PlayerCommands.h"
#include "player/TraceQueue.h"
#include "player/VoiceBudget.h"
#include "song/SongEvent.h"
#include "song/SongInfo.h"
#include "synth/Synthesis.h"

namespace svt {

class SongInput;
class InstrumentBanks;

struct PlayerOptions {
    // Key codes (sharps, plus 16 for minor): the key assumed at song start instead of the
    // song's own, and the key every song is transposed to.
    std::optional<int> initialKeySignature;
    std::optional<int> forcedKeySignature;
    // Temperament types whose channels are not heard (bit t for types 0..3, bit 4 + u for the
    // user temperaments 0x40 + u); 0: temperaments mute nothing.
    uint32_t temperamentMute = 0;
    // What a front-end gives every song from its first sample on (a converter's command line):
    // semitones of transposition and channels not heard. While a song plays the same controls
    // change through commands.
    int startKeyOffset = 0;
    uint32_t startMuteMask = 0;
    // Live output that falls behind sheds released voices when the device queue holds less
    // than this many milliseconds; -1 (the default) judges by the queue's own size, 0 never.
    int reductionThreshold = -1;
    // The voice limit follows what the machine has kept up with.
    bool adaptivePolyphony = true;
    // Linear interpolation throughout; without it, only while live output falls behind.
    bool reduceQuality = false;
    // Events arrive as they are played (a stream, not a file): the end of a song plays out
    // briefly and the voice reduction acts at once, without statistics.
    bool realTimeMode = false;
};

class Player final : public AudioQueueHooks, private SynthesisListener {
  public:
    // Every song ends with this much silence after its last sound.
    static constexpr int kEndSilenceSeconds = 1;

    // `banks` may be null (nothing is loaded: a silent synthesizer needs no instruments).
    // `controls` are the user's settings the synthesis reads while it renders; the player keeps
    // its own when none are given.
    Player(SongInput& input, InstrumentBanks* banks, Synthesis& synthesis,
           ControlInterface& control, PlayerControls* controls = nullptr);
    ~Player() override;
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    void setSink(AudioSink* sink) { sink_ = sink; }
    void setControl(ControlInterface& control) {
        control_ = &control;
        waiting_ = {};
    }
    PlayerOptions& options() { return options_; }
    PlayerControls& controls() { return controls_; }

    // Loads, plays and frees one song; `timeRatio` is the song's tempo setting (1.0 = as
    // written, below 1 faster). Repeats while the result is CmdReload. Memory running out on
    // the way fails this song (CmdError, the reason in lastError()), not the program.
    int playFile(const std::string& fileName, double timeRatio = 1.0);
    // The event loop of one song whose events are already in sample time and end with
    // EV_END_OF_SONG.
    int playEvents(std::span<const SongEvent> events, int64_t totalSamples);

    // Puts the player into the state it has at `position` without rendering.
    void seek(int64_t position);
    // Drops the queued audio and seeks to the position heard now; -1 when the device cannot
    // tell and `onlyIfHeard` is set.
    int64_t resynchronise(bool onlyIfHeard);

    // The tempo CmdSetTempo's argument is measured against: the original tempo of the playing
    // entry as the front-end shows it. 100 unless set, so the argument reads as a percentage.
    void setReferenceTempo(int tempo) { referenceTempo_ = tempo > 0 ? tempo : 100; }
    // The voice limit a song starts with and CmdVoiceIncrease brings back.
    void setRememberedVoiceLimit(int voices) { voiceBudget_.setRemembered(voices); }
    int rememberedVoiceLimit() const { return voiceBudget_.remembered(); }
    bool paused() const { return paused_; }
    int64_t restartPosition() const { return restartPosition_; }

    // Reads one command while a song loads: pause, volume and output changes are handled,
    // every other code is returned (a final one aborts the load). Nothing is read from a song
    // that comes from standard input, whose reader must not be interrupted.
    int pollLoadingCommands(bool fromStandardInput = false);

    // Set from another thread when the program shuts down: the song ends after this block.
    void requestBreak() { break_.store(true, std::memory_order_relaxed); }

    int64_t currentSample() const { return currentSample_; }
    int64_t heardPosition();
    int tempo() const { return tempo_; }
    // Why the last playFile returned CmdError, for the user.
    const std::string& lastError() const { return lastError_; }
    TraceQueue& traceQueue() { return trace_; }

    // AudioQueueHooks
    bool commandWaiting() override;
    void runDueNotices() override;
    int64_t framesToNextNotice() override;
    void dropNotices() override { trace_.clear(); }
    bool tracing() override { return control_->traces(); }

  private:
    int playSong(const std::string& fileName, double timeRatio);
    // SynthesisListener: NoticeNote and NoticePanning, heard with their block.
    void voiceChanged(VoiceStatus status, int channel, int note, int velocity) override;
    void panningChanged(int channel, int panning) override;
    // The channel's notices, in the order a controller reset sends them, carrying its state.
    void channelNotices(int channel, bool deferred);

    int applyEvent(const SongEvent& event);
    void applyToChannels(const SongEvent& event, bool sounding);
    int render(int64_t frames);
    int renderBlockPart(int frames);
    // After each block for a live output: the interpolation and the voices it can afford.
    void adaptToQueue();
    int playOutEnd();
    int endOfSongScan() const;
    // The next command: the one the output's wait found waiting, else the front-end's.
    int readCommand(int32_t& argument);
    int pollCommands();
    int handleCommand(int code, int32_t argument, bool& jumped);
    // Flushes the output, waiting until it has played everything (or, `soft`, until it has
    // taken everything); commands that come meanwhile are handled. CmdNone, CmdError when the
    // device failed, CmdJump when a command moved the song (what was queued is dropped), or a
    // command's result that ends the song or reloads it.
    int drainOutput(bool soft);
    int changeTimeRatio(double ratio);
    void changeVolume(int32_t delta);
    int muteCommand(int code, int32_t channel);
    void forceKeySignature();
    // The tonic the temperaments are laid out for, from a key code and the transposition.
    void recomputeTemperamentIndex(int keyCode);
    void temperamentMute(int channel, int type);
    void resetSynthesis();
    // The sample the output has heard, or when it cannot tell, the first one not handed to it.
    int64_t positionNow();
    int64_t scaledTotal() const;
    void timeRatioNotice();
    int64_t sampleTimeOf(const SongEvent& event) const;
    int rate() const;

    void notify(int code, bool deferred, int32_t a1 = 0, int32_t a2 = 0, int32_t a3 = 0,
                int32_t a4 = 0);
    // NoticeProgram: channel, program, the instrument's name (in the notice's text) and bank.
    void programNotice(int channel, bool deferred);
    // Now, or when its sample is heard (deferred, for a front-end that traces).
    void deliver(const PlayerNotice& notice, bool deferred);
    void timeNotice();
    int32_t songSeconds(int64_t samples) const;

    SongInput& input_;
    InstrumentBanks* banks_;
    Synthesis& synthesis_;
    ControlInterface* control_;
    AudioSink* sink_ = nullptr;
    PlayerOptions options_;
    PlayerControls ownControls_;
    PlayerControls& controls_;
    TraceQueue trace_;

    std::span<const SongEvent> events_;
    size_t index_ = 0;
    bool moved_ = false;        // the current event was set by a seek: the loop must not advance
    int64_t totalSamples_ = 0;  // at a time ratio of 1
    SongInfo* song_ = nullptr;  // the record of the playing file
    uint32_t songSeed_ = 1;     // the random source starts from it at every seek
    int64_t currentSample_ = 0;
    int64_t restartPosition_ = 0;
    bool checkEnd_ = false;
    bool paused_ = false;
    struct WaitingCommand {
        int code = CmdNone;
        int32_t argument = 0;
    } waiting_;  // read while the output waited, not yet handled
    int referenceTempo_ = 100;
    int tempo_ = 500000;
    int systemMode_ = SYSTEM_GM_OFF;  // the mode a seek returns to
    int32_t lastSeconds_ = -1;
    int lastVoices_ = -1;
    VoiceBudget voiceBudget_;
    std::atomic<bool> break_{false};
    std::string lastError_;

    std::array<int32_t, 2 * kBlockFrames> block_{};
    int buffered_ = 0;
    // While the end of a song plays out: the loudest value rendered since the last look, and
    // the fade that ends a tail that went on too long (its length; 0: none).
    bool playingOut_ = false;
    int64_t tailPeak_ = 0;
    // The loudest value of the song before its end, kept for a live output only: its tail is
    // measured against it.
    bool trackSongPeak_ = false;
    int64_t songPeak_ = 0;
    int64_t fadeFrames_ = 0;
    int64_t fadeAt_ = 0;
};

}  // namespace svt
