#include "platform/PendingFile.h"
#include "platform/PendingFileSlots.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/windows/Win32.h"

namespace svt::platform {
namespace {

// The files the console's stop handler must remove. The handler runs on a thread of its own
// while the program goes on, so the names are copied into fixed slots it can read without a
// lock; a file whose name does not fit, or one beyond the last slot, is written all the same,
// just not removed by a stop.
constexpr int kSlots = 128;
constexpr size_t kSlotPathChars = 4096;
enum SlotState : int { kFree = 0, kClaimed = 1, kListed = 2 };
struct Slot {
    std::atomic<int> state{kFree};
    wchar_t path[kSlotPathChars];
};
Slot gSlots[kSlots];

BOOL WINAPI removeListedAndEnd(DWORD) {
    for (Slot& slot : gSlots)
        if (slot.state.load(std::memory_order_acquire) == kListed) ::DeleteFileW(slot.path);
    // Not handled: the system's own handler ends the program as it would have.
    return FALSE;
}

int listPath(const std::string& path) {
    const std::wstring wide = win::widen(path);
    if (wide.size() >= kSlotPathChars) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (!gSlots[i].state.compare_exchange_strong(expected, kClaimed)) continue;
        std::memcpy(gSlots[i].path, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
        gSlots[i].state.store(kListed, std::memory_order_release);
        return i;
    }
    return -1;
}

void unlist(int slot) {
    if (slot < 0) return;
    gSlots[slot].state.store(kFree, std::memory_order_release);
}

}  // namespace

namespace pending {

unsigned processNumber() {
    return static_cast<unsigned>(::GetCurrentProcessId());
}

const char* folderSeparators() {
    return "\\/";
}

int listForStop(const std::string& path) {
    return listPath(path);
}

}  // namespace pending

int PendingFile::commit(bool replace) {
    if (!active()) return ENOENT;
    const std::wstring from = win::widen(temporary_);
    const std::wstring to = win::widen(final_);
    int error = 0;
    HANDLE file = ::CreateFileW(from.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = win::lastErrno();
    } else {
        if (!::FlushFileBuffers(file)) error = win::lastErrno();
        ::CloseHandle(file);
    }
    // Without the replace flag the move fails on an existing name, in the same step.
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (error == 0 && !::MoveFileExW(from.c_str(), to.c_str(), flags)) error = win::lastErrno();
    if (error != 0) {
        discard();
        return error;
    }
    forget();
    return 0;
}

void PendingFile::discard() {
    if (!active()) return;
    ::DeleteFileW(win::widen(temporary_).c_str());
    forget();
}

void PendingFile::forget() {
    unlist(slot_);
    slot_ = -1;
    temporary_.clear();
}

void removePendingFilesOnSignals() {
    ::SetConsoleCtrlHandler(removeListedAndEnd, TRUE);
}

}  // namespace svt::platform
