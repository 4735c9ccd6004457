#pragma once
// A folder of its own for one test, removed with everything in it when the test ends.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Paths.h"

namespace svt::test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Names are UTF-8, on Windows too.
    std::string file(const std::string& name) const {
        return platform::pathText(path_ / platform::fsPath(name));
    }
    // Writes `bytes` to `name` inside the folder and returns the full path.
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const;
    std::string write(const std::string& name, const std::string& text) const;

  private:
    std::filesystem::path path_;
};

std::vector<uint8_t> readFileBytes(const std::string& path);

}  // namespace svt::test
