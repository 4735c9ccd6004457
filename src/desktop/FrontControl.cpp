#include "desktop/FrontControl.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <filesystem>

#include "desktop/MediaPlayerExport.h"
#include "desktop/WindowTexts.h"
#include "platform/Paths.h"

namespace svt {
namespace {

// Leaves the dispatch loop (CmdQuit, or the end of the list with kFlagEndAfterList).
constexpr int kLeaveLoop = -1000;

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

std::string soundDeviceProblem(FrontEngine& engine, Language language) {
    const OutputKind before = engine.selectedOutput();
    engine.selectOutput(OutputKind::Live);
    std::string problem;
    if (engine.openOutput() < 0) {
        problem = std::string(uiText(UiText::NoSoundDevice, language));
        const std::string why = engine.outputMessage();
        if (!why.empty()) problem += "\n\n" + why;
    }
    engine.closeOutput();
    engine.selectOutput(before);
    return problem;
}

Status FrontControl::keepPlaylist(const std::string& path) const {
    if (path.empty() || engineRunning_.load()) return makeError("the playlist is in use");
    // An empty list is kept too: the next start must not bring back songs the user cleared.
    return playlist_.save(path, language_);
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
    QueuedCommand command;
    bool pending = false;
    if (firstPass_ && hasPlayable() && (flags_.load() & kFlagStartAtOnce)) {
        command.code = CmdLoadFile;
        pending = true;
    }
    firstPass_ = false;
    playlist_.resetRandomOrder();
    for (;;) {
        if (!pending) {
            if (engine_.outputOpen()) engine_.closeOutput();
            command = queue_.take(true);
        }
        pending = false;
        const int next = dispatch(std::move(command));
        if (next == kLeaveLoop) return;
        if (next != CmdNone) {
            command = QueuedCommand{next, 0, {}};
            pending = true;
            continue;
        }
        carryOutDeferred();
    }
}

void FrontControl::carryOutDeferred() {
    std::vector<QueuedCommand> waiting = std::move(deferred_);
    deferred_.clear();
    for (QueuedCommand& c : waiting) carryOut(std::move(c));
}

int FrontControl::dispatch(QueuedCommand command) {
    switch (command.code) {
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
            if (isFrontCommand(command.code)) return carryOut(std::move(command));
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
            if (engine_.selectedOutput() != OutputKind::Live)
                view_->showMessage(FrontMessage::CouldNotCreate, engine_.outputFileName());
            else
                view_->showMessage(FrontMessage::CouldNotPlay, {});
        }
        // The compact window converts the rest of its songs; nobody is there to go on.
        return compact_ ? CmdError : CmdNone;
    }
    return result;
}

void FrontControl::post(QueuedCommand command) {
    const std::optional<QueuedCommand> dropped = queue_.put(std::move(command));
    if (!dropped) return;
    switch (dropped->code) {
        case FcFilesDropped:
        case FcOpenFiles:
        case FcOpenListFile:
        case FcSavePlaylist:
        case FcExportMediaPlayer:
            dialogBusy_ = false;
            break;
        default:
            break;
    }
}

int FrontControl::carryOut(QueuedCommand command) {
    const int32_t code = command.code;
    const int32_t argument = command.argument;
    const bool wasPlaying = playing_.load();
    // The output and the font change only between songs: a song that is playing (or that a
    // queued start has just begun) is stopped first, and the change follows once it has ended.
    // Its file is then abandoned as any song's that does not reach its end.
    const bool changesOutput =
        code == FcSetOutputFile ||
        (code == FcSelectOutput && command.payload.output != engine_.selectedOutput());
    if (wasPlaying && (changesOutput || code == FcChangeSoundFont)) {
        deferred_.push_back(std::move(command));
        return CmdStop;
    }
    std::vector<std::string>& names = command.payload.paths;
    switch (code) {
        case FcFilesDropped:
        case FcOpenFiles:
        case FcOpenListFile: {
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
            dialogBusy_ = false;
            if (names.empty()) return CmdNone;
            std::vector<std::string> songs;
            {
                std::lock_guard guard(playlistLock_);
                songs.reserve(static_cast<size_t>(playlist_.count()));
                for (int i = 0; i < playlist_.count(); ++i)
                    songs.push_back(playlist_.entry(i).path);
            }
            const Status written =
                writeMediaPlayerList(names[0], songs, command.payload.output, language_);
            if (view_) {
                if (written.ok())
                    view_->mediaListWritten(names[0]);
                else
                    view_->showMessage(FrontMessage::ExportFailed, written.error().message);
            }
            return CmdNone;
        }
        case FcReinitialise:
            // The engine's settings are fixed at start-up; taking them over again only stops a
            // song that plays.
            return wasPlaying ? CmdStop : CmdNone;
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
            engine_.selectOutput(command.payload.output);
            // A file output names each song's file after the song until told otherwise.
            engine_.setOutputFile({});
            selectedOutput_ = engine_.selectedOutput();
            return CmdNone;
        case FcSetOutputFile: {
            engine_.setOutputFile(names.empty() ? std::string() : names.front());
            return CmdNone;
        }
        case FcChangeSoundFont: {
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
    QueuedCommand command = queue_.take(paused_.load());
    argument = command.argument;
    if (command.code == FcSeekBy) {
        // From what is heard (or where a paused song resumes), never before the start; a
        // step past the end ends the song as a jump there does.
        const int64_t seconds = std::max<int64_t>(0, int64_t{heardSeconds_} + command.argument);
        argument =
            static_cast<int32_t>(std::min<int64_t>(seconds * engine_.outputRateHz(), INT32_MAX));
        return CmdJump;
    }
    if (!isFrontCommand(command.code)) return command.code;
    const int result = carryOut(std::move(command));
    argument = 0;
    return result;
}

void FrontControl::message(int type, int /*verbosity*/, const std::string& text) {
    if (type == 3 && view_) view_->showMessage(FrontMessage::EngineError, text);
}

void FrontControl::notify(const PlayerNotice& notice) {
    switch (notice.code) {
        case NoticePlayStart:
            heardSeconds_ = 0;
            break;
        case NoticeCurrentTime:
            if (notice.args[0] >= 0) heardSeconds_ = notice.args[0];
            break;
        case NoticePause:
            paused_ = notice.args[0] != 0;
            heardSeconds_ = notice.args[1];
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
        } else if (!compact_ && result == CmdTuneEnd &&
                   engine_.selectedOutput() != OutputKind::Live &&
                   (singleFile_.load() ||
                    !playlist_.hasNext((flags_.load() & kFlagRandom) != 0, skipUnplayable()))) {
            conversionEnd();
        } else if (!compact_ && result == CmdStop && engine_.selectedOutput() != OutputKind::Live) {
            // A conversion the user stopped is over too: the next song started from the
            // playlist is heard, not written over a file beside it.
            postOutput(OutputKind::Live);
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
    end.output = engine_.selectedOutput();
    end.tooLongForCd = !end.singleFile && tooLongForAudioCd(playlist_.totalSeconds(), end.output);
    // Repeat must not start the list again into the files.
    post(CmdStop);
    postOutput(OutputKind::Live);
    singleFile_ = false;
    if (view_) view_->conversionEnded(end);
}

}  // namespace svt
