#pragma once
// DesktopServices with the Windows API: message boxes, the common open and save dialogs and
// the shell's folder browser, the shell's open verb for pages and files, the link-list request
// over WinHTTP in a thread of its own (its answer comes back as mail), and the progress on the
// taskbar button through ITaskbarList3.

#include <atomic>
#include <thread>

#include "desktop/DesktopServices.h"
#include "win32/Win.h"

struct ITaskbarList3;

namespace svt::win32 {

class Win32Services final : public DesktopServices {
  public:
    Win32Services(Language language, WindowMail& mail) : language_(language), mail_(mail) {}
    ~Win32Services() override;

    // The window that owns the dialogs and carries the taskbar progress.
    void setOwner(HWND owner) { owner_ = owner; }

    void inform(const std::string& text, const std::string& caption) override;
    bool confirm(const std::string& text, const std::string& caption) override;
    FileDialogResult chooseFiles(const FileDialogRequest& request) override;
    bool openUrl(const std::string& url) override;
    bool openFile(const std::string& path) override;
    bool post(const HttpRequest& request, std::function<void(const HttpReply&)> done) override;
    void setTaskbarProgress(double progress) override;
    bool locateEncoder(std::function<bool(const std::string&)> tryPath,
                       std::function<void()> download) override;

  private:
    std::wstring caption(const std::string& given) const;

    const Language language_;
    WindowMail& mail_;
    HWND owner_ = nullptr;
    std::thread http_;
    std::atomic<bool> httpBusy_{false};
    ITaskbarList3* taskbar_ = nullptr;
    bool taskbarTried_ = false;
};

// The double-NUL-ended filter list of the common file dialogs: "text (*.a;*.b)", "*.a;*.b".
std::wstring dialogFilters(const std::vector<FileFilter>& filters);
// The names the open dialog returns with multiple selection: one full path, or the folder
// followed by the chosen names, each ended by a NUL and the whole by a second.
std::vector<std::string> chosenNames(const wchar_t* buffer, size_t capacity);

// One POST over WinHTTP with the request's limits: only http and https addresses (https
// encrypted), at most maxReplyBytes of the body read, every step within timeoutMs.
HttpReply postOverWinHttp(const HttpRequest& request, Language language);

}  // namespace svt::win32
