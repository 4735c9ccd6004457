#include "desktop/FrontControl.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <filesystem>

#include "desktop/MediaPlayerExport.h"
#include "platform/Paths.h"

namespace svt {
namespace {

// Leaves the dispatch loop (CmdQuit, or the end of the list with kFlagEndAfterList).
constexpr int kLeaveLoop = -1000;

int mod12(int value) {
    return ((value % 12) + 12) % 12;
}

}  // namespace

FrontControl::FrontControl(FrontEngine& engine, Language language, uint32_t randomSeed)
    : engine_(engine),
      language_(language),
      panel_(language),
      playlist_([this](const std::string& path) { return engine_.probe(path); }, randomSeed),
      selectedOutput_(engine.selectedOutput()) {
    publishPlaylist(true);
}

FrontControl::~FrontControl() {
    if (engineThread_.joinable()) {
        post(CmdQuit);
        engineThread_.join();
    }
}

void FrontControl::open(std::vector<std::string> files) {
    if (engineThread_.joinable()) return;
    engineRunning_ = true;
    engineThread_ = std::thread([this, files = std::move(files)] {
        runPlaylist(files);
        engineRunning_ = false;
    });
}

void FrontControl::close() {
    if (engineThread_.joinable()) engineThread_.join();
}

bool FrontControl::shutDown(int boundMs) {
    using namespace std::chrono;
    post(CmdStop);
    for (int i = 0; i < 5 && playing_.load(); ++i) std::this_thread::sleep_for(200ms);
    post(CmdQuit);
    const auto end = steady_clock::now() + milliseconds(boundMs);
    while (engineRunning_.load()) {
        if (steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(10ms);
    }
    close();
    return true;
}

// What runs on the engine thread.

bool FrontControl::hasPlayable() const {
    for (int i = 0; i < playlist_.count(); ++i)
        if (playlist_.entry(i).isSong) return true;
    return false;
}

void FrontControl::refreshCount() {
    playlistCount_ = playlist_.count();
}

void FrontControl::publish() {
    if (panel_.view().changed == 0) return;
    const bool tell = mailbox_.publish(panel_.view());
    panel_.view().changed = 0;
    if (tell && view_) view_->panelChanged();
}

void FrontControl::publishPlaylist(bool contentsChanged) {
    auto next = std::make_shared<PlaylistSnapshot>();
    {
        std::lock_guard guard(snapshotLock_);
        if (contentsChanged || !snapshot_) {
            next->lines = makePlaylistLines(playlist_, language_);
            next->contentsGeneration = ++contentsGeneration_;
        } else {
            next->lines = snapshot_->lines;
            next->contentsGeneration = snapshot_->contentsGeneration;
        }
        next->current = playlist_.empty() ? -1 : playlist_.currentIndex();
        next->totalSeconds = playlist_.totalSeconds();
        snapshot_ = std::move(next);
    }
    if (view_) view_->playlistChanged();
}

std::shared_ptr<const PlaylistSnapshot> FrontControl::playlistSnapshot() const {
    std::lock_guard guard(snapshotLock_);
    return snapshot_;
}

void FrontControl::showCurrentEntry() {
    const Playlist::Entry* entry = playlist_.current();
    if (entry == nullptr) {
        publishPlaylist(false);
        return;
    }
    panel_.setTitleAndPath(shownTitle(entry->title, entry->isSong, language_), entry->path);
    userTranspose_ = entry->settings.transposition;
    panel_.showSongSettings(*entry);
    publish();
    publishPlaylist(false);
}

void FrontControl::runPlaylist(const std::vector<std::string>& files) {
    {
        std::lock_guard guard(playlistLock_);
        if (playlist_.addNames(files, true) > 0) publishPlaylist(true);
        showCurrentEntry();
        refreshCount();
    }
    playing_ = false;
    int code = CmdNone;
    int32_t argument = 0;
    bool pending = false;
    if (firstPass_ && hasPlayable() && (flags_.load() & kFlagStartAtOnce)) {
        code = CmdLoadFile;
        pending = true;
    }
    firstPass_ = false;
    playlist_.resetRandomOrder();
    for (;;) {
        if (!pending) {
            if (engine_.outputOpen()) engine_.closeOutput();
            code = queue_.get(true, argument);
        }
        pending = false;
        const int next = dispatch(code, argument);
        if (next == kLeaveLoop) return;
        if (next != CmdNone) {
            code = next;
            argument = 0;
            pending = true;
            continue;
        }
        if (reinitialiseDeferred_) reinitialiseDeferred_ = false;
        carryOutDeferred();
    }
}

void FrontControl::carryOutDeferred() {
    const std::vector<QueuedCommand> waiting = std::move(deferred_);
    deferred_.clear();
    for (const QueuedCommand& c : waiting) carryOut(c.code, c.argument);
}

int FrontControl::dispatch(int code, int32_t argument) {
    switch (code) {
        case CmdNone:
            std::this_thread::sleep_for(std::chrono::seconds(1));
            return CmdNone;
        case CmdQuit:
            if (engine_.outputOpen()) engine_.closeOutput();
            return kLeaveLoop;
        case CmdStop:
            playlist_.resetRandomOrder();
            return CmdNone;
        case CmdTogglePause:
            paused_ = !paused_.load();
            return CmdNone;
        case CmdReallyPrevious: {
            std::lock_guard guard(playlistLock_);
            playlist_.resetRandomOrder();
            if (playlist_.previous(skipUnplayable())) showCurrentEntry();
            return CmdNone;
        }
        case CmdEndSong: {
            std::lock_guard guard(playlistLock_);
            if (playlist_.next(skipUnplayable())) showCurrentEntry();
            return CmdNone;
        }
        case CmdLoadFile:
            return loadAndPlay();
        case CmdError:
        case CmdTuneEnd:
            if (flags_.load() & kFlagCurrentSongOnly) return CmdNone;
            return nextEntry();
        case CmdNext:
            return nextEntry();
        default:
            if (isFrontCommand(code)) return carryOut(code, argument);
            return CmdNone;
    }
}

int FrontControl::nextEntry() {
    const uint32_t flags = flags_.load();
    const bool skip = skipUnplayable();
    std::lock_guard guard(playlistLock_);
    if (!hasPlayable()) {
        if (flags & kFlagEndAfterList) {
            if (engine_.outputOpen()) engine_.closeOutput();
            return kLeaveLoop;
        }
        return CmdNone;
    }
    const bool moved = (flags & kFlagRandom) ? playlist_.randomNext(skip) : playlist_.next(skip);
    if (moved) {
        showCurrentEntry();
        return CmdLoadFile;
    }
    if (flags & kFlagEndAfterList) {
        if (engine_.outputOpen()) engine_.closeOutput();
        return kLeaveLoop;
    }
    if (flags & kFlagRepeat) {
        if (flags & kFlagRandom) {
            playlist_.resetRandomOrder();
            playlist_.randomNext(skip);
        } else {
            playlist_.select(0, true);
        }
        showCurrentEntry();
        return CmdLoadFile;
    }
    if (flags & kFlagRandom) playlist_.resetRandomOrder();
    PlayerNotice finished;
    finished.code = NoticeListFinished;
    notify(finished);
    return CmdNone;
}

int FrontControl::loadAndPlay() {
    carryOutDeferred();
    Playlist::Entry entry;
    {
        std::lock_guard guard(playlistLock_);
        if (!hasPlayable() || playlist_.current() == nullptr) return CmdNone;
        entry = *playlist_.current();
    }
    playing_ = true;
    // Every song starts unpaused; a pause toggled between songs must not hold its first block.
    paused_ = false;
    if (!engine_.outputOpen() && engine_.openOutput() < 0) {
        playing_ = false;
        const std::string why = engine_.outputMessage();
        if (view_ && !why.empty()) view_->showMessage(FrontMessage::EngineError, why);
        return CmdNone;
    }
    panel_.setTitleAndPath(shownTitle(entry.title, entry.isSong, language_), entry.path);
    publish();
    const int result = engine_.play(entry, userTranspose_.load());
    if (flags_.load() & kFlagCurrentSongOnly) publishPlaylist(false);
    playing_ = false;
    paused_ = false;
    if (result == CmdError) {
        if (view_) {
            if (engine_.selectedOutput() != 0)
                view_->showMessage(FrontMessage::CouldNotCreate, engine_.outputFileName());
            else
                view_->showMessage(FrontMessage::CouldNotPlay, {});
        }
        // The compact window converts the rest of its songs; nobody is there to go on.
        return compact_ ? CmdError : CmdNone;
    }
    return result;
}

void FrontControl::post(int32_t code, int32_t argument) {
    const std::optional<QueuedCommand> dropped = queue_.put(code, argument);
    if (!dropped) return;
    switch (dropped->code) {
        case FcFilesDropped:
        case FcOpenFiles:
        case FcOpenListFile:
        case FcSavePlaylist:
        case FcExportMediaPlayer:
            dialogBusy_ = false;
            takeNames(dropped->argument);
            break;
        case FcSetOutputFile:
        case FcChangeSoundFont:
            takeNames(dropped->argument);
            break;
        default:
            break;
    }
}

int FrontControl::storeNames(std::vector<std::string> names) {
    std::lock_guard guard(namesLock_);
    const int32_t id = nextNamesId_++;
    names_[id] = std::move(names);
    return id;
}

std::vector<std::string> FrontControl::takeNames(int32_t id) {
    std::lock_guard guard(namesLock_);
    auto found = names_.find(id);
    if (found == names_.end()) return {};
    std::vector<std::string> names = std::move(found->second);
    names_.erase(found);
    return names;
}

int FrontControl::carryOut(int32_t code, int32_t argument) {
    const bool wasPlaying = playing_.load();
    // The output and the font change only between songs: a song that is playing (or that a
    // queued start has just begun) is stopped first, and the change follows once it has ended.
    // Its file is then abandoned as any song's that does not reach its end.
    const bool changesOutput =
        code == FcSetOutputFile || (code == FcSelectOutput && argument != engine_.selectedOutput());
    if (wasPlaying && (changesOutput || code == FcChangeSoundFont)) {
        deferred_.push_back({code, argument});
        return CmdStop;
    }
    switch (code) {
        case FcFilesDropped:
        case FcOpenFiles:
        case FcOpenListFile: {
            std::vector<std::string> names = takeNames(argument);
            if (code == FcOpenListFile && !names.empty()) {
                // The playlist field names the list file last opened or saved.
                panel_.setPlaylistFile(names.front());
                publish();
                for (auto& name : names) name = "@" + name;
            }
            // The files are read without the lock: the window's bars and boxes must not wait
            // for a large folder.
            std::vector<Playlist::Candidate> candidates = playlist_.probeNames(names, true);
            const std::vector<std::string> refused = Playlist::refusedNames(candidates);
            // A drop on the compact window joins its run: the song being converted goes on.
            const bool append = compact_ && code == FcFilesDropped;
            int added = 0;
            {
                std::lock_guard guard(playlistLock_);
                const int current = playlist_.currentIndex();
                added = playlist_.addProbed(std::move(candidates));
                if (append) playlist_.select(current, false);
                refreshCount();
                if (added > 0) {
                    publishPlaylist(true);
                    if (!append) showCurrentEntry();
                }
            }
            if (!refused.empty() && view_) {
                std::string lines;
                for (const std::string& line : refused) lines += (lines.empty() ? "" : "\n") + line;
                view_->showMessage(FrontMessage::NotSongs, lines);
            }
            if (added > 0) {
                PlayerNotice notice;
                notice.code = NoticeFilesAdded;
                notify(notice);
            }
            dialogBusy_ = false;
            if (code == FcFilesDropped && !append && added > 0 &&
                (flags_.load() & kFlagStartOnDrop))
                return CmdLoadFile;
            return CmdNone;
        }
        case FcSavePlaylist: {
            const std::vector<std::string> names = takeNames(argument);
            bool saved = false;
            if (!names.empty()) {
                std::lock_guard guard(playlistLock_);
                saved = playlist_.save(names.front(), language_).ok();
            }
            if (saved) {
                panel_.setPlaylistFile(names.front());
                publish();
            }
            if (!saved && view_) view_->showMessage(FrontMessage::FileNotFound, {});
            dialogBusy_ = false;
            return CmdNone;
        }
        case FcExportMediaPlayer: {
            const std::vector<std::string> names = takeNames(argument);
            dialogBusy_ = false;
            if (names.size() < 2) return CmdNone;
            std::vector<std::string> songs;
            {
                std::lock_guard guard(playlistLock_);
                songs.reserve(static_cast<size_t>(playlist_.count()));
                for (int i = 0; i < playlist_.count(); ++i)
                    songs.push_back(playlist_.entry(i).path);
            }
            const Status written =
                writeMediaPlayerList(names[0], songs, std::atoi(names[1].c_str()), language_);
            if (view_) {
                if (written.ok())
                    view_->mediaListWritten(names[0]);
                else
                    view_->showMessage(FrontMessage::ExportFailed, written.error().message);
            }
            return CmdNone;
        }
        case FcReinitialise:
            if (wasPlaying) {
                reinitialiseDeferred_ = true;
                return CmdStop;
            }
            return CmdNone;
        case FcRemoveEntry: {
            std::lock_guard guard(playlistLock_);
            if (playlist_.empty() || argument >= playlist_.count()) return CmdNone;
            const int index = argument < 0 ? playlist_.currentIndex() : argument;
            const bool wasCurrent = index == playlist_.currentIndex();
            playlist_.remove(index);
            refreshCount();
            publishPlaylist(true);
            if (playlist_.empty()) {
                panel_.reset();
                publish();
            } else {
                showCurrentEntry();
            }
            if (!wasPlaying || !wasCurrent) return CmdNone;
            // The song that was removed is not heard (or written) any longer.
            return playlist_.empty() ? CmdStop : CmdLoadFile;
        }
        case FcRefreshList: {
            std::lock_guard guard(playlistLock_);
            publishPlaylist(false);
            return CmdNone;
        }
        case FcRemoveDuplicates:
        case FcRemoveInvalid: {
            std::lock_guard guard(playlistLock_);
            const bool removed = code == FcRemoveDuplicates ? playlist_.removeDuplicates()
                                                            : playlist_.removeInvalid();
            refreshCount();
            publishPlaylist(true);
            return removed && wasPlaying ? CmdStop : CmdNone;
        }
        case FcPlayIndex: {
            std::lock_guard guard(playlistLock_);
            if (playlist_.select(argument, skipUnplayable())) {
                // The chosen song counts as played: the random order draws from the others.
                if (flags_.load() & kFlagRandom) playlist_.startRandomOrderAt(argument);
                showCurrentEntry();
            }
            return CmdLoadFile;
        }
        case FcClearPlaylist: {
            std::lock_guard guard(playlistLock_);
            playlist_.clear();
            refreshCount();
            panel_.reset();
            publish();
            publishPlaylist(true);
            return CmdStop;
        }
        case FcSelectOutput:
            engine_.selectOutput(argument);
            // A file output names each song's file after the song until told otherwise.
            engine_.setOutputFile({});
            selectedOutput_ = engine_.selectedOutput();
            return CmdNone;
        case FcSetOutputFile: {
            const std::vector<std::string> names = takeNames(argument);
            engine_.setOutputFile(names.empty() ? std::string() : names.front());
            return CmdNone;
        }
        case FcChangeSoundFont: {
            const std::vector<std::string> names = takeNames(argument);
            if (names.empty() || !view_) return CmdNone;
            if (engine_.changeSoundFont(names.front())) {
                panel_.setSoundFont(names.front());
                publish();
                view_->showMessage(FrontMessage::SoundFontChanged, names.front());
            } else {
                view_->showMessage(FrontMessage::SoundFontRefused, names.front());
            }
            return CmdNone;
        }
        default:
            return CmdNone;
    }
}

int FrontControl::readCommand(int32_t& argument) {
    const int32_t code = queue_.get(paused_.load(), argument);
    if (!isFrontCommand(code)) return code;
    const int result = carryOut(code, argument);
    argument = 0;
    return result;
}

void FrontControl::message(int type, int /*verbosity*/, const std::string& text) {
    if (type == 3 && view_) view_->showMessage(FrontMessage::EngineError, text);
}

void FrontControl::notify(const PlayerNotice& notice) {
    switch (notice.code) {
        case NoticePause:
            paused_ = notice.args[0] != 0;
            break;
        case NoticePlayEnd:
            paused_ = false;
            break;
        default:
            break;
    }
    PanelContext context;
    context.current = playlist_.current();
    context.outputRateHz = engine_.outputRateHz();
    if (notice.code == NoticeLoadingDone) context.trackNames = engine_.trackNames(loadingFile_);
    if (panel_.notify(notice, context)) publish();

    if (notice.code == NoticePlayEnd) {
        const int result = notice.args[0];
        if (compact_ && result == CmdStop) {
            if (view_) {
                view_->showMessage(FrontMessage::OperationCompleted, {});
                view_->closeWindow();
            }
        } else if (!compact_ && result == CmdTuneEnd && engine_.selectedOutput() != 0 &&
                   (singleFile_.load() ||
                    !playlist_.hasNext((flags_.load() & kFlagRandom) != 0, skipUnplayable()))) {
            conversionEnd();
        } else if (!compact_ && result == CmdStop && engine_.selectedOutput() != 0) {
            // A conversion the user stopped is over too: the next song started from the
            // playlist is heard, not written over a file beside it.
            post(FcSelectOutput, 0);
            singleFile_ = false;
        }
    } else if (notice.code == NoticeListFinished && compact_ && view_) {
        view_->showMessage(FrontMessage::OperationCompleted, {});
        view_->closeWindow();
    }
}

void FrontControl::conversionEnd() {
    ConversionEnd end;
    end.singleFile = singleFile_.load();
    // The desktop opens the file by a URL, which needs the whole path.
    end.lastOutputPath = engine_.lastOutputPath();
    if (!end.lastOutputPath.empty()) {
        std::error_code ec;
        const std::filesystem::path whole =
            std::filesystem::absolute(platform::fsPath(end.lastOutputPath), ec);
        if (!ec) end.lastOutputPath = platform::pathText(whole);
    }
    end.outputIndex = engine_.selectedOutput();
    end.tooLongForCd =
        !end.singleFile && tooLongForAudioCd(playlist_.totalSeconds(), end.outputIndex);
    // Repeat must not start the list again into the files.
    post(CmdStop);
    post(FcSelectOutput, 0);
    singleFile_ = false;
    if (view_) view_->conversionEnded(end);
}

// What runs on the window thread.

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
    settingsChanged_ = true;
    post(FcSelectOutput, 0);
    flags_ &= ~kFlagCurrentSongOnly;
    singleFile_ = false;
    if (settingsChanged_.exchange(false)) post(FcReinitialise);
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
    settingsChanged_ = true;
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
    const bool needsSong = key != ShortcutKey::A && key != ShortcutKey::H && key != ShortcutKey::Q;
    if (needsSong && playlistCount_.load() == 0) return UiOutcome::ShortcutsNeedAFile;
    switch (key) {
        case ShortcutKey::Space:
        case ShortcutKey::MediaPlay:
            if (playing_.load()) {
                post(CmdTogglePause);
            } else {
                // As the Play button: a song started by a key is heard, not converted.
                flags_ &= ~kFlagCurrentSongOnly;
                singleFile_ = false;
                post(FcSelectOutput, 0);
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
    }
    return UiOutcome::None;
}

void FrontControl::openFiles(const std::vector<std::string>& paths) {
    if (dialogBusy_.load() || paths.empty()) return;
    if (playing_.load()) post(CmdStop);
    dialogBusy_ = true;
    post(FcOpenFiles, storeNames(paths));
}

void FrontControl::openListFile(const std::string& path) {
    if (dialogBusy_.load()) return;
    if (playing_.load()) post(CmdStop);
    dialogBusy_ = true;
    post(FcOpenListFile, storeNames({path}));
}

void FrontControl::dropFiles(const std::vector<std::string>& paths) {
    if (dialogBusy_.load() || paths.empty()) return;
    if (playing_.load() && !compact_) post(CmdStop);
    dialogBusy_ = true;
    post(FcFilesDropped, storeNames(paths));
}

void FrontControl::changeSoundFont(const std::string& path) {
    // Instruments are swapped only between songs.
    if (playing_.load()) post(CmdStop);
    post(FcChangeSoundFont, storeNames({path}));
}

void FrontControl::savePlaylist(const std::string& path) {
    if (dialogBusy_.load()) return;
    dialogBusy_ = true;
    post(FcSavePlaylist, storeNames({path}));
}

void FrontControl::playIndex(int index) {
    // As the Play button: the song is heard, whatever a conversion chose before.
    flags_ &= ~kFlagCurrentSongOnly;
    singleFile_ = false;
    post(FcSelectOutput, 0);
    post(FcPlayIndex, index);
}

void FrontControl::removeEntry(int index) {
    post(FcRemoveEntry, index);
    post(FcRefreshList);
}

RandomOutcome FrontControl::toggleRandom() {
    settingsChanged_ = true;
    if (playlistCount_.load() == 1) return RandomOutcome::OneTitle;
    return ((flags_ ^= kFlagRandom) & kFlagRandom) ? RandomOutcome::On : RandomOutcome::Off;
}

UiOutcome FrontControl::startConversion(int output, const std::string& path, bool single,
                                        bool fromFirst) {
    if (playlistCount_.load() == 0) return UiOutcome::NoMidiFileOpen;
    if (converting()) return UiOutcome::None;
    if (output < 1 || output >= kOutputKinds) return UiOutcome::None;
    settingsChanged_ = true;
    const bool wasPlaying = playing_.load();
    // A song heard live ends first; its output is not the file's.
    if (wasPlaying) post(CmdStop);
    if (single)
        flags_ |= kFlagCurrentSongOnly;
    else
        flags_ &= ~kFlagCurrentSongOnly;
    singleFile_ = single;
    if (settingsChanged_.exchange(false)) post(FcReinitialise);
    post(FcSelectOutput, output);
    if (!path.empty()) post(FcSetOutputFile, storeNames({path}));
    if (fromFirst)
        post(FcPlayIndex, 0);
    else
        post(CmdLoadFile);
    selectedOutput_ = output;
    return UiOutcome::None;
}

UiOutcome FrontControl::convertCurrent(int output) {
    return startConversion(output, {}, true, false);
}

UiOutcome FrontControl::convertPlaylist(int output) {
    return startConversion(output, {}, false, true);
}

UiOutcome FrontControl::convertTo(int output, const std::string& path) {
    if (path.empty()) return UiOutcome::None;
    return startConversion(output, path, true, false);
}

void FrontControl::exportMediaPlayer(const std::string& path, int output) {
    if (dialogBusy_.load()) return;
    dialogBusy_ = true;
    const int index = output < 0 ? selectedOutput_.load() : output;
    post(FcExportMediaPlayer, storeNames({path, std::to_string(index)}));
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
