// The half of PendingFile that is the same on every system: the temporary name, the
// creation of the file under it, and whole files written through it.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/PendingFile.h"
#include "platform/PendingFileSlots.h"

namespace svt::platform {
namespace {

// ".NAME.3f9a0c12.part" beside NAME: hidden, and telling whose file it is. The name is cut,
// never inside a UTF-8 character, so that the whole stays within the 255 bytes (Linux) or
// characters (Windows) a file name may have.
std::string temporaryNameFor(const std::string& finalPath, unsigned attempt) {
    const size_t cut = finalPath.find_last_of(pending::folderSeparators());
    const std::string folder = cut == std::string::npos ? "" : finalPath.substr(0, cut + 1);
    std::string name = cut == std::string::npos ? finalPath : finalPath.substr(cut + 1);
    static std::atomic<unsigned> counter{0};
    const auto now = static_cast<unsigned>(
        std::chrono::steady_clock::now().time_since_epoch().count() & 0xFFFFFFFFu);
    const unsigned tag = (pending::processNumber() * 2654435761u) ^ now ^
                         (counter.fetch_add(1) * 40503u) ^ (attempt * 97u);
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x.part", tag);
    const size_t room = 255 - 1 - std::strlen(suffix);
    if (name.size() > room) {
        name.resize(room);
        while (!name.empty() && (static_cast<unsigned char>(name.back()) & 0xC0) == 0x80)
            name.pop_back();
        if (!name.empty() && (static_cast<unsigned char>(name.back()) & 0x80) != 0) name.pop_back();
    }
    return folder + "." + name + suffix;
}

}  // namespace

int PendingFile::open(const std::string& finalPath, OutputFile& file) {
    discard();
    int error = EEXIST;
    for (unsigned attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        const std::string candidate = temporaryNameFor(finalPath, attempt);
        error = file.createNew(candidate);
        if (error == 0) {
            temporary_ = candidate;
            final_ = finalPath;
            slot_ = pending::listForStop(temporary_);
        }
    }
    return error;
}

int PendingFile::create(const std::string& finalPath, OutputFile& file) {
    return open(finalPath, file);
}

int PendingFile::reserve(const std::string& finalPath) {
    OutputFile file;
    const int error = open(finalPath, file);
    if (error != 0) return error;
    return file.close();
}

int writeWholeFile(const std::string& path, std::string_view bytes) {
    OutputFile file;
    PendingFile pending;
    int error = pending.create(path, file);
    if (error == 0) error = file.writeAll(bytes.data(), bytes.size());
    if (error == 0) error = file.close();
    if (error == 0) error = pending.commit(true);
    return error;  // the pending file, if any is left, goes with `pending`
}

}  // namespace svt::platform
