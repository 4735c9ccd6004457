#pragma once
// The MP3 encoder library, found and loaded at run time, with its nine entry points
// looked up by name. The library lies outside the program: any library with the same
// entry points and call sequence can stand in for ours (encoder/README.md).

#include <cstdint>
#include <string>

#include "gogo/gogo.h"
#include "platform/DynamicLibrary.h"

namespace svt::output {

// What a call through an entry point that is not bound returns, without calling anything.
inline constexpr uint32_t kNotBound = 10;

// Where the library is looked for, in this order: `fileName` in `programFolder`, then
// `fileName` through the system's ordinary library search, then the path stored as
// "INSTPATH" in the settings file at `settingsPath` (the encoder-location dialog's store).
struct EncoderSearch {
    std::string programFolder;
    std::string fileName;
    std::string settingsPath;

    // The running program's folder, "libgogo.so" (or "gogo.dll"), and the store of
    // ("MarineCat", "GOGO_DLL").
    static EncoderSearch forThisProgram();
};

inline constexpr const char* kEncoderPathKey = "INSTPATH";

class EncoderLibrary {
  public:
    EncoderLibrary() = default;
    EncoderLibrary(const EncoderLibrary&) = delete;
    EncoderLibrary& operator=(const EncoderLibrary&) = delete;

    // Finds the library, binds the entry points (all but "MPGE_closeCoder" must exist)
    // and initialises it. 0 when ready; 10 when no library loads or one lacks an entry
    // point; otherwise what "MPGE_initializeWork" returned.
    uint32_t load(const EncoderSearch& search);
    // Forgets every entry point and releases the library.
    void release();
    bool isLoaded() const { return library_.isOpen(); }
    const std::string& loadedPath() const { return loadedPath_; }

    uint32_t initializeWork() { return initializeWork_ ? initializeWork_() : kNotBound; }
    uint32_t setConfigure(uint32_t item, uintptr_t first, uintptr_t second) {
        return setConfigure_ ? setConfigure_(item, first, second) : kNotBound;
    }
    uint32_t getConfigure(uint32_t item, void* out) {
        return getConfigure_ ? getConfigure_(item, out) : kNotBound;
    }
    uint32_t detectConfigure() { return detectConfigure_ ? detectConfigure_() : kNotBound; }
    uint32_t processFrame() { return processFrame_ ? processFrame_() : kNotBound; }
    uint32_t closeCoder() { return closeCoder_ ? closeCoder_() : kNotBound; }
    uint32_t endCoder() { return endCoder_ ? endCoder_() : kNotBound; }
    uint32_t getVersion(uint32_t* code, char* text) {
        return getVersion_ ? getVersion_(code, text) : kNotBound;
    }
    uint32_t getUnitStates(uint32_t* units) {
        return getUnitStates_ ? getUnitStates_(units) : kNotBound;
    }

  private:
    bool bindAll();

    platform::DynamicLibrary library_;
    std::string loadedPath_;
    decltype(&MPGE_initializeWork) initializeWork_ = nullptr;
    decltype(&MPGE_setConfigure) setConfigure_ = nullptr;
    decltype(&MPGE_getConfigure) getConfigure_ = nullptr;
    decltype(&MPGE_detectConfigure) detectConfigure_ = nullptr;
    decltype(&MPGE_processFrame) processFrame_ = nullptr;
    decltype(&MPGE_closeCoder) closeCoder_ = nullptr;
    decltype(&MPGE_endCoder) endCoder_ = nullptr;
    decltype(&MPGE_getVersion) getVersion_ = nullptr;
    decltype(&MPGE_getUnitStates) getUnitStates_ = nullptr;
};

// Loads the library from the first place of `search` that has one, into `library`
// (nothing bound yet); false when none loads.
bool openEncoderModule(const EncoderSearch& search, platform::DynamicLibrary& library,
                       std::string* loadedFrom);

// True when a library can be loaded from one of the places (it is released at once).
bool encoderAvailable(const EncoderSearch& search);

// The encoder-location dialog's store: test-loads `path`; when that works the path is
// stored as "INSTPATH". Returns whether it was stored.
bool storeEncoderLocation(const EncoderSearch& search, const std::string& path);

}  // namespace svt::output
