#include "output/Mp3Output.h"

#include <cerrno>

#include "output/FileTags.h"
#include "output/OutputNames.h"
#include "song/SongInfo.h"

namespace svt::output {
namespace {

constexpr const char* kLoadGerman = "MP3-Encoder konnte nicht geladen werden!";
constexpr const char* kLoadEnglish = "Error loading MP3-Encoder!";
constexpr const char* kFileGerman = "Die MP3-Datei kann nicht erstellt werden!";
constexpr const char* kFileEnglish = "MP3 file could not be created!";

// The library takes 16-bit signed little-endian or 8-bit unsigned linear samples: 24 bits,
// 32 bits and float become 16, and companded 8-bit codes become linear ones (the encoder cannot
// expand them).
int32_t encoderEncoding(int32_t e) {
    constexpr int32_t kWider = ENC_24BIT | ENC_32BIT | ENC_FLOAT;
    if (e & kWider) e = (e & ~kWider) | ENC_16BIT;
    if (e & ENC_16BIT)
        e = (e | ENC_SIGNED) & ~(ENC_BYTESWAP | ENC_ULAW | ENC_ALAW);
    else
        e &= ~(ENC_SIGNED | ENC_ULAW | ENC_ALAW);
    return normalizeEncoding(e);
}

}  // namespace

const char* encoderLoadMessage(Language language) {
    return tr(language, kLoadGerman, kLoadEnglish);
}

Mp3Output::Mp3Output(EncoderSearch search, RingWait wait)
    : search_(search), encoder_(std::move(search), wait) {
    idName = "MP3";
    idCharacter = 'g';
    flags = OF_PCM_STREAM;
}

Mp3Output::~Mp3Output() {
    // A file nobody closed was not finished.
    abandoned_ = true;
    closeFile();
}

bool Mp3Output::encoderAvailable() const {
    return output::encoderAvailable(search_);
}

void Mp3Output::fail(const char* german, const char* english, int error) {
    failBecause(german, english, error ? platform::OutputFile::errorText(error) : "");
}

void Mp3Output::failBecause(const char* german, const char* english, const std::string& reason) {
    lastMessage_ = tr(language, german, english);
    if (!lastOutputPath_.empty())
        lastMessage_ += " (" + lastOutputPath_ + (reason.empty() ? "" : ": " + reason) + ")";
}

int Mp3Output::openOutput() {
    lastMessage_.clear();
    lastOutputPath_.clear();
    if (!encoderAvailable() && !(locateEncoder && locateEncoder() && encoderAvailable())) {
        fail(kLoadGerman, kLoadEnglish);
        return -1;
    }
    encoding = encoderEncoding(encoding);
    encoder_.setInputFormat({rate, (encoding & ENC_16BIT) ? 16 : 8, channelsOf(encoding)});
    if (batchConversion) {
        flags |= OF_AUTO_NAME;
        name.clear();
        return 0;
    }
    flags &= ~OF_AUTO_NAME;
    return startFile(name);
}

int Mp3Output::startFile(const std::string& path) {
    if (closeFile() < 0) return -1;
    lastMessage_.clear();
    lastOutputPath_ = path;
    abandoned_ = false;
    int error = 0;
    std::string writeTo = path;
    if (path.empty()) {
        error = ENOENT;
    } else if (path != "-") {
        switch (platform::pathKind(path)) {
            case platform::PathKind::Folder:
                error = EISDIR;
                break;
            case platform::PathKind::Other:
                break;  // a device or a pipe is written in place
            default:
                error = pending_.reserve(path);
                writeTo = pending_.temporaryPath();
        }
    }
    if (error != 0 ||
        encoder_.start(writeTo, songTags.title,
                       writeTags ? makeId3v2Tag(songTags) : std::vector<uint8_t>()) < 0) {
        pending_.discard();
        if (error != 0)
            fail(kFileGerman, kFileEnglish, error);
        else
            failBecause(kFileGerman, kFileEnglish, encoder_.lastReason());
        return -1;
    }
    fd = path == "-" ? 1 : 3;
    return 0;
}

int Mp3Output::closeFile() {
    if (!encoder_.isOpen()) return 0;
    fd = -1;
    if (encoder_.close() < 0) {
        pending_.discard();
        failBecause(kFileGerman, kFileEnglish, encoder_.lastReason());
        return -1;
    }
    if (abandoned_) {
        pending_.discard();
        return 0;
    }
    if (pending_.active()) {
        if (const int error = pending_.commit(replaceExisting); error != 0) {
            fail(kFileGerman, kFileEnglish, error);
            return -1;
        }
    }
    return 0;
}

int Mp3Output::closeOutput() {
    return closeFile();
}

int Mp3Output::outputData(const uint8_t* bytes, size_t count) {
    const long taken = encoder_.output(bytes, count);
    if (taken < 0) {
        // The first failure names the file; later calls keep that text.
        if (lastMessage_.empty()) failBecause(kFileGerman, kFileEnglish, encoder_.lastReason());
        return -1;
    }
    return static_cast<int>(taken);
}

int Mp3Output::acntl(int request, void*) {
    if (request == OUT_REQ_DISCARD) {
        encoder_.discard();
        return 0;
    }
    return -1;
}

int Mp3Output::songStart(const std::string& songPath) {
    if (!(flags & OF_AUTO_NAME)) return 0;
    // The title is read from the song's first tracks, as the playlist shows it.
    SongInfoList infos;
    songTags = readSongTags(infos, songPath);
    return startFile(automaticOutputName(songPath, "mp3"));
}

int Mp3Output::songEnd() {
    if (!(flags & OF_AUTO_NAME)) return 0;
    return closeFile();
}

int Mp3Output::songAbandon() {
    if (!(flags & OF_AUTO_NAME)) return 0;
    abandoned_ = true;
    return closeFile();
}

}  // namespace svt::output
