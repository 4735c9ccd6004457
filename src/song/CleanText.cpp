#include "song/CleanText.h"

#include <cstdint>

namespace svt {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Code points of the bytes 0x80..0x9F in the Western Windows code page; 0 where it has none.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Length of the well-formed UTF-8 sequence at `i` and its code point; 0 when there is none
// (a stray byte, an overlong form, a surrogate, a cut-off sequence).
size_t decodeUtf8(std::string_view s, size_t i, char32_t& c) {
    const auto b = static_cast<uint8_t>(s[i]);
    size_t n;
    char32_t min;
    if (b < 0x80) {
        c = b;
        return 1;
    } else if ((b & 0xE0) == 0xC0) {
        n = 2, c = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        n = 3, c = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        n = 4, c = b & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        const auto next = static_cast<uint8_t>(s[i + k]);
        if ((next & 0xC0) != 0x80) return 0;
        c = (c << 6) | (next & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return n;
}

char32_t shown(char32_t c) {
    if (c == '\t' || c == '\n' || c == '\r') return ' ';
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) return kReplacement;
    return c;
}

}  // namespace

std::string cleanText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t c = 0;
        if (const size_t n = decodeUtf8(text, i, c); n > 0) {
            i += n;
        } else {
            const auto b = static_cast<uint8_t>(text[i++]);
            c = b >= 0x80 && b < 0xA0 && kWindows1252High[b - 0x80] != 0
                    ? kWindows1252High[b - 0x80]
                    : b;
        }
        appendUtf8(out, shown(c));
    }
    return out;
}

std::string windows1252Of(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        char32_t c = 0;
        const size_t n = decodeUtf8(utf8, i, c);
        i += n > 0 ? n : 1;
        if (n == 0) {
            out += '?';
        } else if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out += static_cast<char>(c);
        } else {
            char byte = '?';
            for (size_t k = 0; k < 32; ++k)
                if (kWindows1252High[k] != 0 && kWindows1252High[k] == c)
                    byte = static_cast<char>(0x80 + k);
            out += byte;
        }
    }
    return out;
}

}  // namespace svt
