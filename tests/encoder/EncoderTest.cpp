// libgogo loaded the way the program loads it (dlopen, entry points by name), fed
// generated tones through its reader, and checked by decoding with mpg123.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <thread>

#include "gogo/gogo.h"
#include "support/DecodedAudio.h"
#include "support/TempDir.h"

namespace {

using svt::test::DecodedAudio;
using svt::test::TempDir;

struct Gogo {
    void* handle = ::dlopen(GOGO_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    template <class F>
    F bind(const char* name) const {
        return handle != nullptr ? reinterpret_cast<F>(::dlsym(handle, name)) : nullptr;
    }
    // Each entry point by its name, as the program binds them.
#define GOGO_ENTRY(name) decltype(&MPGE_##name) name = bind<decltype(&MPGE_##name)>("MPGE_" #name)
    GOGO_ENTRY(initializeWork);
    GOGO_ENTRY(setConfigure);
    GOGO_ENTRY(getConfigure);
    GOGO_ENTRY(detectConfigure);
    GOGO_ENTRY(processFrame);
    GOGO_ENTRY(closeCoder);
    GOGO_ENTRY(endCoder);
    GOGO_ENTRY(getVersion);
    GOGO_ENTRY(getUnitStates);
#undef GOGO_ENTRY
    ~Gogo() {
        if (handle != nullptr) ::dlclose(handle);
    }
    bool complete() const {
        return handle && initializeWork && setConfigure && getConfigure && detectConfigure &&
               processFrame && closeCoder && endCoder && getVersion && getUnitStates;
    }
};

// Pointer arguments travel as integers through the library's configuration calls.
uintptr_t ptr(const void* p) {
    return reinterpret_cast<uintptr_t>(p);
}

// The reader has no context argument; each encoding thread points this at its source.
thread_local std::function<int(uint8_t*, uint32_t)>* tSource = nullptr;
int readFromSource(void* buffer, uint32_t bytes) {
    return (*tSource)(static_cast<uint8_t*>(buffer), bytes);
}

struct Tone {
    int rateHz = 44100;
    int channels = 2;
    int bits = 16;
    double seconds = 1.0;
    double amplitude = 0.5;  // of full scale
    double leftHz = 440.0, rightHz = 660.0;
    size_t exactFrames = 0;  // overrides seconds when set

    size_t frames() const {
        return exactFrames != 0 ? exactFrames : static_cast<size_t>(seconds * rateHz);
    }
    size_t bytesPerFrame() const { return static_cast<size_t>(channels * bits / 8); }
};

// Writes the tone's samples into whatever buffer sizes the encoder asks for.
class ToneSource {
  public:
    explicit ToneSource(const Tone& t) : tone_(t) {}
    uint64_t bytesDelivered = 0;
    int calls = 0;

    int operator()(uint8_t* out, uint32_t bytes) {
        ++calls;
        const size_t total = tone_.frames() * tone_.bytesPerFrame();
        if (bytesDelivered >= total) return 1;
        // The last request is padded with silence, as a caller at the end of its input does.
        for (uint32_t i = 0; i < bytes; ++i) out[i] = byteAt(bytesDelivered + i, total);
        bytesDelivered += bytes;
        return 0;
    }

  private:
    uint8_t byteAt(uint64_t offset, size_t total) const {
        const size_t bytesPerSample = static_cast<size_t>(tone_.bits / 8);
        if (offset >= total) return tone_.bits == 8 ? 0x80 : 0;
        const size_t sample = offset / bytesPerSample;
        const size_t frame = sample / static_cast<size_t>(tone_.channels);
        const int channel = static_cast<int>(sample % static_cast<size_t>(tone_.channels));
        const double hz = channel == 0 ? tone_.leftHz : tone_.rightHz;
        const double v = tone_.amplitude * std::sin(2 * std::numbers::pi * hz *
                                                    static_cast<double>(frame) / tone_.rateHz);
        if (tone_.bits == 8) return static_cast<uint8_t>(std::lround(v * 127.0) + 128);
        const auto s = static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32767.0)));
        return offset % 2 == 0 ? static_cast<uint8_t>(s & 0xFF) : static_cast<uint8_t>(s >> 8);
    }
    Tone tone_;
};

