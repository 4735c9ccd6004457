#include "desktop/WindowTexts.h"

#include <array>

namespace svt {
namespace {

struct TextRow {
    UiText id;
    std::string_view english;
    std::string_view german;  // empty: the same as the English one
};

// In the order of UiText; checked below, so that a text cannot answer for its neighbour.
constexpr TextRow kTexts[] = {
    {UiText::Playlist, "Playlist", "Playliste"},
    {UiText::File, "File", "Datei"},
    {UiText::Open, "Open...", "Öffnen..."},
    {UiText::OpenFolderMenu, "Open folder...", "Ordner öffnen..."},
    {UiText::ConvertFileTo, "Convert file to...", "Datei konvertieren als..."},
    {UiText::CloseFile, "Close file", "Datei schließen"},
    {UiText::Quit, "Quit", "Beenden"},
    {UiText::Save, "Save...", "Speichern..."},
    {UiText::Clear, "Clear", "Löschen"},
    {UiText::ClearPlaylistQuestion, "Do you really want to clear the playlist?",
     "Soll die Playliste wirklich ganz gelöscht werden?"},
    {UiText::Export, "Export", "Exportieren"},
    {UiText::MediaPlayer, "Media Player...", {}},
    {UiText::Preferences, "Preferences", "Einstellungen"},
    {UiText::ChangeSoundFont, "Change soundfont...", "Soundfont ändern..."},
    {UiText::DragAndDrop, "Drag and Drop", {}},
    {UiText::Wave, "Wave", {}},
    {UiText::Mp3, "MP3", {}},
    {UiText::Flac, "FLAC", {}},
    {UiText::OggVorbis, "Ogg Vorbis", {}},
    {UiText::Opus, "Opus", {}},
    {UiText::Windows, "Windows", "Fenster"},
    {UiText::MidiLinks, "MIDI Links", "Midi-Links"},
    {UiText::MidiSearchEngines, "MIDI Search Engines", "Midi-Suchmaschinen"},
    {UiText::UpdateLinks, "Update links...", "Links aktualisieren..."},
    {UiText::Downloads, "Downloads", {}},
    {UiText::GogoEncoder, "Gogo Encoder...", "Gogo-Encoder..."},
    {UiText::DownloadEncoderQuestion, "Do you want to download the MP3 Encoder Gogo (gogo.dll)?",
     "Wollen Sie den MP3-Converter Gogo (gogo.dll) herunterladen?"},
    {UiText::FamilyMenu, "Calda Sorvanto family...", "Calda-Sorvanto-Familie..."},
    {UiText::FamilyQuestion, "Do you want to open the download page of the Calda Sorvanto family?",
     "Wollen Sie die Download-Seite der Calda-Sorvanto-Familie öffnen?"},
    {UiText::HomepageQuestion, "Do you want to visit the CALDA homepage?",
     "Wollen Sie die Calda-Homepage besuchen?"},
    {UiText::Help, "Help", "Hilfe"},
    {UiText::ShortcutsMenu, "Keyboard shortcuts...", "Tastenbefehle..."},
    {UiText::ShortcutsCaption, "Keyboard shortcuts", "Tastenbefehle"},
    {UiText::About, "About...", "Über..."},
    {UiText::OpenFile, "Open file", "Datei öffnen"},
    {UiText::SaveAsWave, "Save as wave", "Als Wave-Datei speichern"},
    {UiText::SaveAsMp3, "Save as mp3", "Als MP3-Datei speichern"},
    {UiText::OpenFolder, "Open folder", "Ordner öffnen"},
    {UiText::OpenPlaylist, "Open playlist", "Playliste öffnen"},
    {UiText::SavePlaylist, "Save playlist", "Playliste speichern"},
    {UiText::Previous, "Previous", "Vorheriges Stück"},
    {UiText::Play, "Play", "Spielen"},
    {UiText::Pause, "Pause", {}},
    {UiText::Stop, "Stop", {}},
    {UiText::Next, "Next", "Nächstes Stück"},
    {UiText::LoopFile, "Loop file", "Stück loopen"},
    {UiText::ShowTitle, "Show title", "Titel anzeigen"},
    {UiText::Path, "Path", "Pfad"},
    {UiText::SoundFont, "Soundfont", "Aktiver Soundfont"},
    {UiText::ShowMeter, "Show meter", "Takt und Zählzeit anzeigen"},
    {UiText::ChangeVolume, "Change volume", "Lautstärke verändern"},
    {UiText::Volume, "Volume:", "Lautstärke:"},
    {UiText::ChangeTempo, "Change tempo", "Tempo verändern"},
    {UiText::NewTempo, "New tempo:", "Neues Tempo:"},
    {UiText::OriginalTempo, "Orig. tempo:", "Originaltempo:"},
    {UiText::Transpose, "Transpose", "Transponieren"},
    {UiText::TransposeHalfTone, "Transpose half tone", "um Halbton transponieren"},
    {UiText::HalfTones, "Half tones:", "Halbtöne:"},
    {UiText::ChangeKey, "Change key signature", "Tonart ändern"},
    {UiText::OriginalKey, "Original key:", "Originaltonart:"},
    {UiText::Meter, "Meter:", "Taktart:"},
    {UiText::TrackName, "Track name", "Spurname"},
    {UiText::NoMidiFileOpen, "No MIDI file open.", "Es ist keine Mididatei geladen!"},
    {UiText::ShortcutsNeedAFile, "You have to load a file to use keyboard shortcuts.",
     "Die Tastenbefehle können erst benutzt werden, wenn eine Datei geladen wurde."},
    {UiText::FileNotFound, "File not found", "Datei nicht vorhanden"},
    {UiText::CouldNotPlay, "The file could not be played.",
     "Die Datei konnte nicht abgespielt werden."},
    {UiText::CouldNotCreate, "The file \"%1\" could not be created!",
     "Die Datei \"%1\" konnte nicht gespeichert werden!"},
    {UiText::OperationCompleted, "Operation completed!", "Der Vorgang ist abgeschlossen!"},
    {UiText::SoundFontRefused, "The soundfont \"%1\" cannot be used.",
     "Der Soundfont \"%1\" kann nicht verwendet werden."},
    {UiText::QuitQuestion, "Do you really want to quit the program?",
     "Wollen Sie das Programm wirklich beenden?"},
    {UiText::MidiFilesFilter, "MIDI files", "MIDI-Dateien"},
    {UiText::PlaylistFilesFilter, "Playlist files", "Playlisten-Dateien"},
    {UiText::PlaylistFileFilter, "Playlist file", "Playlisten-Datei"},
    {UiText::ReplaceQuestion, "The file \"%1\" already exists.\n\nDo you want to replace it?",
     "Die Datei \"%1\" besteht bereits.\n\nMöchten Sie die Datei überschreiben?"},
    {UiText::ShortcutText,
     " Transport:\n<Space> Play/Pause\n<S> Stop\n<N> Next track\n<P> Previous track\n* All special "
     "media keys can be used!\n\n Playlist:\n<A> Show/Hide playlist\n<Arrow up or down> Navigate "
     "through the list\n<Enter> Play selected track\n<Backspace> Remove selected track\n<Del> "
     "Clear playlist\n\n General:\n<Q> Quit program\n<H> Show keyboard shortcuts\n\n",
     " Transport:\n<Leertaste> Play/Pause\n<S> Stop\n<N> nächstes Stück\n<P> vorheriges Stück\n* "
     "Es können alle Mediatasten benutzt werden!\n\n Playliste:\n<A> Playliste "
     "zeigen/verstecken\n<Pfeiltasten oben unten> Navigieren oben unten\n<Eingabetaste> "
     "Selektiertes Stück spielen\n<Rückschritttaste> Selektiertes Stück "
     "entfernen\n<Entfernentaste> Playliste löschen\n\n Allgemeine:\n<Q> Programm beenden\n<H> "
     "Tastenbefehle anzeigen\n\n"},
    {UiText::AboutText,
     "Calda Sorvanto 1.0.0\n\nPlays and converts MIDI songs with its own SoundFont synthesizer.",
     "Calda Sorvanto 1.0.0\n\nSpielt und konvertiert MIDI-Stücke mit einem eigenen "
     "SoundFont-Synthesizer."},
    {UiText::Classical, "Classical", "Klassik"},
    {UiText::Jazz, "Jazz", {}},
    {UiText::PopRock, "Pop/Rock", {}},
    {UiText::Folk, "Folk", {}},
    {UiText::ProductCaption, "Sorvanto", {}},
    {UiText::SaveListAsWave, "Save as wave", "Als Wave-Dateien speichern"},
    {UiText::SaveListAsMp3, "Save as mp3", "Als MP3-Dateien speichern"},
    {UiText::EnterText, "Enter text:", "Suchbegriff eingeben"},
    {UiText::Search, "Search", "Suchen"},
    {UiText::SearchNext, "Next", "Weiter suchen"},
    {UiText::Close, "Close", "Schließen"},
    {UiText::ClearPlaylist, "Clear playlist", "Liste löschen"},
    {UiText::ListFont, "List font", "Schriftart der Liste"},
    {UiText::CurrentSong, "Current song", "aktive Datei"},
    {UiText::RemoveSong, "Remove song", "Entfernen"},
    {UiText::RandomOrder, "Random order", "Zufallsreihenfolge"},
    {UiText::EndOfSearch, "End of search.", "Suche beendet."},
    {UiText::SearchCaption, "Search in playlist", "Suche"},
    {UiText::OneTitle, "The playlist has just one song!", "Die Playliste enthält nur einen Titel!"},
    {UiText::RandomOn, "Random is on!", "Zufallsreihenfolge ein!"},
    {UiText::RandomOff, "Random is off!", "Zufallsreihenfolge aus!"},
    {UiText::PlaylistQuitQuestion, "Do you want to quit the program?",
     "Wollen Sie das Programm verlassen?"},
    {UiText::ClearWholePlaylistQuestion, "Are you sure you want to clear the whole playlist?",
     "Soll die Playliste wirklich ganz gelöscht werden?"},
    {UiText::WaveFileFilter, "Wave file", "Wave-Datei"},
    {UiText::Mp3FileFilter, "MP3 file", "MP3-Datei"},
    {UiText::FlacFileFilter, "FLAC file", "FLAC-Datei"},
    {UiText::OggFileFilter, "Ogg Vorbis file", "Ogg-Vorbis-Datei"},
    {UiText::OpusFileFilter, "Opus file", "Opus-Datei"},
    {UiText::MediaPlayerFileFilter, "Mediaplayer file", "Mediaplayer-Datei"},
    {UiText::EncoderLoadError, "Error loading MP3-Encoder!",
     "MP3-Encoder konnte nicht geladen werden!"},
    {UiText::NoProgramFor, "No program is set up to open \"%1\".",
     "Für \"%1\" ist kein Programm zum Öffnen eingerichtet."},
    {UiText::ListenQuestion, "Do you want to listen to the audio file?",
     "Wollen Sie die Audiodatei anhören?"},
    {UiText::ListenOrBurnQuestion, "Do you want to listen to the files or burn them to a CD?",
     "Wollen Sie die gespeicherten Audiodateien anhören oder auf CD brennen?"},
    {UiText::TooLongForCd, "Too long for an audio CD.",
     "Die Gesamtspielzeit ist zu lang für eine Audio-CD."},
    {UiText::ConvertingProgress, "Converting file %1 of %2: %3 %",
     "Konvertiere Datei %1 von %2: %3 %"},
    {UiText::ConnectQuestion, "Do you want to connect to this site?\n\n%1",
     "Wollen Sie sich mit dieser Seite verbinden?\n\n%1"},
    {UiText::SavedAsWave, "The file(s) will be saved as Wave.",
     "Die Datei(en) wird(werden) als Wave gespeichert."},
    {UiText::SavedAsMp3, "The file(s) will be saved as MP3.",
     "Die Datei(en) wird(werden) als MP3 gespeichert."},
    {UiText::SavedAsFlac, "The file(s) will be saved as FLAC.",
     "Die Datei(en) wird(werden) als FLAC gespeichert."},
    {UiText::SavedAsOgg, "The file(s) will be saved as Ogg Vorbis.",
     "Die Datei(en) wird(werden) als Ogg Vorbis gespeichert."},
    {UiText::SavedAsOpus, "The file(s) will be saved as Opus.",
     "Die Datei(en) wird(werden) als Opus gespeichert."},
    {UiText::EncoderMissing, "The required MP3 Encoder was not found on your computer!",
     "Der erforderliche MP3-Encoder ist auf Ihrem Computer nicht vorhanden!"},
    {UiText::EncoderDownloadHere, "1) Here you can download the MP3 Encoder free of charge:",
     "1) Hier können Sie den MP3-Encoder kostenlos herunterladen:"},
    {UiText::EncoderDownloadNow, "Download MP3 Encoder now", "MP3-Encoder jetzt herunterladen"},
    {UiText::EncoderEnterPath, "2) Please enter here the path of the MP3 Encoder (gogo.dll):",
     "2) Geben Sie hier den Pfad zum MP3-Encoder (gogo.dll) ein:"},
    {UiText::Browse, "Browse...", "Durchsuchen..."},
    {UiText::Ok, "OK", {}},
    {UiText::Cancel, "Cancel", "Abbrechen"},
    {UiText::WhereIsEncoder, "Where is the MP3 Encoder Gogo?",
     "Wo befindet sich der MP3-Encoder Gogo?"},
    {UiText::EncoderFileFilter, "File \"gogo.dll\"", "Datei \"gogo.dll\""},
    {UiText::EnterValidPath, "Please enter a valid path!", "Geben Sie einen gültigen Pfad ein!"},
    {UiText::NotAWebAddress, "\"%1\" is not an http or https address.",
     "\"%1\" ist keine http- oder https-Adresse."},
    {UiText::ServerTimedOut, "the server did not answer in time.",
     "der Server hat nicht rechtzeitig geantwortet."},
    {UiText::ServerAnswered, "the server answered %1 %2.", "der Server antwortete %1 %2."},
    {UiText::ChooseMidiFolder, "Wählen Sie einen Ordner mit Midi-Dateien!", {}},
    {UiText::SavePlaylistTitle, "Playliste speichern", {}},
    {UiText::SoundFontsFilter, "Soundfonts", {}},
    {UiText::NoTitleField, "ohne Titel", {}},
    {UiText::TimeFieldOnOpen, "00:00:00", {}},
    {UiText::NoTempoField, "", {}},
    {UiText::AboutCaption, "CALDA Sorvanto", {}},
    {UiText::WindowTitle, "Calda Sorvanto", {}},
    {UiText::CompactWindowTitle, " Calda Sorvanto", {}},
    {UiText::CompactProgressTitle, " Calda Sorvanto - %1 %", {}},
    {UiText::NotSongs, "These files are not MIDI songs and were not added:",
     "Diese Dateien sind keine MIDI-Songs und wurden nicht hinzugefügt:"},
    {UiText::NoSoundDevice,
     "No sound device could be opened. Songs can still be converted to files.",
     "Es konnte kein Audiogerät geöffnet werden. Songs können weiterhin in Dateien umgewandelt "
     "werden."},
    {UiText::SongsAndPlaylistsFilter, "MIDI files and playlists", "MIDI-Dateien und Playlisten"},
    {UiText::AllFilesFilter, "All files", "Alle Dateien"},
    {UiText::RecentFiles, "Recent files", "Zuletzt geöffnet"},
    {UiText::Measure, "Measure:", "Takt:"},
    {UiText::GuideMissing, "The user guide \"%1\" could not be opened.",
     "Die Anleitung \"%1\" konnte nicht geöffnet werden."},
};

struct KeyRow {
    std::string_view boxGerman, boxEnglish, majorGerman, majorEnglish, minorGerman, minorEnglish;
};

constexpr std::array<KeyRow, kKeyItems> kKeys = {{
    {"Ces-dur / as-moll (7b)", "Cb-major / Ab-minor (7b)", "Ces-dur (7b)", "Cb-major (7b)",
     "as-moll (7b)", "Ab-minor (7b)"},
    {"Ges-dur / es-moll (6b)", "Gb-major / Eb-minor (6b)", "Ges-dur (6b)", "Gb-major (6b)",
     "es-moll (6b)", "Eb-minor (6b)"},
    {"Des-dur / b-moll (5b)", "Db-major / Bb-minor (5b)", "Des-dur (5b)", "Db-major (5b)",
     "b-moll (5b)", "Bb-minor (5b)"},
    {"As-dur / f-moll (4b)", "Ab-major / F-minor (4b)", "As-dur (4b)", "Ab-major (4b)",
     "f-moll (4b)", "F-minor (4b)"},
    {"Es-dur / c-moll (3b)", "Eb-major / C-minor (3b)", "Es-dur (3b)", "Eb-major (3b)",
     "c-moll (3b)", "C-minor (3b)"},
    {"B-dur / g-moll (2b)", "Bb-major / G-minor (2b)", "B-dur (2b)", "Bb-major (2b)", "g-moll (2b)",
     "G-minor (2b)"},
    {"F-dur / d-moll (1b)", "F-major / D-minor (1b)", "F-dur (1b)", "F-major (1b)", "d-moll (1b)",
     "D-minor (1b)"},
    {"C-dur / a-moll", "C-major / A-minor", "C-dur", "C-major", "a-moll", "A-minor"},
    {"G-dur / e-moll (1#)", "G-major / E-minor (1#)", "G-dur (1#)", "G-major (1#)", "e-moll (1#)",
     "E-minor (1#)"},
    {"D-dur / h-moll (2#)", "D-major / B-minor (2#)", "D-dur (2#)", "D-major (2#)", "h-moll (2#)",
     "B-minor (2#)"},
    {"A-dur / fis-moll (3#)", "A-major / F#-minor (3#)", "A-dur (3#)", "A-major (3#)",
     "fis-moll (3#)", "F#-minor (3#)"},
    {"E-dur / cis-moll (4#)", "E-major / C#-minor (4#)", "E-dur (4#)", "E-major (4#)",
     "cis-moll (4#)", "C#-minor (4#)"},
    {"H-dur / gis-moll (5#)", "B-major / G#-minor (5#)", "H-dur (5#)", "B-major (5#)",
     "gis-moll (5#)", "G#-minor (5#)"},
    {"Fis-dur / dis-moll (6#)", "F#-major / D#-minor (6#)", "Fis-dur (6#)", "F#-major (6#)",
     "dis-moll (6#)", "D#-minor (6#)"},
    {"Cis-dur / ais-moll (7#)", "C#-major / A#-minor (7#)", "Cis-dur (7#)", "C#-major (7#)",
     "ais-moll (7#)", "A#-minor (7#)"},
    // An unknown key shows nothing rather than a row of dashes.
    {"", "", "", "", "", ""},
}};

constexpr std::array<std::string_view, 128> kInstruments = {
    "Acoustic Grand Piano",
    "Bright Acoustic Piano",
    "Electric Grand Piano",
    "Honky-tonk Piano",
    "Electric Piano 1",
    "Electric Piano 2",
    "Harpsichord",
    "Clavi",
    "Celesta",
    "Glockenspiel",
    "Music Box",
    "Vibraphone",
    "Marimba",
    "Xylophone",
    "Tubular Bells",
    "Dulcimer",
    "Drawbar Organ",
    "Percussive Organ",
    "Rock Organ",
    "Church Organ",
    "Reed Organ",
    "Accordion",
    "Harmonica",
    "Tango Accordion",
    "Acoustic Guitar (Nylon)",
    "Acoustic Guitar (Steel)",
    "Electric Guitar (Jazz)",
    "Electric Guitar (Clean)",
    "Electric Guitar (Muted)",
    "Overdriven Guitar",
    "Distortion Guitar",
    "Guitar Harmonics",
    "Acoustic bass",
    "Electric Bass (Finger)",
    "Electric Bass (Pick)",
    "Fretless Bass",
    "Slap Bass 1",
    "Slap Bass 2",
    "Synth Bass 1",
    "Synth Bass 2",
    "Violin",
    "Viola",
    "Cello",
    "Contrabass",
    "Tremolo Strings",
    "Pizzicato Strings",
    "Orchestral Harp",
    "Timpani",
    "String Ensemble 1",
    "String Ensemble 2",
    "Synth Strings 1",
    "Synth Strings 2",
    "Choir Aahs",
    "Voice Oohs",
    "Synth Voice",
    "Orchestra Hit",
    "Trumpet",
    "Trombone",
    "Tuba",
    "Muted Trumpet",
    "French Horn",
    "Brass Section",
    "Synth Brass 1",
    "Synth Brass 2",
    "Soprano Sax",
    "Alto Sax",
    "Tenor Sax",
    "Baritone Sax",
    "Oboe",
    "English Horn",
    "Bassoon",
    "Clarinet",
    "Piccolo",
    "Flute",
    "Recorder",
    "Pan Flute",
    "Blown Bottle",
    "Shakuhachi",
    "Whistle",
    "Ocarina",
    "Lead 1 (Square)",
    "Lead 2 (Sawtooth)",
    "Lead 3 (Calliope)",
    "Lead 4 (Chiff)",
    "Lead 5 (Charang)",
    "Lead 6 (Voice)",
    "Lead 7 (Fifths)",
    "Lead 8 (Bass + Lead)",
    "Pad 1 (New Age)",
    "Pad 2 (Warm)",
    "Pad 3 (Polysynth)",
    "Pad 4 (Choir)",
    "Pad 5 (Bowed)",
    "Pad 6 (Metallic)",
    "Pad 7 (Halo)",
    "Pad 8 (Sweep)",
    "FX 1 (Rain)",
    "FX 2 (Soundtrack)",
    "FX 3 (Crystal)",
    "FX 4 (Atmosphere)",
    "FX 5 (Brightness)",
    "FX 6 (Goblins)",
    "FX  7 (Echoes)",
    "FX 8 (Sci-fi)",
    "Sitar",
    "Banjo",
    "Shamisen",
    "Koto",
    "Kalimba",
    "Bagpipes",
    "Fiddle",
    "Shanai",
    "Tinkle Bell",
    "Agogo",
    "Steel Drums",
    "Wood Block",
    "Taiko Drum",
    "Melodic Drum",
    "Synth Drum",
    "Reverse Cymbal",
    "Guitar Fret Noise",
    "Breath Noise",
    "Seashore",
    "Bird Tweet",
    "Telephone Ring",
    "Helicopter",
    "Applause",
    "Gunshot",
};

constexpr bool inOrder() {
    int index = 0;
    for (const TextRow& row : kTexts)
        if (static_cast<int>(row.id) != index++) return false;
    return index == static_cast<int>(UiText::Count);
}
static_assert(inOrder(), "kTexts must list every UiText once, in order");

}  // namespace

std::string_view uiText(UiText id, Language language) {
    const auto index = static_cast<size_t>(id);
    if (index >= std::size(kTexts)) return {};
    const TextRow& row = kTexts[index];
    return language == Language::German && !row.german.empty() ? row.german : row.english;
}

std::string_view keyBoxText(int item, Language language) {
    if (item < 0 || item >= kKeyItems) item = kUnknownKeyItem;
    const KeyRow& row = kKeys[static_cast<size_t>(item)];
    return language == Language::German ? row.boxGerman : row.boxEnglish;
}

std::string_view keyText(int item, bool minor, Language language) {
    if (item < 0 || item >= kKeyItems) item = kUnknownKeyItem;
    const KeyRow& row = kKeys[static_cast<size_t>(item)];
    if (minor) return language == Language::German ? row.minorGerman : row.minorEnglish;
    return language == Language::German ? row.majorGerman : row.majorEnglish;
}

std::string_view instrumentName(int program) {
    if (program < 0 || program >= 128) return {};
    return kInstruments[static_cast<size_t>(program)];
}

std::string fillText(std::string_view text, std::initializer_list<std::string_view> arguments) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        const auto argument = static_cast<size_t>(next - '1');
        if (text[i] == '%' && next >= '1' && next <= '9' && argument < arguments.size()) {
            out += *(arguments.begin() + argument);
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace svt
