#include "output/WavOutput.h"

#include <cerrno>
#include <cstring>

#include "output/FileTags.h"
#include "output/OutputNames.h"
#include "song/SongInfo.h"

namespace svt::output {

namespace {

void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}

// RIFF sizes are 32 bits; a file beyond that keeps the "unknown" value rather than a
// wrapped, wrong one.
uint32_t sizeField(int64_t value) {
    return (value < 0 || value > 0xFFFFFFFFLL) ? 0xFFFFFFFFu : static_cast<uint32_t>(value);
}

}  // namespace

WavHeader makeWavHeader(int32_t encoding, int32_t rate, int64_t dataBytes,
                        const std::vector<uint8_t>& infoList) {
    const int channels = channelsOf(encoding);
    const int bytes = bytesPerSample(encoding);
    const bool isFloat = (encoding & ENC_FLOAT) != 0;
    const uint16_t tag = isFloat ? 3 : (encoding & ENC_ALAW) ? 6 : (encoding & ENC_ULAW) ? 7 : 1;
    WavHeader w;
    w.bytes.resize(isFloat ? 58 : 44);
    uint8_t* h = w.bytes.data();
    std::memcpy(h, "RIFF", 4);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, isFloat ? 18 : 16);
    put16(h + 20, tag);
    put16(h + 22, static_cast<uint32_t>(channels));
    put32(h + 24, static_cast<uint32_t>(rate));
    put32(h + 28, static_cast<uint32_t>(rate * channels * bytes));
    put16(h + 32, static_cast<uint32_t>(bytes * channels));
    put16(h + 34, static_cast<uint32_t>(bytes * 8));
    size_t at = 36;
    if (isFloat) {
        put16(h + 36, 0);  // no extension bytes
        std::memcpy(h + 38, "fact", 4);
        put32(h + 42, 4);
        w.factAt = 46;
        put32(h + 46, sizeField(dataBytes < 0 ? -1 : dataBytes / (bytes * channels)));
        at = 50;
    }
    w.bytes.insert(w.bytes.begin() + static_cast<ptrdiff_t>(at), infoList.begin(), infoList.end());
    h = w.bytes.data();
    at += infoList.size();
    std::memcpy(h + at, "data", 4);
    w.dataSizeAt = at + 4;
    put32(h + w.dataSizeAt, sizeField(dataBytes));
    const int64_t riff = static_cast<int64_t>(w.bytes.size()) - 8;
    put32(h + 4, dataBytes < 0 ? 0xFFFFFFFFu : sizeField(dataBytes + riff));
    return w;
}

WavOutput::WavOutput() {
    idName = "RIFF WAVE Datei";
    idCharacter = 'w';
    flags = OF_PCM_STREAM;
}

WavOutput::~WavOutput() {
    // A file nobody closed was not finished.
    abandoned_ = true;
    closeFile();
}

std::string WavOutput::writingPath() const {
    return pending_.active() ? pending_.temporaryPath() : lastOutputPath_;
}

void WavOutput::fail(const char* german, const char* english, const std::string& path, int error) {
    lastMessage_ = tr(language, german, english);
    if (!path.empty())
        lastMessage_ +=
            " (" + path + (error ? ": " + platform::OutputFile::errorText(error) : "") + ")";
}

int WavOutput::openOutput() {
    lastMessage_.clear();
    int32_t e = encoding;
    if (e & (ENC_16BIT | ENC_24BIT | ENC_32BIT | ENC_FLOAT))
        e = (e | ENC_SIGNED) & ~ENC_BYTESWAP;
    else if (!(e & (ENC_ULAW | ENC_ALAW)))
        e &= ~ENC_SIGNED;
    encoding = normalizeEncoding(e);
    if (batchConversion) {
        flags |= OF_AUTO_NAME;
        name.clear();
        return 0;
    }
    flags &= ~OF_AUTO_NAME;
    return openFile(name);
}

