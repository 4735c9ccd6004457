#include "output/EncoderLibrary.h"

#include "platform/Paths.h"
#include "platform/SettingsStore.h"

namespace svt::output {
namespace {

// A stored path longer than any path the system takes is not one.
constexpr size_t kMaxStoredPathBytes = 4096;

template <class F>
bool bindEntry(const platform::DynamicLibrary& lib, F& fn, const char* name) {
    fn = reinterpret_cast<F>(lib.symbol(name));
    return fn != nullptr;
}

}  // namespace

EncoderSearch EncoderSearch::forThisProgram() {
    return {platform::programFolder(), platform::sharedLibraryFileName("gogo"),
            platform::SettingsStore::forApplication("MarineCat", "GOGO_DLL").path()};
}

bool openEncoderModule(const EncoderSearch& search, platform::DynamicLibrary& library,
                       std::string* loadedFrom) {
    std::string candidates[3];
    if (!search.programFolder.empty() && !search.fileName.empty())
        candidates[0] = search.programFolder + "/" + search.fileName;
    candidates[1] = search.fileName;
    if (!search.settingsPath.empty()) {
        std::optional<std::string> stored =
            platform::SettingsStore(search.settingsPath).readString(kEncoderPathKey);
        if (stored && stored->size() <= kMaxStoredPathBytes) candidates[2] = *stored;
    }
    for (const std::string& path : candidates) {
        if (!path.empty() && library.open(path)) {
            if (loadedFrom != nullptr) *loadedFrom = path;
            return true;
        }
    }
    return false;
}

bool EncoderLibrary::bindAll() {
    bool ok = bindEntry(library_, initializeWork_, "MPGE_initializeWork");
    ok = bindEntry(library_, setConfigure_, "MPGE_setConfigure") && ok;
    ok = bindEntry(library_, getConfigure_, "MPGE_getConfigure") && ok;
    ok = bindEntry(library_, detectConfigure_, "MPGE_detectConfigure") && ok;
    ok = bindEntry(library_, processFrame_, "MPGE_processFrame") && ok;
    bindEntry(library_, closeCoder_, "MPGE_closeCoder");  // optional: older libraries lack it
    ok = bindEntry(library_, endCoder_, "MPGE_endCoder") && ok;
    ok = bindEntry(library_, getVersion_, "MPGE_getVersion") && ok;
    ok = bindEntry(library_, getUnitStates_, "MPGE_getUnitStates") && ok;
    return ok;
}

uint32_t EncoderLibrary::load(const EncoderSearch& search) {
    release();
    if (!openEncoderModule(search, library_, &loadedPath_)) return kNotBound;
    if (!bindAll()) {
        release();
        return kNotBound;
    }
    return initializeWork();
}

void EncoderLibrary::release() {
    initializeWork_ = nullptr;
    setConfigure_ = nullptr;
    getConfigure_ = nullptr;
    detectConfigure_ = nullptr;
    processFrame_ = nullptr;
    closeCoder_ = nullptr;
    endCoder_ = nullptr;
    getVersion_ = nullptr;
    getUnitStates_ = nullptr;
    library_.close();
    loadedPath_.clear();
}

bool encoderAvailable(const EncoderSearch& search) {
    platform::DynamicLibrary probe;
    return openEncoderModule(search, probe, nullptr);
}

bool storeEncoderLocation(const EncoderSearch& search, const std::string& path) {
    if (path.empty() || path.size() > kMaxStoredPathBytes || search.settingsPath.empty())
        return false;
    platform::DynamicLibrary probe;
    if (!probe.open(path)) return false;
    probe.close();
    return platform::SettingsStore(search.settingsPath).writeString(kEncoderPathKey, path).ok();
}

}  // namespace svt::output
