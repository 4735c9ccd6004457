#pragma once
// A file written under a name of its own in the folder of its final name, and renamed over
// the final name only once it is complete: a failure, a stop or a signal never leaves a
// half-written file under the final name nor touches the file that was there before.

#include <string>
#include <string_view>

#include "platform/OutputFile.h"

namespace svt::platform {

class PendingFile {
  public:
    PendingFile() = default;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    ~PendingFile() { discard(); }

    // Creates a new, empty file beside `finalPath` and opens `file` on it. The file is
    // removed again if the program is ended by one of the signals of
    // removePendingFilesOnSignals(). Returns 0 or the system error number.
    int create(const std::string& finalPath, OutputFile& file);
    // The same for a writer that opens the file by its name itself: the file is created
    // empty and left closed.
    int reserve(const std::string& finalPath);

    bool active() const { return !temporary_.empty(); }
    // The name the file is written under until commit().
    const std::string& temporaryPath() const { return temporary_; }
    const std::string& finalPath() const { return final_; }

    // Puts the complete file under its final name in one step (its data reaches the disk
    // first). Without `replace` a file that appeared under the final name meanwhile is kept
    // and EEXIST is returned. Returns 0 or the system error number; on failure the
    // temporary file is removed.
    int commit(bool replace);
    // Removes the temporary file; nothing when there is none.
    void discard();

  private:
    int open(const std::string& finalPath, OutputFile& file);
    void forget();

    std::string final_;
    std::string temporary_;
    int slot_ = -1;  // place in the list the signal handler removes
};

// Writes `bytes` as the whole of the file `path` through a pending file, replacing what was
// there only once everything is written. Returns 0 or the system error number.
int writeWholeFile(const std::string& path, std::string_view bytes);

// From now on SIGINT, SIGTERM, SIGHUP and SIGPIPE remove every pending file before they end
// the program as they would have. A signal the program was started with ignored stays
// ignored. On Windows the same holds for Ctrl-C, Ctrl-Break and a closed console window.
// SIGXFSZ is ignored: a write past the file-size limit fails as a full disk does.
void removePendingFilesOnSignals();

}  // namespace svt::platform
