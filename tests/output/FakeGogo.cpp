// A stand-in encoder library for the MP3 output's tests: it has the MPGE_* entry points
// (minus the one a build leaves out), records what it is given, pulls one frame of input
// per call and can fail on request. It writes no MP3, only the raw input it read.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gogo/gogo.h"

#ifdef _WIN32
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

struct Fake {
    uint32_t version = 310;
    long failAfterFrames = -1;  // processFrame fails with MPGE_WRITE_FAILED after this many frames
    long endAfterFrames = -1;   // processFrame ends on its own after this many frames
    uint32_t failItem = 0;      // setConfigure of this item fails
    std::string log;            // "item:first " for every setConfigure, then the calls
    MPGE_INPUT input{};
    FILE* out = nullptr;
    long frames = 0;
};

void configure(Fake& f, const char* settings);

Fake& fake() {
    // A program that loads the fake on its own (the command line's tests) is configured
    // through the environment.
    static Fake f = [] {
        Fake made;
        configure(made, std::getenv("FAKE_GOGO"));
        return made;
    }();
    return f;
}

void configure(Fake& f, const char* settings) {
    f = Fake{};
    const char* p = settings;
    while (p != nullptr && *p != '\0') {
        char key[32] = {};
        long value = 0;
        int used = 0;
        if (std::sscanf(p, " %31[^=]=%ld%n", key, &value, &used) != 2) break;
        if (std::strcmp(key, "version") == 0) f.version = static_cast<uint32_t>(value);
        if (std::strcmp(key, "failAfter") == 0) f.failAfterFrames = value;
        if (std::strcmp(key, "endAfter") == 0) f.endAfterFrames = value;
        if (std::strcmp(key, "failItem") == 0) f.failItem = static_cast<uint32_t>(value);
        p += used;
    }
}

}  // namespace

// "version=200 failAfter=3 endAfter=5 failItem=1000"; resets the log.
FAKE_EXPORT void fake_configure(const char* settings) {
    configure(fake(), settings);
}

FAKE_EXPORT const char* fake_log() {
    return fake().log.c_str();
}

FAKE_EXPORT MPGE_RESULT MPGE_initializeWork(void) {
    fake().log += "init ";
    fake().frames = 0;
    return MPGE_OK;
}

FAKE_EXPORT MPGE_RESULT MPGE_setConfigure(uint32_t item, uintptr_t first, uintptr_t second) {
    Fake& f = fake();
    f.log += std::to_string(item) + ":" + std::to_string(first) + " ";
    if (item == f.failItem) return MPGE_BAD_PARAMETER;
    if (item == MPGE_ITEM_INPUT)
        std::memcpy(&f.input, reinterpret_cast<const void*>(second), sizeof f.input);
    if (item == MPGE_ITEM_OUTPUT && first == 0) {
        if (f.out != nullptr) std::fclose(f.out);
        f.out = std::fopen(reinterpret_cast<const char*>(second), "wb");
    }
    if (item == MPGE_ITEM_TAG)
        f.log += "tag[" + std::string(reinterpret_cast<const char*>(second) + 3, 30) + "] ";
    return MPGE_OK;
}

FAKE_EXPORT MPGE_RESULT MPGE_getConfigure(uint32_t, void*) {
    return MPGE_BAD_ITEM;
}

FAKE_EXPORT MPGE_RESULT MPGE_detectConfigure(void) {
    fake().log += "detect ";
    return fake().out != nullptr ? MPGE_OK : MPGE_CANNOT_OPEN_OUTPUT;
}

#ifndef FAKE_WITHOUT_PROCESS_FRAME
FAKE_EXPORT MPGE_RESULT MPGE_processFrame(void) {
    Fake& f = fake();
    if (f.failAfterFrames >= 0 && f.frames >= f.failAfterFrames) return MPGE_WRITE_FAILED;
    if (f.endAfterFrames >= 0 && f.frames >= f.endAfterFrames) return MPGE_END;
    uint8_t buf[4608];
    const uint32_t n = 1152 * f.input.channels * (f.input.bits_per_sample / 8);
    if (f.input.reader(buf, n) != 0) return MPGE_END;
    std::fwrite(buf, 1, n, f.out);
    ++f.frames;
    return MPGE_OK;
}
#endif

#ifndef FAKE_WITHOUT_CLOSE_CODER
FAKE_EXPORT MPGE_RESULT MPGE_closeCoder(void) {
    fake().log += "close ";
    return MPGE_OK;
}
#endif

FAKE_EXPORT MPGE_RESULT MPGE_endCoder(void) {
    Fake& f = fake();
    f.log += "end ";
    if (f.out != nullptr) std::fclose(f.out);
    f.out = nullptr;
    return MPGE_OK;
}

FAKE_EXPORT MPGE_RESULT MPGE_getVersion(uint32_t* code, char* text) {
    *code = fake().version;
    std::snprintf(text, MPGE_VERSION_TEXT_SIZE, "fake");
    return MPGE_OK;
}

FAKE_EXPORT MPGE_RESULT MPGE_getUnitStates(uint32_t* units) {
    *units = 0;
    return MPGE_OK;
}
