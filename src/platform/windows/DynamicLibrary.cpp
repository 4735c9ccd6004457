#include "platform/DynamicLibrary.h"

#include <utility>

#include "platform/windows/Win32.h"

namespace svt::platform {

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, nullptr);
        error_ = std::move(other.error_);
    }
    return *this;
}

bool DynamicLibrary::open(const std::string& path) {
    close();
    error_.clear();
    if (path.empty()) {
        error_ = "no library named";
        return false;
    }
    // No "the library could not be found" dialog box: a missing library is an answer here.
    const UINT oldMode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // The loader wants backslashes; the rest of the program joins names with either.
    std::wstring name = win::widen(path);
    for (wchar_t& c : name)
        if (c == L'/') c = L'\\';
    HMODULE module = ::LoadLibraryW(name.c_str());
    const DWORD error = ::GetLastError();
    ::SetErrorMode(oldMode);
    if (module == nullptr) {
        char text[256] = {};
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                         0, text, sizeof text - 1, nullptr);
        std::string why = text;
        while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == ' '))
            why.pop_back();
        error_ = path + ": cannot be loaded" + (why.empty() ? "" : " (" + why + ")");
        return false;
    }
    handle_ = module;
    return true;
}

void DynamicLibrary::close() {
    if (handle_ != nullptr) {
        ::FreeLibrary(static_cast<HMODULE>(handle_));
        handle_ = nullptr;
    }
}

void* DynamicLibrary::symbol(const char* name) const {
    if (handle_ == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string sharedLibraryFileName(const std::string& baseName) {
    return baseName + ".dll";
}

}  // namespace svt::platform