std::array<uint8_t, 128> makeTag(const std::string& title) {
    std::array<uint8_t, 128> tag;
    tag.fill(' ');
    std::memcpy(tag.data(), "TAG", 3);
    std::memcpy(tag.data() + 3, title.data(), std::min<size_t>(title.size(), 30));
    tag[127] = 255;
    return tag;
}

struct Settings {
    uint32_t bitrateKbps = 0;  // 0: library default
    int vbr = -1;
    const char* title = nullptr;
    uint32_t lengthBytes = MPGE_LENGTH_UNKNOWN;
    int maxFrames = -1;  // the caller stops calling processFrame after this many and closes
};

struct RunResult {
    MPGE_RESULT configure = MPGE_OK;
    MPGE_RESULT detect = MPGE_OK;
    MPGE_RESULT last = MPGE_OK;   // the processFrame result that ended the loop
    MPGE_RESULT again = MPGE_OK;  // one more processFrame after that
    MPGE_RESULT close = MPGE_OK;
    MPGE_RESULT end = MPGE_OK;
    uint32_t delay = 0;
    uint64_t framesRead = 0;
};

// The call sequence the MP3 output uses, with the reader bound to `source`.
RunResult encode(Gogo& gogo, const Tone& tone, std::function<int(uint8_t*, uint32_t)> source,
                 const std::string& path, const Settings& s = {}) {
    RunResult r;
    tSource = &source;
    EXPECT_EQ(gogo.initializeWork(), MPGE_OK);
    std::array<uint8_t, 128> tag{};
    auto set = [&](uint32_t item, uintptr_t a, uintptr_t b) {
        MPGE_RESULT v = gogo.setConfigure(item, a, b);
        if (v != MPGE_OK && r.configure == MPGE_OK) r.configure = v;
    };
    if (s.title != nullptr) {
        tag = makeTag(s.title);
        set(MPGE_ITEM_TAG, 128, ptr(tag.data()));
    }
    set(MPGE_ITEM_OUTPUT, 0, ptr(path.c_str()));  // standard output: Mp3Conversion's pipe
    MPGE_INPUT in{&readFromSource, s.lengthBytes, static_cast<uint32_t>(tone.bits),
                  static_cast<uint32_t>(tone.rateHz), static_cast<uint32_t>(tone.channels)};
    set(MPGE_ITEM_INPUT, MPGE_INPUT_READER, ptr(&in));
    if (s.bitrateKbps != 0) set(MPGE_ITEM_BITRATE, s.bitrateKbps, 0);
    if (s.vbr >= 0) set(MPGE_ITEM_VBR, static_cast<uintptr_t>(s.vbr), 0);
    r.detect = gogo.detectConfigure();
    if (r.configure == MPGE_OK && r.detect == MPGE_OK) {
        gogo.getConfigure(MPGE_INFO_DELAY, &r.delay);
        for (int frames = 0; (s.maxFrames < 0 || frames < s.maxFrames) && r.last == MPGE_OK;
             ++frames)
            r.last = gogo.processFrame();
        r.again = gogo.processFrame();
        gogo.getConfigure(MPGE_INFO_FRAMES_READ, &r.framesRead);
    }
    r.close = gogo.closeCoder();
    r.end = gogo.endCoder();
    tSource = nullptr;
    return r;
}

RunResult encodeTone(Gogo& gogo, const Tone& tone, const std::string& path,
                     const Settings& s = {}) {
    ToneSource src(tone);
    return encode(gogo, tone, std::ref(src), path, s);
}

class EncoderTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(gogo.complete()) << ::dlerror(); }
    Gogo gogo;
    TempDir dir;
};

