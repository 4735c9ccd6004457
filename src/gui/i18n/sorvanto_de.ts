<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>Sorvanto</name>
    <message>
        <source>Playlist</source>
        <translation>Playliste</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Open...</source>
        <translation>Öffnen...</translation>
    </message>
    <message>
        <source>Open folder...</source>
        <translation>Ordner öffnen...</translation>
    </message>
    <message>
        <source>Convert file to...</source>
        <translation>Datei konvertieren als...</translation>
    </message>
    <message>
        <source>Close file</source>
        <translation>Datei schließen</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Save...</source>
        <translation>Speichern...</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Do you really want to clear the playlist?</source>
        <translation>Soll die Playliste wirklich ganz gelöscht werden?</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Exportieren</translation>
    </message>
    <message>
        <source>Media Player...</source>
        <translation>Media Player...</translation>
    </message>
    <message>
        <source>Preferences</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Change soundfont...</source>
        <translation>Soundfont ändern...</translation>
    </message>
    <message>
        <source>Drag and Drop</source>
        <translation>Drag and Drop</translation>
    </message>
    <message>
        <source>Wave</source>
        <translation>Wave</translation>
    </message>
    <message>
        <source>MP3</source>
        <translation>MP3</translation>
    </message>
    <message>
        <source>Windows</source>
        <translation>Fenster</translation>
    </message>
    <message>
        <source>MIDI Links</source>
        <translation>Midi-Links</translation>
    </message>
    <message>
        <source>MIDI Search Engines</source>
        <translation>Midi-Suchmaschinen</translation>
    </message>
    <message>
        <source>Update links...</source>
        <translation>Links aktualisieren...</translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>Downloads</translation>
    </message>
    <message>
        <source>Gogo Encoder...</source>
        <translation>Gogo-Encoder...</translation>
    </message>
    <message>
        <source>Do you want to download the MP3 Encoder Gogo (gogo.dll)?</source>
        <translation>Wollen Sie den MP3-Converter Gogo (gogo.dll) herunterladen?</translation>
    </message>
    <message>
        <source>Calda Sorvanto family...</source>
        <translation>Calda-Sorvanto-Familie...</translation>
    </message>
    <message>
        <source>Do you want to open the download page of the Calda Sorvanto family?</source>
        <translation>Wollen Sie die Download-Seite der Calda-Sorvanto-Familie öffnen?</translation>
    </message>
    <message>
        <source>Do you want to visit the CALDA homepage?</source>
        <translation>Wollen Sie die Calda-Homepage besuchen?</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Keyboard shortcuts...</source>
        <translation>Tastenbefehle...</translation>
    </message>
    <message>
        <source>Keyboard shortcuts</source>
        <translation>Tastenbefehle</translation>
    </message>
    <message>
        <source>About...</source>
        <translation>Über...</translation>
    </message>
    <message>
        <source>Open file</source>
        <translation>Datei öffnen</translation>
    </message>
    <message>
        <source>Save as wave</source>
        <translation>Als Wave-Datei speichern</translation>
    </message>
    <message>
        <source>Save as mp3</source>
        <translation>Als MP3-Datei speichern</translation>
    </message>
    <message>
        <source>Open folder</source>
        <translation>Ordner öffnen</translation>
    </message>
    <message>
        <source>Open playlist</source>
        <translation>Playliste öffnen</translation>
    </message>
    <message>
        <source>Save playlist</source>
        <translation>Playliste speichern</translation>
    </message>
    <message>
        <source>Previous</source>
        <translation>Vorheriges Stück</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Spielen</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Nächstes Stück</translation>
    </message>
    <message>
        <source>Loop file</source>
        <translation>Stück loopen</translation>
    </message>
    <message>
        <source>Show title</source>
        <translation>Titel anzeigen</translation>
    </message>
    <message>
        <source>Path</source>
        <translation>Pfad</translation>
    </message>
    <message>
        <source>Soundfont</source>
        <translation>Aktiver Soundfont</translation>
    </message>
    <message>
        <source>Show meter</source>
        <translation>Takt und Zählzeit anzeigen</translation>
    </message>
    <message>
        <source>Change volume</source>
        <translation>Lautstärke verändern</translation>
    </message>
    <message>
        <source>Volume:</source>
        <translation>Lautstärke:</translation>
    </message>
    <message>
        <source>Change tempo</source>
        <translation>Tempo verändern</translation>
    </message>
    <message>
        <source>New tempo:</source>
        <translation>Neues Tempo:</translation>
    </message>
    <message>
        <source>Orig. tempo:</source>
        <translation>Originaltempo:</translation>
    </message>
    <message>
        <source>Transpose</source>
        <translation>Transponieren</translation>
    </message>
    <message>
        <source>Transpose half tone</source>
        <translation>um Halbton transponieren</translation>
    </message>
    <message>
        <source>Half tones:</source>
        <translation>Halbtöne:</translation>
    </message>
    <message>
        <source>Change key signature</source>
        <translation>Tonart ändern</translation>
    </message>
    <message>
        <source>Original key:</source>
        <translation>Originaltonart:</translation>
    </message>
    <message>
        <source>Meter:</source>
        <translation>Taktart:</translation>
    </message>
    <message>
        <source>Track name</source>
        <translation>Spurname</translation>
    </message>
    <message>
        <source>No MIDI file open.</source>
        <translation>Es ist keine Mididatei geladen!</translation>
    </message>
    <message>
        <source>You have to load a file to use keyboard shortcuts.</source>
        <translation>Die Tastenbefehle können erst benutzt werden, wenn eine Datei geladen wurde.</translation>
    </message>
    <message>
        <source>File not found</source>
        <translation>Datei nicht vorhanden</translation>
    </message>
    <message>
        <source>The file could not be played.</source>
        <translation>Die Datei konnte nicht abgespielt werden.</translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; could not be created!</source>
        <translation>Die Datei &quot;%1&quot; konnte nicht gespeichert werden!</translation>
    </message>
    <message>
        <source>Operation completed!</source>
        <translation>Der Vorgang ist abgeschlossen!</translation>
    </message>
    <message>
        <source>The soundfont &quot;%1&quot; cannot be used.</source>
        <translation>Der Soundfont &quot;%1&quot; kann nicht verwendet werden.</translation>
    </message>
    <message>
        <source>Do you really want to quit the program?</source>
        <translation>Wollen Sie das Programm wirklich beenden?</translation>
    </message>
    <message>
        <source>MIDI files (*.mid)</source>
        <translation>MIDI-Dateien (*.mid)</translation>
    </message>
    <message>
        <source>Playlist files (*.pli)</source>
        <translation>Playlisten-Dateien (*.pli)</translation>
    </message>
    <message>
        <source>Playlist file (*.pli)</source>
        <translation>Playlisten-Datei (*.pli)</translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; already exists.

