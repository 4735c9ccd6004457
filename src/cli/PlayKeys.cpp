#include "cli/PlayKeys.h"

#include <cstring>

namespace svt {

namespace {

// Channels 11..16 sit on the shifted digits 1..6 of a US keyboard.
constexpr char kShiftedDigits[] = "!@#$%^";

}  // namespace

void PlayKeyDecoder::feed(std::span<const uint8_t> bytes, std::vector<PlayKey>& out) {
    for (const uint8_t c : bytes) {
        if (escape_ == 1) {
            escape_ = (c == '[' || c == 'O') ? 2 : 0;
            if (escape_ == 2) continue;
        } else if (escape_ == 2) {
            // Parameters such as "1;5" of modified arrows come before the final letter.
            if ((c >= '0' && c <= '9') || c == ';') continue;
            escape_ = 0;
            switch (c) {
                case 'A':
                    out.push_back({PlayAction::VolumeUp});
                    break;
                case 'B':
                    out.push_back({PlayAction::VolumeDown});
                    break;
                case 'C':
                    out.push_back({PlayAction::SeekForward});
                    break;
                case 'D':
                    out.push_back({PlayAction::SeekBack});
                    break;
                default:
                    break;
            }
            continue;
        }
        switch (c) {
            case 0x1B:
                escape_ = 1;
                break;
            case ' ':
                out.push_back({PlayAction::Pause});
                break;
            case 'n':
            case 'N':
                out.push_back({PlayAction::Next});
                break;
            case 'p':
            case 'P':
                out.push_back({PlayAction::Previous});
                break;
            case '+':
            case '=':
                out.push_back({PlayAction::TransposeUp});
                break;
            case '-':
            case '_':
                out.push_back({PlayAction::TransposeDown});
                break;
            case '[':
                out.push_back({PlayAction::TempoSlower});
                break;
            case ']':
                out.push_back({PlayAction::TempoFaster});
                break;
            case 'q':
            case 'Q':
            case 3:
                out.push_back({PlayAction::Quit});
                break;
            default:
                if (c >= '1' && c <= '9') {
                    out.push_back({PlayAction::ToggleMute, c - '1'});
                } else if (c == '0') {
                    out.push_back({PlayAction::ToggleMute, 9});
                } else if (c != 0) {
                    if (const char* p = std::strchr(kShiftedDigits, c)) {
                        out.push_back(
                            {PlayAction::ToggleMute, 10 + static_cast<int>(p - kShiftedDigits)});
                    }
                }
                break;
        }
    }
}

}  // namespace svt
