#include "win32/Win32Services.h"

#include "win32/EncoderDialog.h"

#include <commdlg.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace svt::win32 {
namespace {

// Room for many names chosen at once in the open dialog.
constexpr size_t kNameBufferChars = 1 << 16;

std::string folderOfPath(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

std::string fileOfPath(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

std::wstring dialogFilters(const std::vector<FileFilter>& filters) {
    std::wstring out;
    for (const FileFilter& filter : filters) {
        std::string patterns;
        for (const std::string& p : filter.patterns) {
            if (!patterns.empty()) patterns += ';';
            patterns += p;
        }
        out += wide(filter.text + " (" + patterns + ")");
        out += L'\0';
        out += wide(patterns);
        out += L'\0';
    }
    out += L'\0';
    return out;
}

std::vector<std::string> chosenNames(const wchar_t* buffer, size_t capacity) {
    std::vector<std::wstring> parts;
    size_t at = 0;
    while (at < capacity && buffer[at] != L'\0') {
        size_t end = at;
        while (end < capacity && buffer[end] != L'\0') ++end;
        if (end == capacity) break;  // not ended: nothing the dialog wrote
        parts.emplace_back(buffer + at, end - at);
        at = end + 1;
    }
    std::vector<std::string> out;
    if (parts.size() == 1) {
        out.push_back(utf8(parts.front()));
    } else if (parts.size() > 1) {
        std::wstring folder = parts.front();
        if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
        for (size_t i = 1; i < parts.size(); ++i) out.push_back(utf8(folder + parts[i]));
    }
    return out;
}

Win32Services::~Win32Services() {
    if (http_.joinable()) http_.join();
    if (taskbar_) taskbar_->Release();
}

std::wstring Win32Services::caption(const std::string& given) const {
    return given.empty() ? wtext(UiText::ProductCaption, language_) : wide(given);
}

void Win32Services::inform(const std::string& text, const std::string& caption) {
    ::MessageBoxW(owner_, wide(text).c_str(), this->caption(caption).c_str(),
                  MB_OK | MB_ICONINFORMATION);
}

bool Win32Services::confirm(const std::string& text, const std::string& caption) {
    return ::MessageBoxW(owner_, wide(text).c_str(), this->caption(caption).c_str(),
                         MB_YESNO | MB_ICONQUESTION) == IDYES;
}

FileDialogResult Win32Services::chooseFiles(const FileDialogRequest& request) {
    using Mode = FileDialogRequest::Mode;
    FileDialogResult result;
    const std::wstring title = wide(request.title);
    if (request.mode == Mode::Folder) {
        BROWSEINFOW browse{};
        browse.hwndOwner = owner_;
        browse.lpszTitle = title.empty() ? nullptr : title.c_str();
        browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
        PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&browse);
        if (!chosen) return result;
        std::vector<wchar_t> path(MAX_PATH * 4, L'\0');
        if (::SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()),
                                    GPFIDL_DEFAULT))
            result.paths.push_back(utf8(path.data()));
        ::CoTaskMemFree(chosen);
        return result;
    }

