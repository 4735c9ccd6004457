; The Windows installer, made by makensis on Linux (cmake --build --preset windows --target
; installer). The build passes: VERSION, OUTFILE, BIN (the folder with sorvanto-cli.exe and
; gogo.dll), FONT and FONT_LICENCE, LICENCES (the libraries' licence texts), README, GUIDE (the
; user guide's folder, which the desktop program opens with F1), and GUI when the build has
; sorvanto.exe.
;
; Silent use: "sorvanto-setup-VERSION.exe /S [/D=FOLDER]" installs; "uninstall.exe /S" removes
; everything the installer made and keeps the user's settings, "/RemoveSettings" removes those
; too. Without /S the uninstaller asks about the settings.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh

!define PRODUCT "Sorvanto"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Sorvanto"
!define PROGID "Sorvanto.Song"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; The first language is the one for systems in neither language.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"

LangString SongType ${LANG_ENGLISH} "MIDI song"
LangString SongType ${LANG_GERMAN} "MIDI-Stück"
LangString CommandLine ${LANG_ENGLISH} "Sorvanto command line"
LangString CommandLine ${LANG_GERMAN} "Sorvanto-Befehlszeile"
LangString ReadMe ${LANG_ENGLISH} "Read me"
LangString ReadMe ${LANG_GERMAN} "Liesmich"
LangString Uninstall ${LANG_ENGLISH} "Uninstall Sorvanto"
LangString Uninstall ${LANG_GERMAN} "Sorvanto deinstallieren"
LangString Needs64 ${LANG_ENGLISH} "Sorvanto needs a 64-bit Windows."
LangString Needs64 ${LANG_GERMAN} "Sorvanto braucht ein 64-Bit-Windows."
LangString RemoveSettings ${LANG_ENGLISH} "Remove your Sorvanto settings too (window places, links, conversion format)?"
LangString RemoveSettings ${LANG_GERMAN} "Auch Ihre Sorvanto-Einstellungen entfernen (Fensterpositionen, Links, Konvertierungsformat)?"

; What opening a song starts: the desktop program's main window where the build has it,
; else the command line's player in a console.
!ifdef GUI
  !define OPEN_PROGRAM "sorvanto.exe"
  !define OPEN_COMMAND '"$INSTDIR\sorvanto.exe" --open "%1"'
!else
  !define OPEN_PROGRAM "sorvanto-cli.exe"
  !define OPEN_COMMAND '"$INSTDIR\sorvanto-cli.exe" play "%1"'
!endif

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "$(Needs64)" /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

; An extension's own default value is remembered in the uninstall key, so that removing
; Sorvanto gives the extension back to the program that had it.
!macro Associate EXT
  ReadRegStr $0 HKLM "Software\Classes\${EXT}" ""
  ${If} $0 != "${PROGID}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Previous${EXT}" "$0"
  ${EndIf}
  WriteRegStr HKLM "Software\Classes\${EXT}" "" "${PROGID}"
  WriteRegStr HKLM "Software\Classes\${EXT}\OpenWithProgids" "${PROGID}" ""
  WriteRegStr HKLM "Software\Classes\Applications\${OPEN_PROGRAM}\SupportedTypes" "${EXT}" ""
!macroend

!macro Unassociate EXT
  DeleteRegValue HKLM "Software\Classes\${EXT}\OpenWithProgids" "${PROGID}"
  DeleteRegKey /ifempty HKLM "Software\Classes\${EXT}\OpenWithProgids"
  ReadRegStr $0 HKLM "Software\Classes\${EXT}" ""
  ${If} $0 == "${PROGID}"
    ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "Previous${EXT}"
    ${If} $1 == ""
      DeleteRegValue HKLM "Software\Classes\${EXT}" ""
    ${Else}
      WriteRegStr HKLM "Software\Classes\${EXT}" "" "$1"
    ${EndIf}
  ${EndIf}
  DeleteRegKey /ifempty HKLM "Software\Classes\${EXT}"
!macroend

Section
  SetOutPath "$INSTDIR"
  File "${BIN}/sorvanto-cli.exe"
  File "${BIN}/gogo.dll"
!ifdef GUI
  File "${BIN}/sorvanto.exe"
!endif
  ; The program takes "Sorvanto.sf2" beside itself; the reader knows a compressed font by its
  ; contents, not by its name.
  File "/oname=Sorvanto.sf2" "${FONT}"
  File "/oname=Sorvanto.sf2 licence.txt" "${FONT_LICENCE}"
  File "/oname=README.md" "${README}"
  SetOutPath "$INSTDIR\licences"
  File "${LICENCES}/*.txt"
!ifdef GUI
  ; F1 opens guide\<language>\index.html beside the program.
  SetOutPath "$INSTDIR\guide"
  File "${GUIDE}/guide.css"
  SetOutPath "$INSTDIR\guide\en"
  File "${GUIDE}/en/index.html"
  SetOutPath "$INSTDIR\guide\de"
  File "${GUIDE}/de/index.html"
!endif
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
!ifdef GUI
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\sorvanto.exe"
!endif
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\$(CommandLine).lnk" "$SYSDIR\cmd.exe" \
    '/k "cd /d "$INSTDIR" && sorvanto-cli.exe --help"'
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\$(ReadMe).lnk" "$INSTDIR\README.md"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\$(Uninstall).lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "Software\Classes\${PROGID}" "" "$(SongType)"
  WriteRegStr HKLM "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\${OPEN_PROGRAM},0"
  WriteRegStr HKLM "Software\Classes\${PROGID}\shell\open\command" "" '${OPEN_COMMAND}'
  WriteRegStr HKLM "Software\Classes\Applications\${OPEN_PROGRAM}\shell\open\command" "" '${OPEN_COMMAND}'
  !insertmacro Associate ".mid"
  !insertmacro Associate ".midi"
  !insertmacro Associate ".rmi"
  !insertmacro Associate ".kar"
  ; SHCNE_ASSOCCHANGED: Explorer shows the new icons and verbs at once.
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Brenkow Europe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${OPEN_PROGRAM}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section Uninstall
  Delete "$INSTDIR\sorvanto-cli.exe"
  Delete "$INSTDIR\sorvanto.exe"
  Delete "$INSTDIR\gogo.dll"
  Delete "$INSTDIR\Sorvanto.sf2"
  Delete "$INSTDIR\Sorvanto.sf2 licence.txt"
  Delete "$INSTDIR\README.md"
  RMDir /r "$INSTDIR\licences"
  RMDir /r "$INSTDIR\guide"
  Delete "$INSTDIR\uninstall.exe"
  ; Only an empty folder goes: files a user put there stay with it.
  RMDir "$INSTDIR"
  RMDir /r "$SMPROGRAMS\${PRODUCT}"

  !insertmacro Unassociate ".mid"
  !insertmacro Unassociate ".midi"
  !insertmacro Unassociate ".rmi"
  !insertmacro Unassociate ".kar"
  DeleteRegKey HKLM "Software\Classes\${PROGID}"
  DeleteRegKey HKLM "Software\Classes\Applications\sorvanto.exe"
  DeleteRegKey HKLM "Software\Classes\Applications\sorvanto-cli.exe"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ; The settings are the user's: they go only when asked.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/RemoveSettings" $1
  ${If} ${Errors}
    ${IfNot} ${Silent}
      MessageBox MB_YESNO|MB_DEFBUTTON2|MB_ICONQUESTION "$(RemoveSettings)" IDNO keep
    ${Else}
      Goto keep
    ${EndIf}
  ${EndIf}
  DeleteRegKey HKCU "Software\Brenkow Europe\Calda Sorvanto"
  DeleteRegKey /ifempty HKCU "Software\Brenkow Europe"
  DeleteRegKey HKCU "Software\Brenkow Zevudo\Calda Sorvanto"
  DeleteRegKey /ifempty HKCU "Software\Brenkow Zevudo"
  keep:
SectionEnd
