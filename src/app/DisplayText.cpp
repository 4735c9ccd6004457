#include "app/DisplayText.h"

namespace svt {

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : cleanText(text)) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

}  // namespace svt