// The decoded file must have the input's rate, channels, length, level and pitch.
void expectSameSound(const DecodedAudio& out, const Tone& tone, const RunResult& r) {
    ASSERT_EQ(out.rateHz, tone.rateHz);
    ASSERT_EQ(out.channels, tone.channels);
    const long frameSamples = tone.rateHz >= 32000 ? 1152 : 576;
    const long diff = static_cast<long>(out.frames()) - static_cast<long>(tone.frames());
    EXPECT_LE(std::labs(diff), frameSamples + static_cast<long>(r.delay))
        << "decoded " << out.frames() << " frames of " << tone.frames();
    // Measure away from the edges, where the encoder's window fades in and out.
    const size_t skip = static_cast<size_t>(tone.rateHz) / 10;
    const size_t span = tone.frames() - 2 * skip;
    const double expectedRms = tone.amplitude / std::sqrt(2.0);
    for (int ch = 0; ch < tone.channels; ++ch) {
        EXPECT_NEAR(svt::test::decibels(out.rms(ch, skip, span) / expectedRms), 0.0, 1.0)
            << "channel " << ch;
        const double hz = ch == 0 ? tone.leftHz : tone.rightHz;
        EXPECT_NEAR(out.toneHz(ch, skip, span), hz, hz * 0.005) << "channel " << ch;
    }
}

