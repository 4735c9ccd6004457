#pragma once
// What the desktop program adds to the player's commands and notices: the commands the
// engine thread carries out for the windows (codes from 1000 on), the interface flags and
// the two notices only the front-end sends.

#include <cstdint>

namespace svt {

enum FrontCommand : int32_t {
    FcFilesDropped = 1000,
    FcOpenFiles = 1001,
    FcOpenListFile = 1002,
    FcSavePlaylist = 1003,
    FcExportMediaPlayer = 1004,
    FcReinitialise = 1006,
    FcRemoveEntry = 1007,
    FcRefreshList = 1008,
    FcRemoveDuplicates = 1009,
    FcRemoveInvalid = 1010,
    FcPlayIndex = 1011,
    FcClearPlaylist = 1013,
    FcSelectOutput = 1017,
    FcChangeSoundFont = 1018,  // the program's own: a SoundFont from the preferences menu
    FcSetOutputFile = 1019,    // the program's own: the file name of the output chosen next
    FcSeekBy = 1020,           // the program's own: move the song that plays by seconds
};

constexpr bool isFrontCommand(int32_t code) {
    return code >= 1000;
}

// The outputs the desktop program chooses among, in the order of the engine's output table.
enum class OutputKind : int32_t {
    Live = 0,
    WavFile = 1,
    Mp3File = 2,
    FlacFile = 3,
    VorbisFile = 4,
    OpusFile = 5
};
inline constexpr int kOutputKinds = 6;

// The drag-and-drop setting ("DragDropFormat": 1 WAV, 2 MP3, 3 FLAC, 4 Ogg Vorbis, 5 Opus) as
// an output; Live for any other value.
constexpr OutputKind outputForFormat(int format) {
    return format >= 1 && format < kOutputKinds ? static_cast<OutputKind>(format)
                                                : OutputKind::Live;
}

// InterfaceFlags bits.
inline constexpr uint32_t kFlagRepeat = 0x1;
inline constexpr uint32_t kFlagRandom = 0x2;
inline constexpr uint32_t kFlagStartAtOnce = 0x8;
inline constexpr uint32_t kFlagEndAfterList = 0x10;
inline constexpr uint32_t kFlagStartOnDrop = 0x20;
inline constexpr uint32_t kFlagCurrentSongOnly = 0x100;
inline constexpr uint32_t kInitialInterfaceFlags = 0x28;

// Notices of the front-end's own, beside the player's.
inline constexpr int NoticeSongSettings = 32;
inline constexpr int NoticeListFinished = 34;
inline constexpr int NoticeFilesAdded = 33;

}  // namespace svt
