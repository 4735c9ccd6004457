#include "support/DecodedAudio.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "support/TempDir.h"

namespace svt::test {
namespace {

uint32_t le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

std::string shellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

}  // namespace

double DecodedAudio::rms(int channel, size_t first, size_t count) const {
    const size_t end = count > frames() - std::min(first, frames()) ? frames() : first + count;
    if (first >= end) return 0.0;
    double sum = 0.0;
    for (size_t f = first; f < end; ++f) {
        double v =
            samples[f * static_cast<size_t>(channels) + static_cast<size_t>(channel)] / 32768.0;
        sum += v * v;
    }
    return std::sqrt(sum / static_cast<double>(end - first));
}

double DecodedAudio::toneHz(int channel, size_t first, size_t count) const {
    const size_t end = count > frames() - std::min(first, frames()) ? frames() : first + count;
    auto at = [&](size_t f) {
        return samples[f * static_cast<size_t>(channels) + static_cast<size_t>(channel)];
    };
    // Interpolated positions of the first and last rising crossing give sub-sample precision.
    double firstCross = -1, lastCross = -1;
    int crossings = 0;
    for (size_t f = first + 1; f < end; ++f) {
        int a = at(f - 1), b = at(f);
        if (a < 0 && b >= 0) {
            double pos =
                static_cast<double>(f - 1) + static_cast<double>(-a) / static_cast<double>(b - a);
            if (firstCross < 0) firstCross = pos;
            lastCross = pos;
            ++crossings;
        }
    }
    if (crossings < 2) return 0.0;
    return (crossings - 1) * rateHz / (lastCross - firstCross);
}

std::optional<DecodedAudio> readWav16(const std::string& path) {
    std::vector<uint8_t> bytes = readFileBytes(path);
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        return std::nullopt;
    DecodedAudio audio;
    bool haveFormat = false;
    size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const uint8_t* chunk = bytes.data() + pos;
        size_t size = le32(chunk + 4);
        size_t body = pos + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16 && body + 16 <= bytes.size()) {
            if (le16(chunk + 8) != 1 || le16(chunk + 22) != 16) return std::nullopt;
            audio.channels = le16(chunk + 10);
            audio.rateHz = static_cast<int>(le32(chunk + 12));
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            // Streams written without a known length carry 0xFFFFFFFF here: take what is there.
            size_t avail = std::min(size, bytes.size() - body) / 2;
            audio.samples.resize(avail);
            for (size_t i = 0; i < avail; ++i)
                audio.samples[i] = static_cast<int16_t>(le16(bytes.data() + body + 2 * i));
            break;
        }
        pos = body + size + (size & 1);
    }
    if (!haveFormat || audio.channels <= 0) return std::nullopt;
    return audio;
}

int runCommand(const std::string& command, std::string* output) {
#ifdef _WIN32
    // cmd.exe /c drops the outermost quotes of a line that starts with one.
    FILE* pipe = ::_popen(("\"" + command + " 2>&1\"").c_str(), "rb");
#else
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
#endif
    if (pipe == nullptr) return -1;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0)
        if (output != nullptr) output->append(buf.data(), n);
#ifdef _WIN32
    return ::_pclose(pipe);
#else
    int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

std::optional<DecodedAudio> decodeMp3(const std::string& path, std::string* log) {
    const std::string wav = path + ".decoded.wav";
    std::string out;
    int rc = runCommand("mpg123 -q -w " + shellQuote(wav) + " " + shellQuote(path), &out);
    if (log != nullptr) *log = out;
    if (rc != 0) return std::nullopt;
    auto audio = readWav16(wav);
    std::error_code ec;
    std::filesystem::remove(wav, ec);
    return audio;
}

std::string mpg123Title(const std::string& path) {
    std::string out;
    runCommand("mpg123 -t -v " + shellQuote(path), &out);
    size_t at = out.find("Title:");
    if (at == std::string::npos) return {};
    at += 6;
    while (at < out.size() && (out[at] == ' ' || out[at] == '\t')) ++at;
    size_t end = out.find('\n', at);
    std::string title = out.substr(at, end == std::string::npos ? std::string::npos : end - at);
    while (!title.empty() && (title.back() == ' ' || title.back() == '\r')) title.pop_back();
    return title;
}

double decibels(double ratio) {
    return 20.0 * std::log10(ratio);
}

}  // namespace svt::test