// The cases encode at once, each on its own thread: the library keeps every encoding's state
// apart.
TEST_F(EncoderTest, EncodedTonesDecodeToTheSameSoundEvenWhenEncodedAtOnce) {
    struct Case {
        const char* name;
        Tone tone;
        Settings settings;
    };
    const Case cases[] = {
        {"cbr 192 stereo", {44100, 2, 16, 1.5, 0.5, 440, 660}, {}},
        {"cbr 64 mono 22 kHz", {22050, 1, 16, 1.0, 0.5, 300, 300}, {64, -1}},
        {"8-bit unsigned input", {44100, 2, 8, 1.0, 0.5, 523.25, 392}, {128, -1}},
        {"vbr mono", {44100, 1, 16, 2.0, 0.3, 1760, 1760}, {0, 3}},
        {"known input length", {44100, 2, 16, 0.7, 0.5, 440, 660}, {0, -1, nullptr, 123'456u * 4u}},
    };
    std::vector<Tone> tones;
    std::vector<RunResult> results(std::size(cases));
    std::vector<std::thread> threads;
    for (const Case& c : cases) {
        tones.push_back(c.tone);
        if (c.settings.lengthBytes != MPGE_LENGTH_UNKNOWN)
            tones.back().exactFrames = c.settings.lengthBytes / c.tone.bytesPerFrame();
    }
    for (size_t i = 0; i < std::size(cases); ++i)
        threads.emplace_back([&, i] {
            results[i] =
                encodeTone(gogo, tones[i], dir.file(std::to_string(i) + ".mp3"), cases[i].settings);
        });
    for (std::thread& t : threads) t.join();
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        const RunResult& r = results[i];
        ASSERT_EQ(r.configure, MPGE_OK);
        ASSERT_EQ(r.detect, MPGE_OK);
        EXPECT_EQ(r.last, MPGE_END);
        EXPECT_EQ(r.close, MPGE_OK);
        EXPECT_EQ(r.end, MPGE_OK);
        EXPECT_GE(r.framesRead, tones[i].frames());
        std::string log;
        auto out = svt::test::decodeMp3(dir.file(std::to_string(i) + ".mp3"), &log);
        ASSERT_TRUE(out) << log;
        expectSameSound(*out, tones[i], r);
    }
}

TEST_F(EncoderTest, FileCarriesTheGivenTagAndALengthHeader) {
    const Tone tone{44100, 2, 16, 2.0, 0.5, 440, 660};
    struct Case {
        const char* name;
        Settings settings;
        const char* header;  // LAME names the first frame's header "Info" for CBR, "Xing" for VBR
    };
    const Case cases[] = {
        {"cbr", {128, -1, "Short title"}, "Info"},
        {"vbr", {0, 4, "A title of exactly thirty chr."}, "Xing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string(c.name) + ".mp3");
        RunResult r = encodeTone(gogo, tone, path, c.settings);
        ASSERT_EQ(r.last, MPGE_END);
        std::vector<uint8_t> bytes = svt::test::readFileBytes(path);
        ASSERT_GT(bytes.size(), 1000u);
        const auto tag = makeTag(c.settings.title);
        EXPECT_TRUE(std::equal(tag.begin(), tag.end(), bytes.end() - 128))
            << "the tag is the file's last 128 bytes";

        // The first frame holds the length header with the frame count and LAME's delay record.
        const std::string head(bytes.begin(), bytes.begin() + 400);
        size_t at = head.find(c.header);
        ASSERT_NE(at, std::string::npos);
        EXPECT_NE(head.find("LAME", at), std::string::npos);
        const uint32_t flags =
            (bytes[at + 4] << 24) | (bytes[at + 5] << 16) | (bytes[at + 6] << 8) | bytes[at + 7];
        ASSERT_TRUE(flags & 1) << "frame count present";
        const uint32_t frames =
            (bytes[at + 8] << 24) | (bytes[at + 9] << 16) | (bytes[at + 10] << 8) | bytes[at + 11];
        // Input frames plus the encoder's delay and padding, in whole MP3 frames.
        EXPECT_NEAR(static_cast<double>(frames), tone.frames() / 1152.0 + 1.5, 1.5);

        // mpg123 reads the delay record and gives back exactly what the reader delivered:
        // the tone, its last request padded with silence.
        auto out = svt::test::decodeMp3(path);
        ASSERT_TRUE(out);
        EXPECT_EQ(out->frames(), (tone.frames() + 1151) / 1152 * 1152);
    }
}

TEST_F(EncoderTest, ReaderThatEndsOrFailsEarlyLeavesAPlayableFile) {
    const Tone tone{44100, 2, 16, 1.0, 0.5, 440, 660};
    struct Case {
        const char* name;
        int goodCalls;     // requests answered before the reader reports the end
        bool closeMidway;  // the caller stops calling processFrame and closes
    };
    const Case cases[] = {
        {"ends at once", 0, false}, {"ends after 7 frames", 7, false}, {"closed midway", 20, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ToneSource tone440(tone);
        int calls = 0;
        auto source = [&](uint8_t* out, uint32_t bytes) {
            return calls++ < c.goodCalls ? tone440(out, bytes) : -1;
        };
        const std::string path = dir.file(std::string(c.name) + ".mp3");
        Settings settings;
        settings.maxFrames = c.closeMidway ? 10 : -1;
        const RunResult r = encode(gogo, tone, source, path, settings);
        EXPECT_EQ(r.last, c.closeMidway ? MPGE_OK : MPGE_END);
        EXPECT_EQ(r.again, r.last) << "asking again after the end is harmless";
        EXPECT_EQ(r.close, MPGE_OK);
        EXPECT_EQ(r.end, MPGE_OK);
        auto out = svt::test::decodeMp3(path);
        ASSERT_TRUE(out);
        EXPECT_EQ(out->frames(),
                  c.closeMidway ? 11 * 1152 : static_cast<uint64_t>(c.goodCalls) * 1152);
    }
}

TEST_F(EncoderTest, WrongCallsAndSettingsAreRefusedWithAResult) {
    const std::string good = dir.file("x.mp3");
    MPGE_INPUT in{&readFromSource, MPGE_LENGTH_UNKNOWN, 16, 44100, 2};
    const uint8_t badTag[128] = {'T', 'A', 'X'};
    const uint8_t id3Cut[20] = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 30};
    struct Case {
        const char* name;
        std::function<MPGE_RESULT()> call;
        MPGE_RESULT expected;
    };
    auto setAfterInit = [&](uint32_t item, uintptr_t a, uintptr_t b) {
        return [&, item, a, b] {
            gogo.initializeWork();
            return gogo.setConfigure(item, a, b);
        };
    };
    MPGE_INPUT badRate = in;
    badRate.rate_hz = 44000;
    const Case cases[] = {
        {"configure before initialise",
         [&] {
             gogo.endCoder();
             return gogo.setConfigure(MPGE_ITEM_OUTPUT, 1, 0);
         },
         MPGE_NOT_READY},
        {"unknown item", setAfterInit(7, 0, 0), MPGE_BAD_ITEM},
        {"tag of wrong size", setAfterInit(MPGE_ITEM_TAG, 100, ptr(badTag)), MPGE_BAD_PARAMETER},
        // An ID3v2 tag whose header claims more than was given.
        {"leading tag cut short", setAfterInit(MPGE_ITEM_TAG, 20, ptr(id3Cut)), MPGE_BAD_PARAMETER},
        {"empty file name", setAfterInit(MPGE_ITEM_OUTPUT, 0, ptr("")), MPGE_BAD_PARAMETER},
        {"input kind 0", setAfterInit(MPGE_ITEM_INPUT, 0, ptr(&in)), MPGE_BAD_PARAMETER},
        {"input 44000 Hz", setAfterInit(MPGE_ITEM_INPUT, MPGE_INPUT_READER, ptr(&badRate)),
         MPGE_BAD_PARAMETER},
        {"bit rate 100", setAfterInit(MPGE_ITEM_BITRATE, 100, 0), MPGE_BAD_PARAMETER},
        {"vbr 10", setAfterInit(MPGE_ITEM_VBR, 10, 0), MPGE_BAD_PARAMETER},
        {"bit rate 256", setAfterInit(MPGE_ITEM_BITRATE, 256, 0), MPGE_OK},
        {"detect without input",
         [&] {
             gogo.initializeWork();
             gogo.setConfigure(MPGE_ITEM_OUTPUT, 0, ptr(good.c_str()));
             return gogo.detectConfigure();
         },
         MPGE_NOT_READY},
        {"detect into a missing folder",
         [&] {
             gogo.initializeWork();
             static const char* missing = "/nonexistent-folder/x.mp3";
             gogo.setConfigure(MPGE_ITEM_OUTPUT, 0, ptr(missing));
             gogo.setConfigure(MPGE_ITEM_INPUT, MPGE_INPUT_READER, ptr(&in));
             MPGE_RESULT r = gogo.detectConfigure();
             EXPECT_EQ(gogo.processFrame(), MPGE_CANNOT_OPEN_OUTPUT) << "the failure stays";
             return r;
         },
         MPGE_CANNOT_OPEN_OUTPUT},
        {"configure after detect",
         [&] {
             gogo.initializeWork();
             gogo.setConfigure(MPGE_ITEM_OUTPUT, 0, ptr(good.c_str()));
             gogo.setConfigure(MPGE_ITEM_INPUT, MPGE_INPUT_READER, ptr(&in));
             gogo.detectConfigure();
             return gogo.setConfigure(MPGE_ITEM_BITRATE, 128, 0);
         },
         MPGE_NOT_READY},
        {"info into null",
         [&] {
             gogo.initializeWork();
             return gogo.getConfigure(MPGE_INFO_BITRATE, nullptr);
         },
         MPGE_BAD_PARAMETER},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.call(), c.expected) << c.name;
        gogo.closeCoder();
        EXPECT_EQ(gogo.endCoder(), MPGE_OK) << c.name;
    }
    uint32_t code = 0;
    char text[MPGE_VERSION_TEXT_SIZE];
    EXPECT_EQ(gogo.getVersion(&code, text), MPGE_OK);
    EXPECT_GE(code, 300u) << "callers skip the old items from 300 on";
    EXPECT_NE(std::string(text).find("LAME"), std::string::npos);
}

}  // namespace
