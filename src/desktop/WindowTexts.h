#pragma once
// Every text of the desktop windows in English and German: menus, buttons, tooltips, labels,
// questions, messages, file-dialog titles and filters, and the player panel's fixed lists (the
// key box's sixteen items with their major and minor texts, the General MIDI instrument names
// of the instrument boxes). Both front-ends read them from here, so a text is changed in one
// place and a new front-end brings no texts of its own. "%1", "%2" stand for what fillText
// puts in. A file-dialog filter's text names the kind only: each front-end adds its patterns
// as its dialogs show them.

#include <initializer_list>
#include <string>
#include <string_view>

#include "base/Language.h"

namespace svt {

enum class UiText : int {
    Playlist,
    File,
    Open,
    OpenFolderMenu,
    ConvertFileTo,
    CloseFile,
    Quit,
    Save,
    Clear,
    ClearPlaylistQuestion,
    Export,
    MediaPlayer,
    Preferences,
    ChangeSoundFont,
    DragAndDrop,
    Wave,
    Mp3,
    Flac,
    OggVorbis,
    Opus,
    Windows,
    MidiLinks,
    MidiSearchEngines,
    UpdateLinks,
    Downloads,
    GogoEncoder,
    DownloadEncoderQuestion,
    FamilyMenu,
    FamilyQuestion,
    HomepageQuestion,
    Help,
    ShortcutsMenu,
    ShortcutsCaption,
    About,
    OpenFile,
    SaveAsWave,
    SaveAsMp3,
    OpenFolder,
    OpenPlaylist,
    SavePlaylist,
    Previous,
    Play,
    Pause,
    Stop,
    Next,
    LoopFile,
    ShowTitle,
    Path,
    SoundFont,
    ShowMeter,
    ChangeVolume,
    Volume,
    ChangeTempo,
    NewTempo,
    OriginalTempo,
    Transpose,
    TransposeHalfTone,
    HalfTones,
    ChangeKey,
    OriginalKey,
    Meter,
    TrackName,
    NoMidiFileOpen,
    ShortcutsNeedAFile,
    FileNotFound,
    CouldNotPlay,
    CouldNotCreate,
    OperationCompleted,
    SoundFontRefused,
    QuitQuestion,
    MidiFilesFilter,
    PlaylistFilesFilter,
    PlaylistFileFilter,
    ReplaceQuestion,
    ShortcutText,
    AboutText,
    Classical,
    Jazz,
    PopRock,
    Folk,
    ProductCaption,
    SaveListAsWave,
    SaveListAsMp3,
    EnterText,
    Search,
    SearchNext,
    Close,
    ClearPlaylist,
    ListFont,
    CurrentSong,
    RemoveSong,
    RandomOrder,
    EndOfSearch,
    SearchCaption,
    OneTitle,
    RandomOn,
    RandomOff,
    PlaylistQuitQuestion,
    ClearWholePlaylistQuestion,
    WaveFileFilter,
    Mp3FileFilter,
    FlacFileFilter,
    OggFileFilter,
    OpusFileFilter,
    MediaPlayerFileFilter,
    EncoderLoadError,
    NoProgramFor,
    ListenQuestion,
    ListenOrBurnQuestion,
    TooLongForCd,
    ConvertingProgress,
    ConnectQuestion,
    SavedAsWave,
    SavedAsMp3,
    SavedAsFlac,
    SavedAsOgg,
    SavedAsOpus,
    EncoderMissing,
    EncoderDownloadHere,
    EncoderDownloadNow,
    EncoderEnterPath,
    Browse,
    Ok,
    Cancel,
    WhereIsEncoder,
    EncoderFileFilter,
    EnterValidPath,
    NotAWebAddress,
    ServerTimedOut,
    ServerAnswered,
    ChooseMidiFolder,
    SavePlaylistTitle,
    SoundFontsFilter,
    NoTitleField,
    TimeFieldOnOpen,
    NoTempoField,
    AboutCaption,
    WindowTitle,
    CompactWindowTitle,
    CompactProgressTitle,
    NotSongs,
    NoSoundDevice,
    SongsAndPlaylistsFilter,
    AllFilesFilter,
    RecentFiles,
    Measure,
    GuideMissing,
    Count
};

std::string_view uiText(UiText id, Language language);
// The text with "%1", "%2", ... replaced by the arguments in order; other marks stay.
std::string fillText(std::string_view text, std::initializer_list<std::string_view> arguments);
inline std::string uiText(UiText id, Language language,
                          std::initializer_list<std::string_view> arguments) {
    return fillText(uiText(id, language), arguments);
}

inline constexpr int kKeyItems = 16;
inline constexpr int kUnknownKeyItem = 15;
inline constexpr int kInstrumentItems = 127;  // programs 1..127; program 0 has no item

// Item index = number of sharps + 7; item 15 is "unknown".
std::string_view keyBoxText(int item, Language language);
std::string_view keyText(int item, bool minor, Language language);
// The General MIDI name of `program` (0..127).
std::string_view instrumentName(int program);

}  // namespace svt
