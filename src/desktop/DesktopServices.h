#pragma once
// What the desktop model asks of the desktop it runs on: message boxes, file dialogs, the
// desktop's own application for a web page or a file, one HTTP request, progress on the
// taskbar entry and the encoder's location dialog. Each front-end implements it with its
// toolkit; tests answer it without a display. Every call comes from the window thread, and
// the dialogs are modal: they return what the user chose.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace svt {

struct FileFilter {
    std::string text;                   // "MIDI files (*.mid)"
    std::vector<std::string> patterns;  // "*.mid", "*.smf"
};

struct FileDialogRequest {
    enum class Mode { OpenFiles, OpenFile, SaveFile, Folder };
    Mode mode = Mode::OpenFile;
    std::string title;  // empty: the desktop's own
    std::vector<FileFilter> filters;
    std::string folder;         // where the dialog starts; empty: the desktop's choice
    std::string suggested;      // SaveFile: the full name offered
    std::string defaultSuffix;  // SaveFile: added to a name typed without one
};

struct FileDialogResult {
    std::vector<std::string> paths;  // empty: cancelled
    int filter = 0;                  // the index of the filter in force when the user chose
};

struct HttpRequest {
    std::string url;
    std::string body;  // sent as a form (application/x-www-form-urlencoded) with POST
    size_t maxReplyBytes = 0;
    int timeoutMs = 0;
};

struct HttpReply {
    bool ok = false;
    std::string body;   // at most maxReplyBytes; a longer answer is cut and still ok
    std::string error;  // when not ok: one sentence that says why
};

class DesktopServices {
  public:
    virtual ~DesktopServices() = default;

    // A message box with an OK button.
    virtual void inform(const std::string& text, const std::string& caption) = 0;
    // A Yes/No question; true for Yes.
    virtual bool confirm(const std::string& text, const std::string& caption) = 0;
    virtual FileDialogResult chooseFiles(const FileDialogRequest& request) = 0;
    // Hands an http(s) address or a local file to the desktop's application for it; false
    // when none takes it.
    virtual bool openUrl(const std::string& url) = 0;
    virtual bool openFile(const std::string& path) = 0;
    // One request at a time: false (and no call of `done`) while one is under way. Otherwise
    // `done` follows exactly once, on the window thread, also for an address refused at once.
    virtual bool post(const HttpRequest& request, std::function<void(const HttpReply&)> done) = 0;
    // 0..1 on the program's taskbar or dock entry; below 0 takes it away.
    virtual void setTaskbarProgress(double progress) = 0;
    // Asks where the MP3 encoder library lies. `tryPath` loads the library from a path and keeps
    // the path; `download` opens the encoder's download page, and is empty when there is no
    // page to offer (the dialog then offers none). True when the user named a
    // library that loads.
    virtual bool locateEncoder(std::function<bool(const std::string&)> tryPath,
                               std::function<void()> download) = 0;
};

}  // namespace svt
