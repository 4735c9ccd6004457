#include "output/OutputNames.h"

#include <cctype>
#include <string_view>

namespace svt::output {

namespace {

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

// The last "." of the file part; npos when the file part has none (a dot in a folder name
// does not start an extension).
size_t extensionDot(const std::string& path, size_t end) {
    for (size_t i = end; i-- > 0;) {
        if (path[i] == '.') return i;
        if (isSeparator(path[i])) break;
    }
    return std::string::npos;
}

// The "#" that joins an archive's name to a member's ("x.zip#d/s.mid"); npos for a plain path,
// whose folders and files may hold a "#" of their own ("C#/tune.mid").
size_t archiveMemberMark(const std::string& path) {
    static constexpr std::string_view kArchives[] = {".zip", ".lzh", ".lha", ".tar",
                                                     ".tgz", ".gz",  ".7z",  ".rar"};
    for (size_t hash = path.find('#'); hash != std::string::npos; hash = path.find('#', hash + 1)) {
        for (std::string_view archive : kArchives) {
            if (hash < archive.size()) continue;
            const size_t from = hash - archive.size();
            bool same = true;
            for (size_t i = 0; i < archive.size() && same; ++i)
                same = std::tolower(static_cast<unsigned char>(path[from + i])) == archive[i];
            if (same) return hash;
        }
    }
    return std::string::npos;
}

}  // namespace

std::string automaticOutputName(const std::string& songPath, const std::string& extension) {
    std::string name = songPath;
    size_t dot = extensionDot(name, name.size());
    if (dot != std::string::npos && name.size() - dot == 3 &&
        (name[dot + 1] == 'g' || name[dot + 1] == 'G') &&
        (name[dot + 2] == 'z' || name[dot + 2] == 'Z')) {
        name.resize(dot);
        dot = extensionDot(name, name.size());
    }
    const size_t stem = dot == std::string::npos ? name.size() : dot;

    const size_t hash = archiveMemberMark(name);
    if (hash != std::string::npos && hash < stem) {
        for (size_t i = hash + 1; i < stem; ++i)
            if (isSeparator(name[i])) name[i] = '_';
        for (size_t i = 0; i < stem; ++i)
            if (name[i] == '#') name[i] = '_';
    }

    const bool upper = dot != std::string::npos && dot + 1 < name.size() &&
                       std::isupper(static_cast<unsigned char>(name[dot + 1]));
    std::string ext = extension;
    for (char& c : ext)
        c = static_cast<char>(upper ? std::toupper(static_cast<unsigned char>(c))
                                    : std::tolower(static_cast<unsigned char>(c)));
    name.resize(stem);
    return name + "." + ext;
}

}  // namespace svt::output
