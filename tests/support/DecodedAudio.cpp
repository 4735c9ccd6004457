#include "support/DecodedAudio.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "support/Signal.h"
#include "support/TempDir.h"

namespace svt::test {
namespace {

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
    std::vector<double> x;
    for (size_t f = first; f < end; ++f)
        x.push_back(samples[f * static_cast<size_t>(channels) + static_cast<size_t>(channel)]);
    return pitchByZeroCrossings(x, rateHz);
}

std::optional<DecodedAudio> readWav16(const std::string& path) {
    const auto wav = readWav(path);
    if (!wav.ok() || wav->bitsPerSample != 16) return std::nullopt;
    DecodedAudio audio;
    audio.rateHz = wav->rateHz;
    audio.channels = wav->channels;
    for (int32_t s : wav->samples) audio.samples.push_back(static_cast<int16_t>(s));
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