Do you want to replace it?</source>
        <translation>Die Datei &quot;%1&quot; besteht bereits.

Möchten Sie die Datei überschreiben?</translation>
    </message>
    <message>
        <source> Transport:
&lt;Space&gt; Play/Pause
&lt;S&gt; Stop
&lt;N&gt; Next track
&lt;P&gt; Previous track
* All special media keys can be used!

 Playlist:
&lt;A&gt; Show/Hide playlist
&lt;Arrow up or down&gt; Navigate through the list
&lt;Enter&gt; Play selected track
&lt;Backspace&gt; Remove selected track
&lt;Del&gt; Clear playlist

 General:
&lt;Q&gt; Quit program
&lt;H&gt; Show keyboard shortcuts

</source>
        <translation> Transport:
&lt;Leertaste&gt; Play/Pause
&lt;S&gt; Stop
&lt;N&gt; nächstes Stück
&lt;P&gt; vorheriges Stück
* Es können alle Mediatasten benutzt werden!

 Playliste:
&lt;A&gt; Playliste zeigen/verstecken
&lt;Pfeiltasten oben unten&gt; Navigieren oben unten
&lt;Eingabetaste&gt; Selektiertes Stück spielen
&lt;Rückschritttaste&gt; Selektiertes Stück entfernen
&lt;Entfernentaste&gt; Playliste löschen

 Allgemeine:
&lt;Q&gt; Programm beenden
&lt;H&gt; Tastenbefehle anzeigen

</translation>
    </message>
    <message>
        <source>Calda Sorvanto 1.0.0

Plays and converts MIDI songs with its own SoundFont synthesizer.</source>
        <translation>Calda Sorvanto 1.0.0

