#pragma once
// What each system's half of PendingFile gives the shared half: the process's number for
// temporary names, the characters that end a folder in a path, and the list of files a stop
// or signal must remove.

#include <string>

namespace svt::platform::pending {

unsigned processNumber();
// "/" on Linux; Windows also takes "\".
const char* folderSeparators();
// Lists `path` for removal by a stop; returns its slot, or -1 when it could not be listed
// (the file is written all the same, just not removed by a stop).
int listForStop(const std::string& path);

}  // namespace svt::platform::pending
