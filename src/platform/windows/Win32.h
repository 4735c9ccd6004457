#pragma once
// What the Windows files of the platform layer share: UTF-8 inside the program, UTF-16 at
// every call into the system, and the system's error codes told as the errno values the rest
// of the program compares with.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// Left out of <windows.h> by WIN32_LEAN_AND_MEAN, and only usable after it.
#include <mmsystem.h>
#include <shellapi.h>

#include <string>
#include <string_view>

namespace svt::platform::win {

// Invalid UTF-8 becomes U+FFFD, so that a damaged name fails to open instead of opening
// another file.
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

// The errno value for a GetLastError() code (EIO for those without a close match).
int errnoFrom(DWORD error);
inline int lastErrno() {
    return errnoFrom(::GetLastError());
}

}  // namespace svt::platform::win
