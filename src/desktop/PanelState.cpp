#include "desktop/PanelState.h"

#include <algorithm>
#include <cstdio>

#include "desktop/FrontCommands.h"
#include "desktop/WindowTexts.h"
#include "synth/Synthesis.h"

namespace svt {
namespace {

// How far the key moves round the circle of fifths for each shift of -12..12 semitones.
constexpr std::array<int, 25> kKeyStepForShift = {0, 7, 2, -3, 4,  -1, 6, 1,  -4, 3,  -2, 5, 0,
                                                  7, 2, 9, 4,  -1, 6,  1, -4, 3,  -2, 5,  0};

// The display's limit for hours; longer songs show 99.
constexpr int kMaxShownHours = 99;
// 100 / 127 in single precision, as the level meters have always scaled velocities.
constexpr float kVelocityToMeter = 0.787401556968689f;

constexpr int kKeepPrevious = -98;

std::string printf2(const char* format, int a, int b) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

int mod12(int value) {
    return ((value % 12) + 12) % 12;
}

const char* notLoadedText(Language language) {
    return tr(language, "Bitte Datei, Ordner oder Playliste laden!",
              "Please open file, folder or playlist!");
}

}  // namespace

int shiftForKeyItem(int item, int originalKey) {
    if (item == kUnknownKeyItem || originalKey < 0) return 0;
    int shift = (item - originalKey) * 7;
    if (originalKey == 0) shift -= 1;
    if (shift > 7) {
        shift %= 12;
        if (shift > 7) shift -= 12;
    } else if (shift < -7) {
        shift %= 12;
        if (shift < -7) shift += 12;
    }
    return shift;
}

int keyItemForShift(int shift, int originalKey) {
    if (originalKey < 0) return kUnknownKeyItem;
    for (int item = 0; item < kUnknownKeyItem; ++item)
        if (mod12(shiftForKeyItem(item, originalKey)) == mod12(shift)) return item;
    return kUnknownKeyItem;
}

int keyItemFollowingTranspose(int userTranspose, int originalKey) {
    if (originalKey < 0 || originalKey >= kUnknownKeyItem) return -1;
    int shift = userTranspose;
    if (shift > 12) shift -= 12;
    if (shift < -12) shift += 12;
    shift = std::clamp(shift, -12, 12);
    int item = originalKey + kKeyStepForShift[static_cast<size_t>(shift + 12)];
    if (item > 14) item -= 12;
    if (item < 0) item += 12;
    return item;
}

std::string formatTimeField(const PanelState& s) {
    char text[64];
    std::snprintf(text, sizeof text, " %02d:%02d:%02d von %02d:%02d:%02d",
                  std::clamp(s.positionHours, 0, kMaxShownHours), s.positionMinutes,
                  s.positionSeconds, std::clamp(s.lengthHours, 0, kMaxShownHours), s.lengthMinutes,
                  s.lengthSeconds);
    return text;
}

std::string formatPlayingTempo(int bpm, int percent) {
    return printf2("%3d bpm (%03d%%)", bpm, percent);
}

std::string formatSettingsTempo(int bpm, int percent) {
    return printf2("%3d bpm (%d%%)", bpm, percent);
}

std::string formatBpm(int bpm) {
    return printf2("%3d bpm", bpm, 0);
}

Panel::Panel(Language language) : language_(language) {
    view_.instrument.fill(-1);
    initialise();
}

void Panel::setControlsEnabled(bool enabled) {
    view_.songControlsEnabled = enabled;
    view_.changed |= FieldButtons;
}

void Panel::initialise() {
    view_.measure = "00:00";
    view_.title = notLoadedText(language_);
    view_.time = "00:00 von 00:00";
    // A field with nothing to show stays empty (no dots or dashes standing in).
    view_.newTempo.clear();
    view_.originalTempo.clear();
    view_.originalTempoBpm = 0;
    view_.semitones = "0";
    view_.transposeBar = 24;
    view_.tempoBar = 120;
    view_.keyItem = kUnknownKeyItem;
    setControlsEnabled(false);
    view_.changed = FieldAll;
}

void Panel::reset() {
    view_.measure = "00:00";
    view_.title = notLoadedText(language_);
    view_.path.clear();
    view_.playlist.clear();
    view_.time = "00:00 von 00:00";
    view_.newTempo.clear();
    view_.originalTempo.clear();
    view_.originalTempoBpm = 0;
    view_.semitones = "0";
    view_.transposeBar = 24;
    view_.meter.clear();
    view_.originalKey.clear();
    view_.keyItem = kUnknownKeyItem;
    view_.instrument.fill(-1);
    view_.mute.fill(false);
    for (auto& name : view_.trackNames) name.clear();
    view_.positionMax = 0;
    view_.position = 0;
    songCurrent_ = false;
    setControlsEnabled(false);
    view_.changed = FieldAll;
}

void Panel::showTime(bool force) {
    const std::string text = formatTimeField(state_);
    if (!force && text == view_.time) return;
    view_.time = text;
    view_.changed |= FieldTime;
}

void Panel::showTempo(const PanelContext& context) {
    if (state_.microsPerQuarter <= 0) return;
    state_.shownTempo = static_cast<int>(
        500000.0 / state_.microsPerQuarter * 120.0 * state_.ratioPercent / 100.0 + 0.5);
    if (!songCurrent_ || context.current == nullptr || state_.shownTempo == 0) return;
    view_.newTempo = formatPlayingTempo(state_.shownTempo, state_.ratioPercent);
    const int original = context.current->settings.originalTempo;
    view_.originalTempo = original > 0 ? formatBpm(original) : std::string();
    view_.originalTempoBpm = std::max(original, 0);
    view_.changed |= FieldTempo;
}

bool Panel::notify(const PlayerNotice& n, const PanelContext& context) {
    const uint32_t before = view_.changed;
    view_.changed = 0;
    switch (n.code) {
        case NoticeNowLoading:
            state_ = PanelState{};
            songCurrent_ = true;
            view_.time = "00:00:00";
            for (auto& name : view_.trackNames) name.clear();
            view_.meters.fill(0);
            view_.changed = FieldAll;
            break;
        case NoticeLoadingDone:
            if (context.trackNames) {
                view_.trackNames = *context.trackNames;
                view_.changed |= FieldTrackNames;
            }
            break;
        case NoticePlayStart: {
            const int rate = context.outputRateHz > 0 ? context.outputRateHz : 1;
            const int64_t seconds = std::max<int64_t>(0, n.args[0] / rate);
            view_.positionMax = static_cast<int>(seconds);
            view_.position = 0;
            view_.positionEnabled = true;
            state_.positionHours = state_.positionMinutes = state_.positionSeconds = 0;
            state_.positionHundredths = 0;
            state_.lengthHours = static_cast<int>(seconds / 3600);
            state_.lengthMinutes = static_cast<int>(seconds / 60 % 60);
            state_.lengthSeconds = static_cast<int>(seconds % 60);
            showTime(true);
            view_.playing = true;
            view_.changed |= FieldPosition;
            setControlsEnabled(false);
            break;
        }
        case NoticePlayEnd:
            // A song played (or converted) to its end was heard to its end, whichever time
            // notices its output let through.
            if (n.args[0] == CmdTuneEnd) {
                state_.positionHours = state_.lengthHours;
                state_.positionMinutes = state_.lengthMinutes;
                state_.positionSeconds = state_.lengthSeconds;
                showTime(false);
                view_.position = view_.positionMax;
                view_.changed |= FieldPosition;
            }
            state_.levels.fill(0);
            view_.meters.fill(0);
            view_.playing = false;
            view_.paused = false;
            view_.changed |= FieldMeters;
            if (context.current) {
                showShift(context.current->settings.transposition,
                          context.current->settings.originalKey);
                view_.changed |= FieldSettings;
            }
            setControlsEnabled(true);
            break;
        case NoticeCurrentTime: {
            const int32_t seconds = n.args[0];
            if (seconds < 0) {
                if (view_.positionEnabled) {
                    view_.positionEnabled = false;
                    view_.changed |= FieldPosition;
                }
                break;
            }
            const int64_t hundredths = static_cast<int64_t>(seconds) * 100;
            state_.positionHours = static_cast<int>(hundredths / 360000);
            state_.positionMinutes = static_cast<int>(hundredths / 6000 % 60);
            state_.positionSeconds = static_cast<int>(hundredths / 100 % 60);
            state_.positionHundredths = static_cast<int>(hundredths % 100);
            showTime(false);
            if (view_.position != seconds || !view_.positionEnabled) {
                view_.position = seconds;
                view_.positionEnabled = true;
                view_.changed |= FieldPosition;
            }
            break;
        }
        case NoticeNote: {
            const auto status = static_cast<VoiceStatus>(n.args[0]);
            const int channel = n.args[1];
            const int velocity = n.args[3];
            if (channel < 0 || channel >= kChannels) break;
            int32_t& level = state_.levels[static_cast<size_t>(channel)];
            // A voice held by a pedal still sounds; one released, cut or freed no longer adds.
            if (status == VoiceStatus::On)
                level += velocity;
            else if (status == VoiceStatus::Free || status == VoiceStatus::Off ||
                     status == VoiceStatus::Dying)
                level = std::max(0, level - velocity);
            else
                break;
            const int meter = static_cast<int>(static_cast<float>(level) * kVelocityToMeter * 0.5f);
            if (meter != view_.meters[static_cast<size_t>(channel)]) {
                view_.meters[static_cast<size_t>(channel)] = meter;
                view_.changed |= FieldMeters;
            }
            break;
        }
        case NoticeMetronome:
            if (n.args[0] != kKeepPrevious) state_.measure = n.args[0];
            if (n.args[1] != kKeepPrevious) state_.beat = n.args[1];
            view_.measure = printf2(" %04d:%02d", state_.measure, state_.beat);
            view_.changed |= FieldMeasure;
            break;
        case NoticeTempo:
            if (n.args[0] != kKeepPrevious) state_.microsPerQuarter = n.args[0];
            showTempo(context);
            break;
        case NoticeTimeRatio:
            if (n.args[0] != kKeepPrevious) state_.ratioPercent = n.args[0];
            showTempo(context);
            break;
        case NoticePause:
            view_.paused = n.args[0] != 0;
            view_.changed |= FieldButtons;
            break;
        case NoticeMasterVolume:
            state_.amplification = n.args[0];
            break;
        case NoticeKeyOffset:
            // A transposition by key while the song plays shows in the (locked) semitone field
            // and key box; the song's own setting comes back when it ends.
            if (view_.playing && context.current) {
                showShift(n.args[0], context.current->settings.originalKey);
                view_.changed |= FieldSettings;
            }
            break;
        case NoticeSongSettings:
            if (context.current) showSongSettings(*context.current);
            break;
        default:
            break;
    }
    const bool visible = view_.changed != 0;
    view_.changed |= before;
    return visible;
}

void Panel::showShift(int shift, int originalKey) {
    shift = std::clamp(shift, -24, 24);
    view_.transposeBar = shift + 24;
    view_.semitones = std::to_string(shift);
    view_.keyItem = originalKey < 0 ? kUnknownKeyItem : keyItemForShift(shift, originalKey);
}

void Panel::showSongSettings(const Playlist::Entry& entry) {
    const SongSettings& s = entry.settings;
    for (int c = 0; c < kChannels; ++c) {
        view_.instrument[static_cast<size_t>(c)] =
            s.program[c] >= 0 && s.program[c] < 127 ? s.program[c] : -1;
        view_.mute[static_cast<size_t>(c)] = s.mute[c] != 0;
    }
    showShift(s.transposition, s.originalKey);
    view_.originalKey = std::string(
        keyText(s.originalKey < 0 ? kUnknownKeyItem : s.originalKey, s.minor == 1, language_));
    view_.meter = s.meterNumerator < 0 || s.meterDenominator < 0
                      ? std::string()
                      : printf2("%d/%d", s.meterNumerator, s.meterDenominator);
    if (s.originalTempo > 0 && s.newTempo > 0) {
        view_.newTempo = formatSettingsTempo(s.newTempo, s.newTempo * 100 / s.originalTempo);
        view_.originalTempo = formatBpm(s.originalTempo);
        view_.originalTempoBpm = s.originalTempo;
        view_.tempoBar = std::clamp(s.newTempo, 30, 240);
    }
    view_.changed |= FieldSettings | FieldTempo;
    songCurrent_ = true;
    setControlsEnabled(true);
}

void Panel::setSoundFont(const std::string& fileName) {
    const size_t slash = fileName.find_last_of("/\\");
    view_.soundFont = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    view_.changed |= FieldSoundFont;
}

void Panel::setPlaylistFile(const std::string& fileName) {
    const size_t slash = fileName.find_last_of("/\\");
    view_.playlist = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    view_.changed |= FieldPlaylist;
}

void Panel::setTitleAndPath(const std::string& title, const std::string& path) {
    view_.title = title;
    view_.path = path;
    view_.changed |= FieldTitle;
}

bool PanelMailbox::publish(const PanelView& view) {
    std::lock_guard guard(lock_);
    const uint32_t bits = view.changed;
    if (bits == FieldMeters) {
        // The common case of a dense song: only the levels moved.
        latest_.meters = view.meters;
    } else {
        const uint32_t keep = latest_.changed;
        latest_ = view;
        latest_.changed = keep;
    }
    // The window polls for the meters; it is told only of the other fields, once until it takes.
    const bool tell = (pending_ & ~FieldMeters) == 0 && (bits & ~FieldMeters) != 0;
    pending_ |= bits;
    return tell;
}

bool PanelMailbox::take(PanelView& out) {
    std::lock_guard guard(lock_);
    if (pending_ == 0) return false;
    out = latest_;
    out.changed = pending_;
    pending_ = 0;
    return true;
}

}  // namespace svt
