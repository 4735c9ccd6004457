#include "output/CodecOutput.h"

#include <cerrno>

#include "output/OutputNames.h"
#include "song/SongInfo.h"

namespace svt::output {
namespace {

struct KindFacts {
    char id;
    const char* displayName;
    const char* extension;
    const char* createGerman;
    const char* createEnglish;
};

constexpr KindFacts kFacts[] = {
    {'f', "FLAC", "flac", "Die FLAC-Datei kann nicht erstellt werden!",
     "FLAC file could not be created!"},
    {'v', "Ogg Vorbis", "ogg", "Die Ogg-Vorbis-Datei kann nicht erstellt werden!",
     "Ogg Vorbis file could not be created!"},
    {'o', "Opus", "opus", "Die Opus-Datei kann nicht erstellt werden!",
     "Opus file could not be created!"},
};

const KindFacts& factsOf(CodecKind kind) {
    return kFacts[static_cast<int>(kind)];
}

// The Ogg stream's serial number, from the file's own name: the same file is made the same
// byte for byte, and the files of different songs differ.
uint32_t serialFor(const std::string& path) {
    uint32_t hash = 2166136261u;
    for (const char c : path.substr(path.find_last_of("/\\") + 1)) {
        hash ^= static_cast<uint8_t>(c);
        hash *= 16777619u;
    }
    return hash;
}

}  // namespace

class CodecOutput::FileSink final : public ByteSink {
  public:
    bool write(const uint8_t* bytes, size_t count) override {
        if (error == 0) error = file.writeAll(bytes, count);
        return error == 0;
    }
    // Standard output is never repositioned, even when it was sent into a file: what the
    // codec would write back there is only a summary, and the stream is complete without it.
    bool seek(int64_t offset) override { return !file.isStandardOutput() && file.seek(offset); }
    int64_t position() override { return file.isStandardOutput() ? -1 : file.position(); }

    platform::OutputFile file;
    int error = 0;  // the first write's system error number
};

CodecOutput::CodecOutput(CodecKind kind, const CodecSettings& settings)
    : kind_(kind), settings_(settings) {
    idName = factsOf(kind).displayName;
    idCharacter = factsOf(kind).id;
    flags = OF_PCM_STREAM;
}

CodecOutput::~CodecOutput() {
    // A file nobody closed was not finished.
    abandoned_ = true;
    closeFile();
}

const char* CodecOutput::extension() const {
    return factsOf(kind_).extension;
}

std::unique_ptr<AudioCodec> CodecOutput::makeCodec() const {
    switch (kind_) {
        case CodecKind::Flac:
            return makeFlacCodec(settings_);
        case CodecKind::Vorbis:
            return makeVorbisCodec(settings_);
        case CodecKind::Opus:
            return makeOpusCodec(settings_);
    }
    return nullptr;
}

void CodecOutput::fail(bool creating, int error) {
    const KindFacts& f = factsOf(kind_);
    lastMessage_ = creating ? tr(language, f.createGerman, f.createEnglish)
                            : tr(language, "Die Datei konnte nicht geschrieben werden!",
                                 "The file could not be written!");
    std::string reason = error != 0 ? platform::OutputFile::errorText(error)
                         : codec_   ? codec_->problem()
                                    : std::string();
    if (!lastOutputPath_.empty())
        lastMessage_ += " (" + lastOutputPath_ + (reason.empty() ? "" : ": " + reason) + ")";
    else if (!reason.empty())
        lastMessage_ += " (" + reason + ")";
}

int CodecOutput::openOutput() {
    lastMessage_.clear();
    lastOutputPath_.clear();
    const std::unique_ptr<AudioCodec> probe = makeCodec();
    if (probe == nullptr) {
        lastMessage_ =
            std::string(tr(language, factsOf(kind_).createGerman, factsOf(kind_).createEnglish)) +
            tr(language, " (Dieses Programm wurde ohne den Encoder gebaut.)",
               " (This program was built without its encoder.)");
        return -1;
    }
    // Opus plays at 48 kHz; an engine that renders at another rate (the desktop program's
    // 44.1 kHz) has its samples resampled by libopusenc.
    encoding = normalizeEncoding(probe->inputEncoding(encoding));
    if (batchConversion) {
        flags |= OF_AUTO_NAME;
        name.clear();
        return 0;
    }
    flags &= ~OF_AUTO_NAME;
    return openFile(name);
}

int CodecOutput::openFile(const std::string& path) {
    closeFile();
    lastMessage_.clear();
    lastOutputPath_ = path;
    abandoned_ = failed_ = false;
    sink_ = std::make_unique<FileSink>();
    int error = 0;
    if (path == "-") {
        sink_->file.useStandardOutput();
    } else if (path.empty()) {
        error = ENOENT;
    } else {
        switch (platform::pathKind(path)) {
            case platform::PathKind::Folder:
                error = EISDIR;
                break;
            case platform::PathKind::Other:
                error = sink_->file.create(path);  // a device or a pipe is written in place
                break;
            default:
                error = pending_.create(path, sink_->file);
        }
    }
    if (error != 0) {
        fail(true, error);
        return -1;
    }
    codec_ = makeCodec();
    const CodecStream stream{rate, encoding, writeTags ? &songTags : nullptr, serialFor(path)};
    if (codec_ == nullptr || !codec_->begin(*sink_, stream)) {
        fail(true, sink_->error);
        codec_.reset();
        sink_->file.close();
        pending_.discard();
        return -1;
    }
    fd = sink_->file.isStandardOutput() ? 1 : 3;
    return 0;
}

int CodecOutput::outputData(const uint8_t* bytes, size_t count) {
    if (codec_ == nullptr || failed_) return -1;
    if (!codec_->encode(bytes, count)) {
        failed_ = true;
        fail(false, sink_->error);
        return -1;
    }
    return static_cast<int>(count);
}

int CodecOutput::closeFile() {
    if (codec_ == nullptr) return 0;
    int result = failed_ ? -1 : 0;
    const bool finish = !failed_ && !abandoned_;
    if (finish && !codec_->finish()) {
        fail(false, sink_->error);
        result = -1;
    }
    codec_.reset();
    if (!sink_->file.isStandardOutput()) {
        if (const int error = sink_->file.close(); error != 0 && result == 0 && finish) {
            fail(false, error);
            result = -1;
        }
        if (!finish || result < 0) {
            pending_.discard();
        } else if (pending_.active()) {
            if (const int error = pending_.commit(replaceExisting); error != 0) {
                fail(false, error);
                result = -1;
            }
        }
    } else {
        sink_->file.close();
    }
    if (result < 0 && lastMessage_.empty()) fail(false, 0);
    fd = -1;
    return result;
}

int CodecOutput::closeOutput() {
    return closeFile();
}

int CodecOutput::acntl(int request, void*) {
    // Samples are encoded as they come: nothing is held back to be dropped.
    if (request == OUT_REQ_DISCARD) return 0;
    return -1;
}

int CodecOutput::songStart(const std::string& songPath) {
    if (!(flags & OF_AUTO_NAME)) return 0;
    if (writeTags) {
        SongInfoList infos;
        songTags = readSongTags(infos, songPath);
    }
    return openFile(automaticOutputName(songPath, extension()));
}

int CodecOutput::songEnd() {
    if (!(flags & OF_AUTO_NAME)) return 0;
    return closeFile();
}

int CodecOutput::songAbandon() {
    if (!(flags & OF_AUTO_NAME)) return 0;
    abandoned_ = true;
    return closeFile();
}

}  // namespace svt::output
