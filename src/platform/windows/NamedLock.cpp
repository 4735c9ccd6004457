#include "platform/NamedLock.h"

#include "platform/windows/Win32.h"

namespace svt::platform {
namespace {

// The mutex `name`, created with ownership requested; null when it cannot be made. `existed`
// tells whether another handle to it was open already.
HANDLE createMutex(const std::string& name, bool& existed) {
    HANDLE mutex = ::CreateMutexW(nullptr, TRUE, win::widen(name).c_str());
    existed = mutex != nullptr ? ::GetLastError() == ERROR_ALREADY_EXISTS
                               : ::GetLastError() == ERROR_ACCESS_DENIED;
    return mutex;
}

}  // namespace

std::string runtimeFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
    if (n == 0 || n > MAX_PATH) return ".";
    std::string folder = win::narrow(std::wstring_view(buffer, n));
    while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    return folder;
}

bool namedLockHeld(const std::string& name) {
    bool existed = false;
    HANDLE mutex = createMutex(name, existed);
    // Closing our only handle destroys a mutex that we just made, so nothing stays held.
    if (mutex != nullptr) ::CloseHandle(mutex);
    return existed;
}

std::unique_ptr<NamedLock> NamedLock::acquire(const std::string& name) {
    bool existed = false;
    HANDLE mutex = createMutex(name, existed);
    if (mutex == nullptr) return nullptr;
    if (existed) {
        ::CloseHandle(mutex);
        return nullptr;
    }
    return std::unique_ptr<NamedLock>(new NamedLock(reinterpret_cast<intptr_t>(mutex)));
}

NamedLock::~NamedLock() {
    HANDLE mutex = reinterpret_cast<HANDLE>(handle_);
    ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
}

}  // namespace svt::platform
