// The options and operands of a command's arguments.
#include <charconv>

#include "cli/Command.h"

namespace svt::cli {

bool ArgParser::flag(const std::string& longName, const std::string& shortName) {
    // A flag given twice ("-q -q") is the flag, as it is in other programs.
    bool found = false;
    for (auto it = args_.begin(); it != args_.end() && *it != "--";) {
        if (*it == longName || (!shortName.empty() && *it == shortName)) {
            it = args_.erase(it);
            found = true;
        } else {
            ++it;
        }
    }
    return found;
}

std::optional<std::string> ArgParser::value(const std::string& longName,
                                            const std::string& shortName) {
    std::optional<std::string> found;
    for (size_t i = 0; i < args_.size();) {
        const std::string& a = args_[i];
        if (a == "--") break;
        if (a == longName || (!shortName.empty() && a == shortName)) {
            if (i + 1 >= args_.size()) {
                error_ = "option " + a + " needs a value";
                args_.erase(args_.begin() + static_cast<long>(i));
                return std::nullopt;
            }
            found = args_[i + 1];
            args_.erase(args_.begin() + static_cast<long>(i),
                        args_.begin() + static_cast<long>(i) + 2);
            continue;
        }
        if (a.rfind(longName + "=", 0) == 0) {
            found = a.substr(longName.size() + 1);
            args_.erase(args_.begin() + static_cast<long>(i));
            continue;
        }
        ++i;
    }
    return found;
}

std::vector<std::string> ArgParser::operands() {
    std::vector<std::string> out;
    bool optionsEnded = false;
    for (const std::string& a : args_) {
        if (!optionsEnded && a == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && a.size() > 1 && a[0] == '-') {
            if (error_.empty()) error_ = "unknown option " + a;
        } else {
            out.push_back(a);
        }
    }
    return out;
}

bool parseInt(const std::string& text, long min, long max, long& out) {
    long v = 0;
    const char* first = text.data();
    if (!text.empty() && text[0] == '+') ++first;
    auto [ptr, ec] = std::from_chars(first, text.data() + text.size(), v);
    if (ec != std::errc() || ptr != text.data() + text.size() || v < min || v > max) return false;
    out = v;
    return true;
}

}  // namespace svt::cli
