#include "output/Id3Tag.h"

#include <cstring>

namespace svt::output {
namespace {

// Where a cut at `limit` bytes would split a UTF-8 character, cut before the character.
size_t cutWithoutSplitting(std::string_view text, size_t limit) {
    if (text.size() <= limit) return text.size();
    size_t cut = limit;
    size_t back = 0;
    while (cut > 0 && back < 3 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
        ++back;
    }
    // Only a real lead byte moves the cut; text in a single-byte character set is cut where it is.
    const auto lead = static_cast<unsigned char>(text[cut]);
    const size_t seqLen = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return back > 0 && seqLen > back ? cut : limit;
}

}  // namespace

std::array<uint8_t, kId3v1Bytes> makeTitleTag(std::string_view title) {
    std::array<uint8_t, kId3v1Bytes> tag;
    tag.fill(' ');
    std::memcpy(tag.data(), "TAG", 3);
    const size_t n = cutWithoutSplitting(title, kId3v1TitleBytes);
    // A song's title may hold any byte; players show the tag as text, and a NUL would end
    // it, so control characters become spaces.
    for (size_t i = 0; i < n; ++i) {
        const auto c = static_cast<uint8_t>(title[i]);
        tag[3 + i] = c < 0x20 || c == 0x7F ? ' ' : c;
    }
    tag[kId3v1Bytes - 1] = 255;
    return tag;
}

}  // namespace svt::output
