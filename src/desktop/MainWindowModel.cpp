#include "desktop/MainWindowModel.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>
#include <utility>

#include "desktop/ConversionFormats.h"
#include "desktop/LinkList.h"
#include "desktop/MediaPlayerExport.h"
#include "output/EncoderLibrary.h"
#include "platform/Paths.h"

namespace svt {
namespace {

constexpr const char* kHomepage = "https://www.calda-sorvanto.example/";
constexpr const char* kFamilyPage = "https://www.calda-sorvanto.example/family/";
// The whole link-list request may take this long.
constexpr int kLinkUpdateTimeoutMs = 20000;
// Progress moves on the screen in steps of half a percent.
constexpr double kProgressStep = 0.005;

namespace fs = std::filesystem;

bool fileExists(const std::string& path) {
    std::error_code error;
    return fs::exists(platform::fsPath(path), error);
}

// The absolute, cleaned form of a path, for telling two names of one file apart.
fs::path absoluteOf(const std::string& path) {
    std::error_code error;
    fs::path absolute = fs::absolute(platform::fsPath(path), error);
    return (error ? platform::fsPath(path) : absolute).lexically_normal();
}

std::string folderOf(const std::string& path) {
    return platform::pathText(absoluteOf(path).parent_path());
}

// The name without its folder and its last extension ("song.v2.mid" -> "song.v2").
std::string baseNameOf(const std::string& path) {
    return platform::pathText(platform::fsPath(path).filename().stem());
}

std::string joinPath(const std::string& folder, const std::string& name) {
    return platform::pathText(platform::fsPath(folder) / platform::fsPath(name));
}

}  // namespace

MainWindowModel::MainWindowModel(WindowControl& control, AppSettings& settings,
                                 DesktopServices& services, WindowForm form)
    : control_(control), settings_(settings), services_(services), form_(form) {}

std::string MainWindowModel::windowTitle() const {
    return text(form_ == WindowForm::Full ? UiText::WindowTitle : UiText::CompactWindowTitle);
}

void MainWindowModel::inform(const std::string& message, const std::string& caption) {
    services_.inform(message, caption.empty() ? text(UiText::ProductCaption) : caption);
}

bool MainWindowModel::ask(const std::string& question) {
    return services_.confirm(question, text(UiText::ProductCaption));
}

bool MainWindowModel::maySaveOver(const std::string& path) {
    return !fileExists(path) || ask(uiText(UiText::ReplaceQuestion, language(), {path}));
}

// Opening.

std::optional<OpenedFields> MainWindowModel::openFileDialog() {
    if (control_.dialogBusy()) return std::nullopt;
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::OpenFiles;
    request.folder = settings_.songFolder;
    request.filters = songFilters();
    const FileDialogResult chosen = services_.chooseFiles(request);
    if (chosen.paths.empty()) return std::nullopt;
    settings_.songFolder = folderOf(chosen.paths.front());
    return openPaths(chosen.paths);
}

std::optional<OpenedFields> MainWindowModel::openFolderDialog() {
    if (control_.dialogBusy()) return std::nullopt;
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::Folder;
    request.title = text(UiText::ChooseMidiFolder);
    request.folder = settings_.songFolder;
    const FileDialogResult chosen = services_.chooseFiles(request);
    if (chosen.paths.empty() || chosen.paths.front().empty()) return std::nullopt;
    std::string folder = chosen.paths.front();
    settings_.songFolder = folder;
    // A trailing separator tells the playlist that the name is a folder to expand.
    if (folder.back() != '/' && folder.back() != platform::kPathSeparator)
        folder += platform::kPathSeparator;
    return openPaths({folder});
}

std::optional<OpenedFields> MainWindowModel::openPaths(const std::vector<std::string>& paths) {
    if (paths.empty() || control_.dialogBusy()) return std::nullopt;
    control_.openFiles(paths);
    // The first named is the one the user thinks of: it goes on top. Folders are not files.
    for (auto p = paths.rbegin(); p != paths.rend(); ++p)
        if (!p->empty() && p->back() != '/' && p->back() != platform::kPathSeparator)
            noteRecentFile(settings_, platform::pathText(absoluteOf(*p)));
    if (form_ != WindowForm::Full) return std::nullopt;
    return OpenedFields{text(UiText::NoTitleField), text(UiText::TimeFieldOnOpen),
                        text(UiText::NoTempoField), "0"};
}

WindowAction MainWindowModel::openPlaylistDialog() {
    if (control_.dialogBusy()) return WindowAction::None;
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::OpenFile;
    request.folder = settings_.playlistFolder;
    request.filters = {{text(UiText::PlaylistFilesFilter), {"*.pli"}}};
    const FileDialogResult chosen = services_.chooseFiles(request);
    if (chosen.paths.empty()) return WindowAction::None;
    settings_.playlistFolder = folderOf(chosen.paths.front());
    return openListFile(chosen.paths.front());
}

WindowAction MainWindowModel::openListFile(const std::string& path) {
    if (control_.dialogBusy()) return WindowAction::None;
    control_.openListFile(path);
    noteRecentFile(settings_, platform::pathText(absoluteOf(path)));
    // A list made elsewhere may name songs twice or songs that are gone.
    control_.queue(FcRefreshList);
    control_.queue(FcRemoveInvalid);
    control_.queue(FcRemoveDuplicates);
    return WindowAction::ShowPlaylist;
}

std::vector<FileFilter> MainWindowModel::songFilters() const {
    // Everything the program opens from this dialog: songs and playlists together first.
    const std::vector<std::string> songs = {"*.mid", "*.midi", "*.kar", "*.rmi", "*.smf"};
    std::vector<std::string> both = songs;
    both.push_back("*.pli");
    return {{text(UiText::SongsAndPlaylistsFilter), both},
            {text(UiText::MidiFilesFilter), songs},
            {text(UiText::PlaylistFilesFilter), {"*.pli"}},
            {text(UiText::AllFilesFilter), {"*"}}};
}

RecentOpened MainWindowModel::openRecent(int index) {
    const auto& recent = settings_.recentFiles;
    if (index < 0 || static_cast<size_t>(index) >= recent.size() || control_.dialogBusy())
        return {};
    const std::string path = recent[static_cast<size_t>(index)];
    if (!fileExists(path)) {
        // A file that has gone leaves the list, and the user learns why nothing opened.
        settings_.recentFiles.erase(settings_.recentFiles.begin() + index);
        inform(text(UiText::FileNotFound) + "\n" + path);
        return {};
    }
    if (platform::fsPath(path).extension() == ".pli") return {std::nullopt, openListFile(path)};
    return {openPaths({path}), WindowAction::None};
}

void MainWindowModel::savePlaylistDialog() {
    if (control_.dialogBusy()) return;
    if (control_.playlistCount() == 0) {
        inform(UiText::NoMidiFileOpen);
        return;
    }
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::SaveFile;
    request.title = text(UiText::SavePlaylistTitle);
    request.folder = settings_.playlistFolder;
    request.filters = {{text(UiText::PlaylistFileFilter), {"*.pli"}}};
    request.defaultSuffix = "pli";
    const FileDialogResult chosen = services_.chooseFiles(request);
    if (chosen.paths.empty() || !maySaveOver(chosen.paths.front())) return;
    settings_.playlistFolder = folderOf(chosen.paths.front());
    control_.savePlaylist(chosen.paths.front());
}

void MainWindowModel::changeSoundFontDialog() {
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::OpenFile;
    request.folder = settings_.soundFontFolder;
    request.filters = {{text(UiText::SoundFontsFilter), {"*.sf2", "*.sf3"}},
                       {text(UiText::AllFilesFilter), {"*"}}};
    const FileDialogResult chosen = services_.chooseFiles(request);
    if (chosen.paths.empty()) return;
    settings_.soundFontFolder = folderOf(chosen.paths.front());
    // The font is kept in the settings once the engine has taken it (SoundFontChanged).
    control_.changeSoundFont(platform::pathText(absoluteOf(chosen.paths.front())));
}

void MainWindowModel::setDragDropFormat(OutputKind format) {
    // The format is for songs dropped on the program's icon; what Play does stays as it is.
    settings_.dragDropFormat = static_cast<int>(format);
    if (saveSettings) saveSettings(settings_);
}

void MainWindowModel::clearPlaylist() {
    if (ask(text(UiText::ClearPlaylistQuestion))) control_.clearPlaylist();
}

void MainWindowModel::clearWithQuestion() {
    if (control_.playlistCount() == 0) {
        inform(UiText::NoMidiFileOpen);
        return;
    }
    if (ask(text(UiText::ClearWholePlaylistQuestion))) control_.clearPlaylist();
}

bool MainWindowModel::mayClose() {
    if (form_ == WindowForm::Full && !ask(text(UiText::QuitQuestion))) return false;
    if (saveSettings) saveSettings(settings_);
    return true;
}

// Keys and outcomes.

KeyVerdict MainWindowModel::keyPressed(const KeyPress& press) {
    const ShortcutKey key = press.key;
    const bool transposes = key == ShortcutKey::TransposeUp || key == ShortcutKey::TransposeDown;
    // The number block's + and - transpose as the others do; its other keys are the list's.
    if (form_ != WindowForm::Full || (press.keypad && !transposes)) return {};
    // In the playlist these keys play the line under the caret, ask their own question or
    // move through the list.
    if (press.inPlaylistWindow && (key == ShortcutKey::Space || key == ShortcutKey::Q ||
                                   key == ShortcutKey::VolumeUp || key == ShortcutKey::VolumeDown))
        return {};
    // Held down, the keys that step (seek, volume, transposition, tempo) repeat; the others
    // act once, whatever Shift and Caps Lock say.
    const bool steps = key == ShortcutKey::SeekBack || key == ShortcutKey::SeekForward ||
                       key == ShortcutKey::VolumeUp || key == ShortcutKey::VolumeDown ||
                       transposes || key == ShortcutKey::Faster || key == ShortcutKey::Slower;
    KeyVerdict verdict;
    verdict.taken = true;
    if (press.autoRepeat && !steps) return verdict;
    switch (key) {
        case ShortcutKey::Open:
            verdict.opened = openFileDialog();
            return verdict;
        case ShortcutKey::Help:
            openHelp();
            return verdict;
        case ShortcutKey::VolumeUp:
        case ShortcutKey::VolumeDown:
            verdict.volumeChanged = true;
            break;
        default:
            break;
    }
    verdict.action = outcome(control_.pressKey(key));
    return verdict;
}

WindowAction MainWindowModel::outcome(UiOutcome result) {
    switch (result) {
        case UiOutcome::None:
            break;
        case UiOutcome::NoMidiFileOpen:
            inform(UiText::NoMidiFileOpen);
            break;
        case UiOutcome::ShortcutsNeedAFile:
            inform(UiText::ShortcutsNeedAFile);
            break;
        case UiOutcome::TogglePlaylist:
            return WindowAction::TogglePlaylist;
        case UiOutcome::ShowShortcuts:
            showShortcuts();
            break;
        case UiOutcome::Quit:
            return WindowAction::Close;
    }
    return WindowAction::None;
}

void MainWindowModel::engineMessage(FrontMessage message, const std::string& argument) {
    switch (message) {
        case FrontMessage::NoMidiFileOpen:
            inform(UiText::NoMidiFileOpen);
            break;
        case FrontMessage::ShortcutsNeedAFile:
            inform(UiText::ShortcutsNeedAFile);
            break;
        case FrontMessage::FileNotFound:
            inform(UiText::FileNotFound);
            break;
        case FrontMessage::CouldNotPlay:
            inform(UiText::CouldNotPlay);
            break;
        case FrontMessage::CouldNotCreate:
            inform(uiText(UiText::CouldNotCreate, language(), {argument}));
            break;
        case FrontMessage::OperationCompleted:
            inform(UiText::OperationCompleted);
            break;
        case FrontMessage::EngineError:
        case FrontMessage::ExportFailed:
            inform(argument);
            break;
        case FrontMessage::SoundFontChanged:
            settings_.soundFont = argument;
            if (saveSettings) saveSettings(settings_);
            break;
        case FrontMessage::SoundFontRefused:
            inform(uiText(UiText::SoundFontRefused, language(), {argument}));
            break;
        case FrontMessage::NotSongs:
            inform(text(UiText::NotSongs) + "\n" + argument);
            break;
    }
}

// Menus that open pages.

void MainWindowModel::downloadEncoder() {
    if (!isRealAddress(settings_.linkMp3Encoder)) return;
    if (ask(text(UiText::DownloadEncoderQuestion))) services_.openUrl(settings_.linkMp3Encoder);
}

void MainWindowModel::openFamilyPage() {
    if (!isRealAddress(kFamilyPage)) return;
    if (ask(text(UiText::FamilyQuestion))) services_.openUrl(kFamilyPage);
}

void MainWindowModel::openHomepage() {
    // Until the homepage has a real address the logo is only a picture.
    if (!isRealAddress(kHomepage)) return;
    if (ask(text(UiText::HomepageQuestion))) services_.openUrl(kHomepage);
}

std::string findUserGuide(const std::string& programFolder, Language language,
                          const std::function<bool(const std::string&)>& exists) {
    const fs::path program = platform::fsPath(programFolder);
    const fs::path places[] = {program / "guide",
                               program.parent_path() / "share" / "sorvanto" / "guide"};
    for (const char* code : {language == Language::German ? "de" : "en", "en"})
        for (const fs::path& place : places) {
            const std::string page = platform::pathText(place / code / "index.html");
            if (exists(page)) return page;
        }
    return {};
}

void MainWindowModel::openHelp() {
    const std::string guide = findUserGuide(platform::programFolder(), language(), fileExists);
    if (guide.empty()) {
        inform(uiText(UiText::GuideMissing, language(),
                      {joinPath(platform::programFolder(), "guide")}));
        return;
    }
    // The desktop's browser shows it; without one the user learns which file to open.
    if (!services_.openFile(guide)) inform(uiText(UiText::NoProgramFor, language(), {guide}));
}

void MainWindowModel::showShortcuts() {
    inform(text(UiText::ShortcutText), text(UiText::ShortcutsCaption));
}

void MainWindowModel::showAbout() {
    inform(text(UiText::AboutText), text(UiText::AboutCaption));
}

LinkMenus MainWindowModel::linkMenus() const {
    LinkMenus menus;
    for (int group = 0; group < kLinkGroupCount; ++group) {
        LinkMenus::Group shown{group, {}};
        for (int item = 0; item < kLinksPerGroup; ++item) {
            const int slot = group * kLinksPerGroup + item;
            if (slot != kHiddenLinkSlot &&
                isRealAddress(settings_.links[static_cast<size_t>(slot)]))
                shown.slots.push_back(slot);
        }
        if (!shown.slots.empty()) menus.groups.push_back(std::move(shown));
    }
    menus.update = isRealAddress(settings_.linkUpdateUrl);
    menus.encoderDownload = isRealAddress(settings_.linkMp3Encoder) &&
                            !output::encoderAvailable(output::EncoderSearch::forThisProgram());
    menus.familyPage = isRealAddress(kFamilyPage);
    return menus;
}

void MainWindowModel::openLink(int slot) {
    if (slot < 0 || slot >= kLinkSlots) return;
    const std::string& link = settings_.links[static_cast<size_t>(slot)];
    // Only web addresses are handed on; anything else in the settings is not opened.
    if (!isRealAddress(link)) return;
    if (ask(uiText(UiText::ConnectQuestion, language(), {link}))) services_.openUrl(link);
}

void MainWindowModel::updateLinks() {
    HttpRequest request;
    request.url = settings_.linkUpdateUrl;
    request.body = linkUpdateBody(settings_.linkListVersion, language());
    request.maxReplyBytes = kMaxLinkReplyBytes;
    request.timeoutMs = kLinkUpdateTimeoutMs;
    services_.post(request, [this](const HttpReply& reply) { linkReply(reply); });
}

void MainWindowModel::linkReply(const HttpReply& reply) {
    if (!reply.ok) {
        inform(linkFailureMessage(reply.error, language()));
        return;
    }
    const LinkReplyOutcome result = applyLinkReply(reply.body, settings_, language());
    inform(linkReplyMessage(result, language()));
    if (result.changed && saveSettings) saveSettings(settings_);
    if (result.changed && linksChanged) linksChanged();
}

// Conversion.

bool MainWindowModel::ensureEncoder() {
    const output::EncoderSearch search = output::EncoderSearch::forThisProgram();
    if (output::encoderAvailable(search)) return true;
    // A download page is offered only when the settings hold a real address for it.
    std::function<void()> download;
    if (isRealAddress(settings_.linkMp3Encoder))
        download = [this] { services_.openUrl(settings_.linkMp3Encoder); };
    const bool located = services_.locateEncoder(
        [search](const std::string& path) { return output::storeEncoderLocation(search, path); },
        std::move(download));
    if (!located) return false;
    if (output::encoderAvailable(search)) return true;
    inform(UiText::EncoderLoadError);
    return false;
}

void MainWindowModel::convertSong(OutputKind output) {
    if (control_.playlistCount() > 0 && !control_.converting() && output == OutputKind::Mp3File &&
        !ensureEncoder())
        return;
    outcome(control_.convertCurrent(output));
}

void MainWindowModel::convertWholePlaylist(OutputKind output) {
    if (control_.playlistCount() > 0 && !control_.converting() && output == OutputKind::Mp3File &&
        !ensureEncoder())
        return;
    outcome(control_.convertPlaylist(output));
}

void MainWindowModel::convertFileTo() {
    if (control_.playlistCount() == 0) {
        inform(UiText::NoMidiFileOpen);
        return;
    }
    if (control_.converting()) return;
    const auto snapshot = control_.playlistSnapshot();
    std::string song;
    if (snapshot->current >= 0 && snapshot->current < snapshot->count())
        song = (*snapshot->lines)[static_cast<size_t>(snapshot->current)].path;
    // The suggestion is the song's name as a WAV file: the song itself is never offered.
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::SaveFile;
    const std::string folder =
        settings_.conversionFolder.empty() ? folderOf(song) : settings_.conversionFolder;
    request.suggested = joinPath(folder, baseNameOf(song) + ".wav");
    const auto formats = conversionFormats();
    for (const ConversionFormat& f : formats) {
        std::vector<std::string> patterns;
        for (const char* ending : f.format().endings)
            if (ending != nullptr) patterns.push_back(std::string("*.") + ending);
        request.filters.push_back({text(f.filter), patterns});
    }
    const FileDialogResult chosen = services_.chooseFiles(request);
    if (chosen.paths.empty() || chosen.paths.front().empty()) return;
    const ConversionFormat& format =
        formats[chosen.filter >= 0 && static_cast<size_t>(chosen.filter) < formats.size()
                    ? static_cast<size_t>(chosen.filter)
                    : 0];
    const OutputKind output = format.output;
    // A name with none of the format's endings gets its extension.
    std::string path = chosen.paths.front();
    if (formatOfName(path) != &format.format())
        path += std::string(".") + format.format().extension;
    if (!song.empty() && absoluteOf(path) == absoluteOf(song)) return;
    if (!maySaveOver(path)) return;
    if (output == OutputKind::Mp3File && !ensureEncoder()) return;
    settings_.conversionFolder = folderOf(path);
    outcome(control_.convertTo(output, path));
}

void MainWindowModel::exportPlaylist() {
    if (control_.dialogBusy()) return;
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::SaveFile;
    request.title = text(UiText::SavePlaylistTitle);
    request.folder = settings_.playlistFolder;
    request.filters = {{text(UiText::MediaPlayerFileFilter), {"*.wpl"}}};
    request.defaultSuffix = "wpl";
    const FileDialogResult chosen = services_.chooseFiles(request);
    if (chosen.paths.empty() || chosen.paths.front().empty()) return;
    // The list is always written as ".wpl"; the question names the file that is replaced.
    const std::string folder = folderOf(chosen.paths.front());
    const std::string target = joinPath(folder, baseNameOf(chosen.paths.front()) + ".wpl");
    if (!maySaveOver(target)) return;
    settings_.playlistFolder = folder;
    control_.exportMediaPlayer(target);
}

void MainWindowModel::mediaListWritten(const std::string& path) {
    if (!services_.openFile(path)) inform(uiText(UiText::NoProgramFor, language(), {path}));
}

void MainWindowModel::conversionEnded(const ConversionEnd& end) {
    clearProgress();
    if (end.singleFile) {
        if (ask(text(UiText::ListenQuestion))) mediaListWritten(end.lastOutputPath);
        return;
    }
    if (!ask(text(UiText::ListenOrBurnQuestion))) return;
    if (end.tooLongForCd) inform(UiText::TooLongForCd);
    const std::string list = temporaryWplPath();
    if (!list.empty()) control_.exportMediaPlayer(list, end.output);
}

void MainWindowModel::clearProgress() {
    services_.setTaskbarProgress(-1);
    shownProgress_ = -1;
    if (showProgress) showProgress(ProgressView{});
}

void MainWindowModel::progressTick(double songFraction) {
    if (!control_.converting()) {
        if (shownProgress_ >= 0) clearProgress();
        return;
    }
    const auto snapshot = control_.playlistSnapshot();
    const bool single = control_.convertingSingleFile() || snapshot->count() <= 1;
    const int index = std::max(snapshot->current, 0);
    const int count = single ? 1 : snapshot->count();
    const double progress =
        std::clamp(single ? songFraction : (index + songFraction) / std::max(count, 1), 0.0, 1.0);
    if (std::abs(progress - shownProgress_) < kProgressStep) return;
    shownProgress_ = progress;
    services_.setTaskbarProgress(progress);
    const std::string percent = std::to_string(static_cast<int>(progress * 100));
    ProgressView view;
    view.visible = true;
    view.fraction = progress;
    view.status = uiText(UiText::ConvertingProgress, language(),
                         {std::to_string(single ? 1 : index + 1), std::to_string(count), percent});
    view.title = uiText(UiText::CompactProgressTitle, language(), {percent});
    if (showProgress) showProgress(view);
}

}  // namespace svt
