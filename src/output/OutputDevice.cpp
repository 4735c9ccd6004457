#include "output/OutputDevice.h"

#include "song/CleanText.h"

namespace svt::output {

int32_t normalizeEncoding(int32_t e) {
    if (e & ENC_FLOAT) e &= ~ENC_32BIT;
    if (e & (ENC_FLOAT | ENC_32BIT))
        e = (e | ENC_SIGNED) & ~(ENC_ULAW | ENC_ALAW | ENC_16BIT | ENC_24BIT | ENC_BYTESWAP);
    if (e & (ENC_ULAW | ENC_ALAW)) e &= ~(ENC_SIGNED | ENC_16BIT | ENC_BYTESWAP | ENC_24BIT);
    if (!(e & (ENC_16BIT | ENC_24BIT))) e &= ~ENC_BYTESWAP;
    if (e & ENC_24BIT) e &= ~ENC_16BIT;
    return e;
}

bool applyEncodingLetters(std::string_view letters, int32_t& encoding) {
    int32_t e = encoding;
    constexpr int32_t kWide = ENC_FLOAT | ENC_32BIT;
    for (char c : letters) {
        // A letter that chooses a width or a code leaves none of the others behind.
        if (std::string_view("128AU").find(c) != std::string_view::npos) e &= ~kWide;
        switch (c) {
            case '1':
                e = (e & ~0x58) | 0x04;
                break;
            case '2':
                e = (e & ~0x1C) | 0x40;
                break;
            case '3':
                e = (e & ~(0x5C | ENC_FLOAT)) | ENC_32BIT;
                break;
            case '8':
                e &= ~0x44;
                break;
            case 'f':
                e = (e & ~(0x5C | ENC_32BIT)) | ENC_FLOAT;
                break;
            case 'A':
                e = (e & ~0x6E) | 0x10;
                break;
            case 'M':
                e |= 0x01;
                break;
            case 'S':
                e &= ~0x01;
                break;
            case 'U':
                e = (e & ~0x76) | 0x08;
                break;
            case 'l':
                e &= ~0x18;
                break;
            case 's':
                e = (e & ~0x18) | 0x02;
                break;
            case 'u':
                e &= ~0x1A;
                break;
            case 'x':
                e = (e & ~0x18) ^ 0x20;
                break;
            default:
                return false;
        }
        e = normalizeEncoding(e);
    }
    encoding = e;
    return true;
}

int bytesPerSample(int32_t encoding) {
    if (encoding & (ENC_FLOAT | ENC_32BIT)) return 4;
    if (encoding & ENC_24BIT) return 3;
    if (encoding & ENC_16BIT) return 2;
    return 1;
}

void OutputDevice::setSongTitle(const std::string& title) {
    songTags.title = cleanText(title);
}

UnavailableOutput::UnavailableOutput(char id, std::string displayName, int32_t flagBits,
                                     std::string reason)
    : reason_(std::move(reason)) {
    idCharacter = id;
    idName = std::move(displayName);
    flags = flagBits;
}

int UnavailableOutput::openOutput() {
    lastMessage_ = reason_;
    return -1;
}

}  // namespace svt::output
