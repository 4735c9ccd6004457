#include "output/FileTags.h"

#include "song/CleanText.h"

namespace svt::output {
namespace {

#ifndef SORVANTO_VERSION
#define SORVANTO_VERSION "unknown"
#endif

// Tag texts are short; a song's text is cut at this many bytes (never inside a UTF-8
// character) so that no tag grows without bound.
constexpr size_t kMaxTextBytes = 1024;

std::string bounded(const std::string& text) {
    if (text.size() <= kMaxTextBytes) return text;
    size_t cut = kMaxTextBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return text.substr(0, cut);
}

void putLittleEndian(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(v >> shift));
}
// ID3v2 sizes carry seven bits a byte, so that no size looks like a frame sync.
void putSyncSafe(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 21; shift >= 0; shift -= 7)
        out.push_back(static_cast<uint8_t>((v >> shift) & 0x7F));
}
void putText(std::vector<uint8_t>& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}

}  // namespace

const char* encoderTagText() {
    return "Sorvanto " SORVANTO_VERSION;
}

std::vector<std::pair<std::string, std::string>> vorbisComments(const SongTags& tags) {
    std::vector<std::pair<std::string, std::string>> fields;
    for (const auto& [name, value] :
         {std::pair{"TITLE", &tags.title}, std::pair{"COPYRIGHT", &tags.copyright},
          std::pair{"COMPOSER", &tags.composer}, std::pair{"SOURCE", &tags.source}})
        if (!value->empty()) fields.emplace_back(name, bounded(*value));
    fields.emplace_back("ENCODER", encoderTagText());
    return fields;
}

std::vector<uint8_t> makeId3v2Tag(const SongTags& tags) {
    std::vector<uint8_t> frames;
    // Text frames: encoding byte 3 (UTF-8), then the text; a user frame (TXXX) puts its
    // description and a zero before the text.
    auto frame = [&](const char* id, const std::string& description, const std::string& text) {
        if (text.empty()) return;
        const std::string value = bounded(text);
        const size_t size = 1 + (description.empty() ? 0 : description.size() + 1) + value.size();
        putText(frames, id);
        putSyncSafe(frames, static_cast<uint32_t>(size));
        frames.push_back(0);  // no frame flags
        frames.push_back(0);
        frames.push_back(3);
        if (!description.empty()) {
            putText(frames, description);
            frames.push_back(0);
        }
        putText(frames, value);
    };
    frame("TIT2", "", tags.title);
    frame("TCOP", "", tags.copyright);
    frame("TCOM", "", tags.composer);
    frame("TXXX", "SOURCE", tags.source);
    frame("TSSE", "", encoderTagText());
    std::vector<uint8_t> tag = {'I', 'D', '3', 4, 0, 0};
    putSyncSafe(tag, static_cast<uint32_t>(frames.size()));
    tag.insert(tag.end(), frames.begin(), frames.end());
    return tag;
}

std::vector<uint8_t> makeRiffInfoList(const SongTags& tags) {
    std::vector<uint8_t> items;
    // Each item holds its text with a closing zero, and a pad byte after an odd length. INFO
    // has no composer field: the artist is who made the music. The source form (ISRF) names
    // what the audio was made from. Windows and the tag readers read these texts in the
    // Western code page, so they are written in it.
    for (const auto& [id, value] :
         {std::pair{"INAM", tags.title}, std::pair{"ICOP", tags.copyright},
          std::pair{"IART", tags.composer}, std::pair{"ISRF", tags.source},
          std::pair{"ISFT", std::string(encoderTagText())}}) {
        if (value.empty()) continue;
        const std::string text = windows1252Of(bounded(value));
        putText(items, id);
        putLittleEndian(items, static_cast<uint32_t>(text.size() + 1));
        putText(items, text);
        items.push_back(0);
        if ((text.size() + 1) % 2 != 0) items.push_back(0);
    }
    std::vector<uint8_t> list = {'L', 'I', 'S', 'T'};
    putLittleEndian(list, static_cast<uint32_t>(4 + items.size()));
    putText(list, "INFO");
    list.insert(list.end(), items.begin(), items.end());
    return list;
}

}  // namespace svt::output
