#pragma once
// What the MP3 tests share: tone bytes, encoder searches that find exactly one library (or
// none), and the fake library's own settings.

#include <dlfcn.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "output/EncoderLibrary.h"
#include "support/TempDir.h"

namespace svt::output::test_fixtures {

inline EncoderSearch libraryAt(const std::string& path) {
    const std::filesystem::path p(path);
    return {p.parent_path().string(), p.filename().string(), ""};
}

// 16-bit stereo tone bytes, as the audio queue hands them to the output.
inline std::vector<uint8_t> toneBytes(size_t frames, double hz, double amplitude) {
    std::vector<uint8_t> out(frames * 4);
    for (size_t f = 0; f < frames; ++f) {
        const double v =
            amplitude * std::sin(2 * std::numbers::pi * hz * static_cast<double>(f) / 44100.0);
        const auto s = static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32767)));
        for (size_t at = f * 4; at < f * 4 + 4; at += 2) {
            out[at] = static_cast<uint8_t>(s & 0xFF);
            out[at + 1] = static_cast<uint8_t>(s >> 8);
        }
    }
    return out;
}

// Finds nothing by itself: an empty program folder, a name no system has, and a settings
// file in the test's folder.
inline EncoderSearch nowhere(const test::TempDir& dir) {
    std::filesystem::create_directories(dir.path() / "program");
    return {dir.file("program"), "libgogo-not-installed.so",
            dir.file("config/MarineCat/GOGO_DLL.conf")};
}

// The fake library's settings, through a handle of our own on the same file: they last as
// long as the handle keeps the library loaded.
class FakeGogo {
  public:
    FakeGogo() : handle_(::dlopen(FAKE_GOGO_PATH, RTLD_NOW | RTLD_LOCAL)) {}
    ~FakeGogo() {
        if (handle_ != nullptr) ::dlclose(handle_);
    }
    FakeGogo(const FakeGogo&) = delete;
    FakeGogo& operator=(const FakeGogo&) = delete;
    void configure(const char* settings) {
        reinterpret_cast<void (*)(const char*)>(::dlsym(handle_, "fake_configure"))(settings);
    }
    std::string log() {
        return reinterpret_cast<const char* (*)()>(::dlsym(handle_, "fake_log"))();
    }

  private:
    void* handle_;
};

}  // namespace svt::output::test_fixtures
