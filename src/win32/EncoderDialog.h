#pragma once
// The dialog that asks where the MP3 encoder library lies when it cannot be loaded: a link to
// its download, and a path typed or chosen with Browse, tried when OK is pressed. Modal: the
// owner is disabled while it is open, and its own message loop ends when it closes.

#include <functional>
#include <string>

#include "win32/Win.h"

namespace svt::win32 {

// True when the user named a library that `tryPath` accepted.
bool runEncoderDialog(HWND owner, Language language,
                      const std::function<bool(const std::string&)>& tryPath,
                      const std::function<void()>& download,
                      const std::function<std::string()>& browse);

}  // namespace svt::win32
