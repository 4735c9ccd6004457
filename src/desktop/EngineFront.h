#pragma once
// The desktop program's engine behind the FrontEngine interface: the live and file outputs,
// one song played with the entry's settings, the probe that lists files, the device volume.

#include <mutex>

#include "app/Engine.h"
#include "desktop/FrontControl.h"
#include "song/SongInput.h"

namespace svt {

class EngineFront final : public FrontEngine {
  public:
    explicit EngineFront(Engine& engine, Language language = Language::English);

    int openOutput() override;
    void closeOutput() override;
    bool outputOpen() const override { return open_; }
    std::string outputMessage() override { return engine_.outputMessage(); }
    void selectOutput(OutputKind output) override;
    OutputKind selectedOutput() const override { return selected_; }
    std::string outputFileName() const override;
    void setOutputFile(const std::string& name) override;
    std::string lastOutputPath() const override;
    int play(const Playlist::Entry& entry, int userTranspose) override;
    int outputRateHz() const override { return engine_.settings().outputRateHz; }
    // The names of the tracks that play each channel.
    const std::array<std::string, 16>* trackNames(const std::string& path) override;
    std::optional<SongProbeResult> probe(const std::string& path) override;
    int volumePercent() override;
    void setVolumePercent(int percent) override;
    bool changeSoundFont(const std::string& path) override;
    void requestBreak() override { engine_.player().requestBreak(); }

  private:
    Engine& engine_;
    const Language language_;
    // Songs are probed into an event list of their own, so that listing files while a song
    // plays leaves the playing song's events alone.
    SongInput probeInput_;
    // The window thread sets the volume while the engine thread opens and closes the device.
    std::mutex deviceLock_;
    bool open_ = false;
    OutputKind selected_ = OutputKind::Live;
    bool playing_ = false;  // engine thread only
    std::array<std::string, 16> channelNames_;
};

// What both desktop programs do with their engine before the window opens.
// The SoundFont the user chose last (`chosen`, may be empty), else the program's default: the
// name of the font that loaded (empty when none did) and the reason a font failed, the chosen
// one's first, so that the window can say why the default plays.
struct StartFont {
    std::string name;
    std::string problem;
};
StartFont loadStartFont(Engine& engine, const std::string& chosen);
// The live output when a device answers, else the first file output; the "SVT" environment
// variable may preselect one.
OutputKind startOutput(Engine& engine);

// Volume of a device side pair 0..65535 as the volume bar shows it, and back.
int volumePercentOf(uint16_t left, uint16_t right);
uint16_t deviceVolumeOf(int percent);

}  // namespace svt
