#pragma once
// The composition root: one object per subsystem, all belonging to one engine. Two
// engines in one process share nothing mutable, so tests and parallel conversions may
// create as many as they like. Subsystems receive references to what they need from here.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"
#include "effects/effects.h"
#include "instruments/InstrumentBanks.h"
#include "instruments/SoundFontRegistry.h"
#include "output/AudioQueue.h"
#include "output/Outputs.h"
#include "player/Player.h"
#include "player/PlayerCommands.h"
#include "song/EngineSettings.h"
#include "song/SongInput.h"
#include "synth/FixedNoteInterpolator.h"
#include "synth/Synthesis.h"
#include "synth/Synthesizer.h"

namespace svt {

// What an engine starts with besides its settings: how its MP3 and compressed files are
// encoded, what every song gets from its first sample and its master volume.
struct EngineSetup {
    output::Mp3Settings mp3;
    output::CodecSettings codecs;
    PlayerOptions player;
    int amplification = PlayerControls{}.amplification;
};

class Engine {
  public:
    explicit Engine(EngineSettings settings = {}, const EngineSetup& setup = {});
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    const EngineSettings& settings() const { return settings_; }
    SongInput& songInput() { return songInput_; }
    // The engine's random source; the player seeds it from each song.
    EngineRandom& random() { return synthesizer_.random(); }

    SoundFontRegistry& fonts() { return fonts_; }
    InstrumentBanks& banks() { return banks_; }
    Player& player() { return player_; }
    Synthesis& synthesis() { return synthesizer_; }
    Synthesizer& synthesizer() { return synthesizer_; }
    effects::SystemEffects& effects() { return effects_; }
    // The user's settings the synthesizer reads while it plays (transposition, tempo, volume,
    // muted channels); the player resets them at every song start.
    PlayerControls& controls() { return controls_; }

    // Makes `fileName` the engine's SoundFont and indexes it, so songs sound with its
    // instruments. The error names the file and the reason; the engine then stays without it.
    Status loadSoundFont(const std::string& fileName);
    output::Outputs& outputs() { return outputs_; }
    output::AudioQueue& audioQueue() { return queue_; }

    // The front-end; a quiet one (no commands, notices dropped) until one is set. It must
    // outlive its use by the engine.
    void setControl(ControlInterface& control) { player_.setControl(control); }

    // Makes the output named by `text` ("w", "w8U", ...) current; false when unknown.
    bool selectOutput(std::string_view text);
    output::OutputDevice& output() { return outputs_.at(current_); }
    // Opens the current output at the engine's rate and puts the audio queue in front of it.
    // 0, or -1 with the output's message in outputMessage().
    int openOutput();
    int closeOutput();
    std::string outputMessage() { return output().lastMessage(); }

    // Plays one song into the open output; a PlayerCommand result (CmdTuneEnd when it ended).
    int playFile(const std::string& fileName, double timeRatio = 1.0) {
        return player_.playFile(fileName, timeRatio);
    }

  private:
    // Declared first: every subsystem below reads it.
    const EngineSettings settings_;
    SongInput songInput_;
    FixedNoteInterpolator fixedNotes_;
    SoundFontRegistry fonts_;
    InstrumentBanks banks_;
    QuietControl quiet_;
    PlayerControls controls_;
    effects::SystemEffects effects_;
    Synthesizer synthesizer_;
    Player player_;
    output::Outputs outputs_;
    output::AudioQueue queue_;
    size_t current_ = output::Outputs::kWav;
    bool outputOpen_ = false;
};

}  // namespace svt