Spielt und konvertiert MIDI-Stücke mit einem eigenen SoundFont-Synthesizer.</translation>
    </message>
    <message>
        <source>Classical</source>
        <translation>Klassik</translation>
    </message>
    <message>
        <source>Jazz</source>
        <translation>Jazz</translation>
    </message>
    <message>
        <source>Pop/Rock</source>
        <translation>Pop/Rock</translation>
    </message>
    <message>
        <source>Folk</source>
        <translation>Folk</translation>
    </message>
    <message>
        <source>Sorvanto</source>
        <translation>Sorvanto</translation>
    </message>
    <message>
        <source>Save as wave</source>
        <comment>playlist</comment>
        <translation>Als Wave-Dateien speichern</translation>
    </message>
    <message>
        <source>Save as mp3</source>
        <comment>playlist</comment>
        <translation>Als MP3-Dateien speichern</translation>
    </message>
    <message>
        <source>Enter text:</source>
        <translation>Suchbegriff eingeben</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>Next</source>
        <comment>search</comment>
        <translation>Weiter suchen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Clear playlist</source>
        <translation>Liste löschen</translation>
    </message>
    <message>
        <source>List font</source>
        <translation>Schriftart der Liste</translation>
    </message>
    <message>
        <source>Current song</source>
        <translation>aktive Datei</translation>
    </message>
    <message>
        <source>Remove song</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Random order</source>
        <translation>Zufallsreihenfolge</translation>
    </message>
    <message>
        <source>End of search.</source>
        <translation>Suche beendet.</translation>
    </message>
    <message>
        <source>Search in playlist</source>
        <translation>Suche</translation>
    </message>
    <message>
        <source>The playlist has just one song!</source>
        <translation>Die Playliste enthält nur einen Titel!</translation>
    </message>
    <message>
        <source>Random is on!</source>
        <translation>Zufallsreihenfolge ein!</translation>
    </message>
    <message>
        <source>Random is off!</source>
        <translation>Zufallsreihenfolge aus!</translation>
    </message>
    <message>
        <source>Do you want to quit the program?</source>
        <translation>Wollen Sie das Programm verlassen?</translation>
    </message>
    <message>
        <source>Are you sure you want to clear the whole playlist?</source>
        <translation>Soll die Playliste wirklich ganz gelöscht werden?</translation>
    </message>
    <message>
        <source>Wave file (*.wav)</source>
        <translation>Wave-Datei (*.wav)</translation>
    </message>
    <message>
        <source>MP3 file (*.mp3)</source>
        <translation>MP3-Datei (*.mp3)</translation>
    </message>
    <message>
        <source>Mediaplayer file (*.wpl)</source>
        <translation>Mediaplayer-Datei (*.wpl)</translation>
    </message>
    <message>
        <source>Error loading MP3-Encoder!</source>
        <translation>MP3-Encoder konnte nicht geladen werden!</translation>
    </message>
    <message>
        <source>No program is set up to open &quot;%1&quot;.</source>
        <translation>Für &quot;%1&quot; ist kein Programm zum Öffnen eingerichtet.</translation>
    </message>
    <message>
        <source>Do you want to listen to the audio file?</source>
        <translation>Wollen Sie die Audiodatei anhören?</translation>
    </message>
    <message>
        <source>Do you want to listen to the files or burn them to a CD?</source>
        <translation>Wollen Sie die gespeicherten Audiodateien anhören oder auf CD brennen?</translation>
    </message>
    <message>
        <source>Too long for an audio CD.</source>
        <translation>Die Gesamtspielzeit ist zu lang für eine Audio-CD.</translation>
    </message>
    <message>
        <source>Converting file %1 of %2: %3 %</source>
        <translation>Konvertiere Datei %1 von %2: %3 %</translation>
    </message>
    <message>
        <source>Do you want to connect to this site?

%1</source>
        <translation>Wollen Sie sich mit dieser Seite verbinden?

%1</translation>
    </message>
    <message>
        <source>The file(s) will be saved as Wave.</source>
        <translation>Die Datei(en) wird(werden) als Wave gespeichert.</translation>
    </message>
    <message>
        <source>The file(s) will be saved as MP3.</source>
        <translation>Die Datei(en) wird(werden) als MP3 gespeichert.</translation>
    </message>
    <message>
        <source>The required MP3 Encoder was not found on your computer!</source>
        <translation>Der erforderliche MP3-Encoder ist auf Ihrem Computer nicht vorhanden!</translation>
    </message>
    <message>
        <source>1) Here you can download the MP3 Encoder free of charge:</source>
        <translation>1) Hier können Sie den MP3-Encoder kostenlos herunterladen:</translation>
    </message>
    <message>
        <source>Download MP3 Encoder now</source>
        <translation>MP3-Encoder jetzt herunterladen</translation>
    </message>
    <message>
        <source>2) Please enter here the path of the MP3 Encoder (gogo.dll):</source>
        <translation>2) Geben Sie hier den Pfad zum MP3-Encoder (gogo.dll) ein:</translation>
    </message>
    <message>
        <source>Browse...</source>
        <translation>Durchsuchen...</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Where is the MP3 Encoder Gogo?</source>
        <translation>Wo befindet sich der MP3-Encoder Gogo?</translation>
    </message>
    <message>
        <source>File &quot;gogo.dll&quot;</source>
        <translation>Datei &quot;gogo.dll&quot;</translation>
    </message>
    <message>
        <source>Please enter a valid path!</source>
        <translation>Geben Sie einen gültigen Pfad ein!</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not an http or https address.</source>
        <translation>&quot;%1&quot; ist keine http- oder https-Adresse.</translation>
    </message>
    <message>
        <source>the server did not answer in time.</source>
        <translation>der Server hat nicht rechtzeitig geantwortet.</translation>
    </message>
    <message>
        <source>the server answered %1 %2.</source>
        <translation>der Server antwortete %1 %2.</translation>
    </message>
    <message>
        <source>These files are not MIDI songs and were not added:</source>
        <translation>Diese Dateien sind keine MIDI-Songs und wurden nicht hinzugefügt:</translation>
    </message>
    <message>
        <source>No sound device could be opened. Songs can still be converted to files.</source>
        <translation>Es konnte kein Audiogerät geöffnet werden. Songs können weiterhin in Dateien umgewandelt werden.</translation>
    </message>
</context>
</TS>
