// FrontControl's WindowControl side: what the window thread calls. Each call queues commands
// for the engine thread or writes the few values both threads share; none waits for the
// engine.
#include <algorithm>
#include <climits>

#include "desktop/FrontControl.h"

namespace svt {
namespace {

int mod12(int value) {
    return ((value % 12) + 12) % 12;
}

}  // namespace

void FrontControl::editCurrent(const std::function<void(SongSettings&)>& edit) {
    std::lock_guard guard(playlistLock_);
    if (Playlist::Entry* entry = playlist_.current()) edit(entry->settings);
}

UiOutcome FrontControl::pressPlay() {
    if (playlistCount_.load() == 0) return UiOutcome::NoMidiFileOpen;
    if (playing_.load()) {
        if (paused_.load()) post(CmdTogglePause);
        return UiOutcome::None;
    }
    postOutput(OutputKind::Live);
    flags_ &= ~kFlagCurrentSongOnly;
    singleFile_ = false;
    post(FcReinitialise);
    post(CmdLoadFile);
    return UiOutcome::None;
}

void FrontControl::pressPause() {
    post(CmdTogglePause);
}

void FrontControl::pressStop() {
    post(CmdStop);
}

void FrontControl::pressPrevious() {
    const bool wasPlaying = playing_.load();
    post(CmdReallyPrevious);
    if (wasPlaying) post(CmdLoadFile);
}

void FrontControl::pressNext() {
    const bool wasPlaying = playing_.load();
    post(CmdEndSong);
    if (wasPlaying) post(CmdLoadFile);
}

bool FrontControl::pressLoop() {
    return ((flags_ ^= kFlagRepeat) & kFlagRepeat) != 0;
}

void FrontControl::positionReleased(int seconds) {
    const int64_t position = static_cast<int64_t>(seconds) * engine_.outputRateHz();
    post(CmdJump, static_cast<int32_t>(std::min<int64_t>(position, INT32_MAX)));
}

int FrontControl::transposeReleased(int barPosition) {
    const int shift = std::clamp(barPosition, 0, 48) - 24;
    userTranspose_ = shift;
    int originalKey = -1;
    {
        std::lock_guard guard(playlistLock_);
        if (Playlist::Entry* entry = playlist_.current()) {
            entry->settings.transposition = shift;
            originalKey = entry->settings.originalKey;
        }
    }
    return keyItemFollowingTranspose(shift, originalKey);
}

std::optional<int> FrontControl::keyBoxChosen(int item) {
    if (playlistCount_.load() == 0) return std::nullopt;
    int originalKey = -1;
    {
        std::lock_guard guard(playlistLock_);
        if (const Playlist::Entry* entry = playlist_.current())
            originalKey = entry->settings.originalKey;
    }
    if (originalKey < 0) return std::nullopt;
    const int shift = shiftForKeyItem(item, originalKey);
    if (mod12(shift) == mod12(userTranspose_.load())) return std::nullopt;
    userTranspose_ = shift;
    editCurrent([shift](SongSettings& s) { s.transposition = shift; });
    return shift;
}

void FrontControl::tempoReleased(int bpm) {
    post(CmdSetTempo, bpm);
    editCurrent([bpm](SongSettings& s) { s.newTempo = bpm; });
}

void FrontControl::muteClicked(int channel, bool muted) {
    if (channel < 0 || channel >= kChannels) return;
    editCurrent([&](SongSettings& s) { s.mute[channel] = muted ? 1 : 0; });
}

void FrontControl::instrumentChosen(int channel, int item) {
    if (channel < 0 || channel >= kChannels) return;
    editCurrent([&](SongSettings& s) { s.program[channel] = item; });
}

UiOutcome FrontControl::pressKey(ShortcutKey key) {
    switch (key) {
        case ShortcutKey::A:
        case ShortcutKey::H:
        case ShortcutKey::Q:
        case ShortcutKey::VolumeUp:
        case ShortcutKey::VolumeDown:
        case ShortcutKey::Open:
        case ShortcutKey::Help:
            break;
        default:
            if (playlistCount_.load() == 0) return UiOutcome::ShortcutsNeedAFile;
    }
    // The live keys change only a song that is heard: a file being written stays as its
    // settings say, and between songs the panel's own controls are there.
    const bool heard = playing_.load() && !converting();
    switch (key) {
        case ShortcutKey::Space:
        case ShortcutKey::MediaPlay:
            if (playing_.load()) {
                post(CmdTogglePause);
            } else {
                // As the Play button: a song started by a key is heard, not converted.
                flags_ &= ~kFlagCurrentSongOnly;
                singleFile_ = false;
                postOutput(OutputKind::Live);
                post(CmdLoadFile);
            }
            return UiOutcome::None;
        case ShortcutKey::A:
            return UiOutcome::TogglePlaylist;
        case ShortcutKey::H:
            return UiOutcome::ShowShortcuts;
        case ShortcutKey::N:
        case ShortcutKey::MediaNext:
            pressNext();
            return UiOutcome::None;
        case ShortcutKey::P:
        case ShortcutKey::MediaPrevious:
            pressPrevious();
            return UiOutcome::None;
        case ShortcutKey::Q:
            return UiOutcome::Quit;
        case ShortcutKey::S:
        case ShortcutKey::MediaStop:
            post(CmdStop);
            return UiOutcome::None;
        case ShortcutKey::SeekBack:
        case ShortcutKey::SeekForward:
            // The engine thread knows what is heard; it turns the step into a position.
            if (heard)
                post(FcSeekBy, key == ShortcutKey::SeekBack ? -kSeekStepSeconds : kSeekStepSeconds);
            return UiOutcome::None;
        case ShortcutKey::VolumeUp:
        case ShortcutKey::VolumeDown:
            setVolumePercent(volumePercent() + (key == ShortcutKey::VolumeUp
                                                    ? kVolumeStepPercent
                                                    : -kVolumeStepPercent));
            return UiOutcome::None;
        case ShortcutKey::TransposeUp:
            if (heard) post(CmdKeyUp, 1);
            return UiOutcome::None;
        case ShortcutKey::TransposeDown:
            if (heard) post(CmdKeyDown, -1);
            return UiOutcome::None;
        case ShortcutKey::Faster:
            if (heard) post(CmdSpeedUp, 1);
            return UiOutcome::None;
        case ShortcutKey::Slower:
            if (heard) post(CmdSpeedDown, -1);
            return UiOutcome::None;
        case ShortcutKey::Open:
        case ShortcutKey::Help:
            // The window's own: the model opens the dialog or the guide.
            return UiOutcome::None;
    }
    return UiOutcome::None;
}

void FrontControl::openFiles(const std::vector<std::string>& paths) {
    if (dialogBusy_.load() || paths.empty()) return;
    if (playing_.load()) post(CmdStop);
    dialogBusy_ = true;
    post(FcOpenFiles, paths);
}

void FrontControl::openListFile(const std::string& path) {
    if (dialogBusy_.load()) return;
    if (playing_.load()) post(CmdStop);
    dialogBusy_ = true;
    post(FcOpenListFile, std::vector<std::string>{path});
}

void FrontControl::dropFiles(const std::vector<std::string>& paths) {
    if (dialogBusy_.load() || paths.empty()) return;
    if (playing_.load() && !compact_) post(CmdStop);
    dialogBusy_ = true;
    post(FcFilesDropped, paths);
}

void FrontControl::changeSoundFont(const std::string& path) {
    // Instruments are swapped only between songs.
    if (playing_.load()) post(CmdStop);
    post(FcChangeSoundFont, std::vector<std::string>{path});
}

void FrontControl::savePlaylist(const std::string& path) {
    if (dialogBusy_.load()) return;
    dialogBusy_ = true;
    post(FcSavePlaylist, std::vector<std::string>{path});
}

void FrontControl::playIndex(int index) {
    // As the Play button: the song is heard, whatever a conversion chose before.
    flags_ &= ~kFlagCurrentSongOnly;
    singleFile_ = false;
    postOutput(OutputKind::Live);
    post(FcPlayIndex, index);
}

void FrontControl::removeEntry(int index) {
    post(FcRemoveEntry, index);
    post(FcRefreshList);
}

RandomOutcome FrontControl::toggleRandom() {
    if (playlistCount_.load() == 1) return RandomOutcome::OneTitle;
    return ((flags_ ^= kFlagRandom) & kFlagRandom) ? RandomOutcome::On : RandomOutcome::Off;
}

UiOutcome FrontControl::startConversion(OutputKind output, const std::string& path, bool single,
                                        bool fromFirst) {
    if (playlistCount_.load() == 0) return UiOutcome::NoMidiFileOpen;
    if (converting()) return UiOutcome::None;
    if (output == OutputKind::Live || static_cast<int>(output) >= kOutputKinds)
        return UiOutcome::None;
    const bool wasPlaying = playing_.load();
    // A song heard live ends first; its output is not the file's.
    if (wasPlaying) post(CmdStop);
    if (single)
        flags_ |= kFlagCurrentSongOnly;
    else
        flags_ &= ~kFlagCurrentSongOnly;
    singleFile_ = single;
    post(FcReinitialise);
    postOutput(output);
    if (!path.empty()) post(FcSetOutputFile, std::vector<std::string>{path});
    if (fromFirst)
        post(FcPlayIndex, 0);
    else
        post(CmdLoadFile);
    selectedOutput_ = output;
    return UiOutcome::None;
}

UiOutcome FrontControl::convertCurrent(OutputKind output) {
    return startConversion(output, {}, true, false);
}

UiOutcome FrontControl::convertPlaylist(OutputKind output) {
    return startConversion(output, {}, false, true);
}

UiOutcome FrontControl::convertTo(OutputKind output, const std::string& path) {
    if (path.empty()) return UiOutcome::None;
    return startConversion(output, path, true, false);
}

void FrontControl::exportMediaPlayer(const std::string& path, std::optional<OutputKind> output) {
    if (dialogBusy_.load()) return;
    dialogBusy_ = true;
    post(QueuedCommand{FcExportMediaPlayer, 0, {{path}, output.value_or(selectedOutput_.load())}});
}

void FrontControl::clearPlaylist() {
    post(FcClearPlaylist);
}

void FrontControl::closeCurrentFile() {
    post(FcRemoveEntry, -1);
    post(FcRefreshList);
}

void FrontControl::setVolumePercent(int percent) {
    engine_.setVolumePercent(std::clamp(percent, 0, 100));
}

std::string FrontControl::optionText() const {
    static constexpr struct {
        uint32_t bit;
        char letter;
    } kLetters[] = {{kFlagRandom, 'r'}, {1u << 2, 's'}, {1u << 3, 'a'}, {1u << 4, 'x'},
                    {1u << 5, 'd'},     {1u << 6, 'u'}, {1u << 7, 'R'}, {1u << 8, 'C'}};
    std::string text = "1t";
    const uint32_t flags = flags_.load();
    for (const auto& entry : kLetters)
        if (flags & entry.bit) text += entry.letter;
    return text;
}

}  // namespace svt