    std::vector<wchar_t> names(kNameBufferChars, L'\0');
    std::wstring folder = wide(request.folder);
    if (request.mode == Mode::SaveFile && !request.suggested.empty()) {
        const std::wstring offered = wide(fileOfPath(request.suggested));
        std::copy_n(offered.begin(), std::min(offered.size(), names.size() - 1), names.begin());
        const std::string suggestedFolder = folderOfPath(request.suggested);
        if (!suggestedFolder.empty()) folder = wide(suggestedFolder);
    }
    const std::wstring filters = dialogFilters(request.filters);
    std::wstring suffix = wide(request.defaultSuffix);
    if (!suffix.empty() && suffix.front() == L'.') suffix.erase(0, 1);

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner_;
    dialog.lpstrFilter = request.filters.empty() ? nullptr : filters.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = names.data();
    dialog.nMaxFile = static_cast<DWORD>(names.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
    dialog.lpstrDefExt = suffix.empty() ? nullptr : suffix.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    bool chosen = false;
    if (request.mode == Mode::SaveFile) {
        // The model asks its own question before a file is replaced.
        dialog.Flags |= OFN_PATHMUSTEXIST;
        chosen = ::GetSaveFileNameW(&dialog) != 0;
    } else {
        dialog.Flags |= OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
        if (request.mode == Mode::OpenFiles) dialog.Flags |= OFN_ALLOWMULTISELECT;
        chosen = ::GetOpenFileNameW(&dialog) != 0;
    }
    if (!chosen) return result;
    names.back() = L'\0';
    if (request.mode == Mode::OpenFiles)
        result.paths = chosenNames(names.data(), names.size());
    else
        result.paths.push_back(utf8(names.data()));
    result.filter = dialog.nFilterIndex > 0 ? static_cast<int>(dialog.nFilterIndex) - 1 : 0;
    return result;
}

bool Win32Services::openUrl(const std::string& url) {
    const auto done = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(owner_, L"open", wide(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return done > 32;
}

bool Win32Services::openFile(const std::string& path) {
    const auto done = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(owner_, L"open", wide(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return done > 32;
}

bool Win32Services::post(const HttpRequest& request, std::function<void(const HttpReply&)> done) {
    if (httpBusy_.exchange(true)) return false;
    if (http_.joinable()) http_.join();  // the last request's thread has ended its work
    http_ = std::thread([this, request, done = std::move(done)]() mutable {
        HttpReply reply = postOverWinHttp(request, language_);
        mail_.post([this, reply = std::move(reply), done = std::move(done)] {
            httpBusy_.store(false);
            if (done) done(reply);
        });
    });
    return true;
}

void Win32Services::setTaskbarProgress(double progress) {
    if (!taskbarTried_) {
        taskbarTried_ = true;
        ITaskbarList3* list = nullptr;
        if (SUCCEEDED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_ITaskbarList3, reinterpret_cast<void**>(&list)))) {
            if (SUCCEEDED(list->HrInit()))
                taskbar_ = list;
            else
                list->Release();
        }
    }
    if (!taskbar_ || !owner_) return;
    if (progress < 0) {
        taskbar_->SetProgressState(owner_, TBPF_NOPROGRESS);
        return;
    }
    taskbar_->SetProgressState(owner_, TBPF_NORMAL);
    const auto permille = static_cast<ULONGLONG>(std::clamp(progress, 0.0, 1.0) * 1000);
    taskbar_->SetProgressValue(owner_, permille, 1000);
}

bool Win32Services::locateEncoder(std::function<bool(const std::string&)> tryPath,
                                  std::function<void()> download) {
    const std::function<std::string()> browse = [this] {
        FileDialogRequest request;
        request.mode = FileDialogRequest::Mode::OpenFile;
        request.title = std::string(uiText(UiText::WhereIsEncoder, language_));
        request.filters = {
            {std::string(uiText(UiText::EncoderFileFilter, language_)), {"gogo.dll"}}};
        const FileDialogResult chosen = chooseFiles(request);
        return chosen.paths.empty() ? std::string() : chosen.paths.front();
    };
    return runEncoderDialog(owner_, language_, tryPath, download, browse);
}

namespace {

// Closes a WinHTTP handle when it goes.
struct HttpHandle {
    HINTERNET handle = nullptr;
    explicit HttpHandle(HINTERNET h) : handle(h) {}
    HttpHandle(const HttpHandle&) = delete;
    HttpHandle& operator=(const HttpHandle&) = delete;
    ~HttpHandle() {
        if (handle) ::WinHttpCloseHandle(handle);
    }
    explicit operator bool() const { return handle != nullptr; }
};

std::string winHttpError(DWORD code, Language language) {
    if (code == ERROR_WINHTTP_TIMEOUT) return std::string(uiText(UiText::ServerTimedOut, language));
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
            FORMAT_MESSAGE_IGNORE_INSERTS,
        ::GetModuleHandleW(L"winhttp.dll"), code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string out;
    if (length > 0 && text) {
        out = utf8(std::wstring_view(text, length));
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
            out.pop_back();
    }
    if (text) ::LocalFree(text);
    if (out.empty()) out = "WinHTTP error " + std::to_string(code);
    return out;
}

}  // namespace

HttpReply postOverWinHttp(const HttpRequest& request, Language language) {
    HttpReply reply;
    const std::wstring url = wide(request.url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength =
        parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    const bool cracked = ::WinHttpCrackUrl(url.c_str(), 0, 0, &parts) != 0;
    if (!cracked || parts.dwHostNameLength == 0 ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
        reply.error = uiText(UiText::NotAWebAddress, language, {request.url});
        return reply;
    }
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath ? parts.lpszUrlPath : L"", parts.dwUrlPathLength);
    if (parts.lpszExtraInfo) path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty()) path = L"/";

    const auto fail = [&reply, language] {
        reply.ok = false;
        reply.body.clear();
        reply.error = winHttpError(::GetLastError(), language);
        return reply;
    };
    HttpHandle session(::WinHttpOpen(L"Sorvanto", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                     WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return fail();
    const int timeout = request.timeoutMs > 0 ? request.timeoutMs : 20000;
    ::WinHttpSetTimeouts(session.handle, timeout, timeout, timeout, timeout);
    HttpHandle connection(::WinHttpConnect(session.handle, host.c_str(), parts.nPort, 0));
    if (!connection) return fail();
    HttpHandle call(::WinHttpOpenRequest(connection.handle, L"POST", path.c_str(), nullptr,
                                         WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                         secure ? WINHTTP_FLAG_SECURE : 0));
    if (!call) return fail();
    // Redirects never lead from https to plain http.
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
    ::WinHttpSetOption(call.handle, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
    static constexpr wchar_t kHeaders[] =
        L"Content-Type: application/x-www-form-urlencoded\r\nConnection: close\r\n";
    std::string body = request.body;
    const auto bodyBytes = static_cast<DWORD>(body.size());
    if (!::WinHttpSendRequest(call.handle, kHeaders, static_cast<DWORD>(-1),
                              body.empty() ? WINHTTP_NO_REQUEST_DATA : body.data(), bodyBytes,
                              bodyBytes, 0) ||
        !::WinHttpReceiveResponse(call.handle, nullptr))
        return fail();

    DWORD status = 0;
    DWORD statusSize = sizeof status;
    ::WinHttpQueryHeaders(call.handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize,
                          WINHTTP_NO_HEADER_INDEX);
    if (status < 200 || status > 299) {
        wchar_t reason[128] = {};
        DWORD reasonSize = sizeof reason - sizeof(wchar_t);
        ::WinHttpQueryHeaders(call.handle, WINHTTP_QUERY_STATUS_TEXT, WINHTTP_HEADER_NAME_BY_INDEX,
                              reason, &reasonSize, WINHTTP_NO_HEADER_INDEX);
        reply.error =
            uiText(UiText::ServerAnswered, language, {std::to_string(status), utf8(reason)});
        return reply;
    }

    // What lies beyond the limit is never read; the whole read keeps to the time-out too.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
    char buffer[512];
    while (reply.body.size() < request.maxReplyBytes) {
        if (std::chrono::steady_clock::now() > deadline) {
            reply.error = uiText(UiText::ServerTimedOut, language);
            reply.body.clear();
            return reply;
        }
        const DWORD room =
            static_cast<DWORD>(std::min(sizeof buffer, request.maxReplyBytes - reply.body.size()));
        DWORD got = 0;
        if (!::WinHttpReadData(call.handle, buffer, room, &got)) return fail();
        if (got == 0) break;
        reply.body.append(buffer, got);
    }
    reply.ok = true;
    return reply;
}

}  // namespace svt::win32