int WavOutput::openFile(const std::string& path) {
    closeFile();
    lastMessage_.clear();
    abandoned_ = failed_ = false;
    int error = 0;
    if (path == "-") {
        file_.useStandardOutput();
    } else if (path.empty()) {
        error = ENOENT;
    } else {
        switch (platform::pathKind(path)) {
            case platform::PathKind::Folder:
                error = EISDIR;
                break;
            case platform::PathKind::Other:
                error = file_.create(path);  // a device or a pipe has no old contents to keep
                break;
            default:
                error = pending_.create(path, file_);
        }
    }
    if (error != 0) {
        fail("Die Wave-Datei kann nicht erstellt werden!", "Wave file could not be created!", path,
             error);
        return -1;
    }
    header_ = makeWavHeader(encoding, rate, -1,
                            writeTags ? makeRiffInfoList(songTags) : std::vector<uint8_t>());
    if (error = file_.writeAll(header_.bytes.data(), header_.bytes.size()); error != 0) {
        fail("Die Wave-Datei kann nicht erstellt werden!", "Wave file could not be created!", path,
             error);
        file_.close();
        pending_.discard();
        return -1;
    }
    fd = file_.isStandardOutput() ? 1 : 3;
    dataBytes_ = 0;
    nextUpdate_ = kWavUpdateInterval;
    // Standard output keeps the unknown sizes even when it was sent into a file: its header
    // is not brought up to date at close, and one updated only now and then would be wrong.
    cannotUpdate_ = file_.isStandardOutput();
    lastOutputPath_ = path;
    return 0;
}

int WavOutput::outputData(const uint8_t* bytes, size_t count) {
    if (!file_.isOpen()) return -1;
    if (const int error = file_.writeAll(bytes, count); error != 0) {
        fail("Die Datei konnte nicht geschrieben werden!", "The file could not be written!",
             lastOutputPath_, error);
        failed_ = true;
        return -1;
    }
    dataBytes_ += static_cast<int64_t>(count);
    if (dataBytes_ >= nextUpdate_) {
        if (updateHeader() < 0) {
            failed_ = true;
            return -1;
        }
        nextUpdate_ = dataBytes_ + kWavUpdateInterval;
    }
    return static_cast<int>(count);
}

int WavOutput::updateHeader() {
    if (cannotUpdate_) return 0;
    const int64_t at = file_.position();
    if (at < 0 || !file_.seek(4)) {
        cannotUpdate_ = true;
        return 0;
    }
    uint8_t field[4];
    put32(field, sizeField(dataBytes_ + static_cast<int64_t>(header_.bytes.size()) - 8));
    if (file_.writeAll(field, 4) != 0) {
        file_.seek(at);
        return -1;
    }
    put32(field, sizeField(dataBytes_));
    bool ok = file_.seek(static_cast<int64_t>(header_.dataSizeAt)) && file_.writeAll(field, 4) == 0;
    if (ok && header_.factAt != 0) {
        put32(field, sizeField(dataBytes_ / bytesPerFrame(encoding)));
        ok = file_.seek(static_cast<int64_t>(header_.factAt)) && file_.writeAll(field, 4) == 0;
    }
    return file_.seek(at) && ok ? 0 : -1;
}

int WavOutput::closeFile() {
    if (!file_.isOpen()) return 0;
    int result = failed_ ? -1 : 0;
    const bool finish = !failed_ && !abandoned_;
    if (!file_.isStandardOutput()) {
        if (finish && updateHeader() < 0) result = -1;
        if (const int error = file_.close(); error != 0 && result == 0 && finish) {
            fail("Die Datei konnte nicht geschrieben werden!", "The file could not be written!",
                 lastOutputPath_, error);
            result = -1;
        }
        if (!finish || result < 0) {
            pending_.discard();
        } else if (pending_.active()) {
            if (const int error = pending_.commit(replaceExisting); error != 0) {
                fail("Die Datei konnte nicht geschrieben werden!", "The file could not be written!",
                     lastOutputPath_, error);
                result = -1;
            }
        }
    } else {
        file_.close();
    }
    if (result < 0 && lastMessage_.empty())
        fail("Die Datei konnte nicht geschrieben werden!", "The file could not be written!",
             lastOutputPath_, 0);
    fd = -1;
    return result;
}

int WavOutput::closeOutput() {
    return closeFile();
}

int WavOutput::acntl(int request, void*) {
    if (request == OUT_REQ_DISCARD) return 0;
    return -1;
}

int WavOutput::songStart(const std::string& songPath) {
    if (!(flags & OF_AUTO_NAME)) return 0;
    if (writeTags) {
        SongInfoList infos;
        songTags = readSongTags(infos, songPath);
    }
    return openFile(automaticOutputName(songPath, "wav"));
}

int WavOutput::songEnd() {
    if (!(flags & OF_AUTO_NAME)) return 0;
    return closeFile();
}

int WavOutput::songAbandon() {
    if (!(flags & OF_AUTO_NAME)) return 0;
    abandoned_ = true;
    return closeFile();
}

}  // namespace svt::output
