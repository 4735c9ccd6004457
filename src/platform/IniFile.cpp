#include "platform/IniFile.h"

#include <cstdint>
#include <iterator>

namespace svt::platform {
namespace {

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int hexValue(char c) {
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}
constexpr char kHexDigits[] = "0123456789ABCDEF";

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Escapes carry UTF-16 code units; a high surrogate waits for its low half.
class Utf16Sink {
  public:
    explicit Utf16Sink(std::string& out) : out_(out) {}
    void unit(uint32_t u) {
        if (pendingHigh_ != 0) {
            const uint32_t high = pendingHigh_;
            pendingHigh_ = 0;
            if (u >= 0xDC00 && u <= 0xDFFF) {
                appendUtf8(out_, 0x10000 + ((high - 0xD800) << 10) + (u - 0xDC00));
                return;
            }
            appendUtf8(out_, 0xFFFD);
        }
        if (u >= 0xD800 && u <= 0xDBFF)
            pendingHigh_ = u;
        else
            appendUtf8(out_, u);
    }
    void finish() {
        if (pendingHigh_ != 0) appendUtf8(out_, 0xFFFD);
        pendingHigh_ = 0;
    }

  private:
    std::string& out_;
    uint32_t pendingHigh_ = 0;
};

// Decodes one UTF-8 sequence at s[i]; a broken sequence yields its first byte as a code point.
uint32_t decodeUtf8(std::string_view s, size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    size_t len = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 1;
    if (len == 1 || i + len > s.size()) return s[i++] & 0xFF;
    uint32_t cp = b0 & (0x7F >> len);
    for (size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return s[i++] & 0xFF;
        cp = (cp << 6) | (b & 0x3F);
    }
    i += len;
    return cp;
}

void appendHex(std::string& out, uint32_t v, int digits) {
    for (int d = digits - 1; d >= 0; --d) out += kHexDigits[(v >> (4 * d)) & 0xF];
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

}  // namespace

std::string iniEscapeKey(std::string_view key) {
    std::string out;
    for (size_t i = 0; i < key.size();) {
        const char c = key[i];
        if (c == '/') {
            out += '\\';
            ++i;
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '_' || c == '-' || c == '.') {
            out += c;
            ++i;
        } else {
            const uint32_t cp = decodeUtf8(key, i);
            if (cp <= 0xFF) {
                out += '%';
                appendHex(out, cp, 2);
            } else if (cp <= 0xFFFF) {
                out += "%U";
                appendHex(out, cp, 4);
            } else {
                out += "%U";
                appendHex(out, 0xD800 + ((cp - 0x10000) >> 10), 4);
                out += "%U";
                appendHex(out, 0xDC00 + ((cp - 0x10000) & 0x3FF), 4);
            }
        }
    }
    return out;
}

std::string iniUnescapeKey(std::string_view raw) {
    std::string out;
    Utf16Sink sink(out);
    for (size_t i = 0; i < raw.size();) {
        const char c = raw[i];
        if (c == '\\') {
            sink.unit('/');
            ++i;
        } else if (c == '%' && i + 5 < raw.size() && raw[i + 1] == 'U' && isHex(raw[i + 2]) &&
                   isHex(raw[i + 3]) && isHex(raw[i + 4]) && isHex(raw[i + 5])) {
            uint32_t u = 0;
            for (size_t k = 2; k < 6; ++k)
                u = (u << 4) | static_cast<uint32_t>(hexValue(raw[i + k]));
            sink.unit(u);
            i += 6;
        } else if (c == '%' && i + 2 < raw.size() && isHex(raw[i + 1]) && isHex(raw[i + 2])) {
            sink.unit(static_cast<uint32_t>(hexValue(raw[i + 1]) * 16 + hexValue(raw[i + 2])));
            i += 3;
        } else {
            // Plain bytes (UTF-8 written by hand) pass through unchanged.
            sink.finish();
            out += c;
            ++i;
        }
    }
    sink.finish();
    return out;
}

std::string iniEscapeValue(std::string_view text) {
    std::string body;
    bool quote = !text.empty() && (text.front() == ' ' || text.front() == '\t' ||
                                   text.back() == ' ' || text.back() == '\t');
    if (!text.empty() && text.front() == '@') body += '@';
    for (const char c : text) {
        switch (c) {
            case ';':
            case ',':
            case '=':
                quote = true;
                body += c;
                break;
            case '"':
                body += "\\\"";
                break;
            case '\\':
                body += "\\\\";
                break;
            case '\a':
                body += "\\a";
                break;
            case '\b':
                body += "\\b";
                break;
            case '\f':
                body += "\\f";
                break;
            case '\n':
                body += "\\n";
                break;
            case '\r':
                body += "\\r";
                break;
            case '\t':
                body += "\\t";
                break;
            case '\v':
                body += "\\v";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    // Four digits, so a hex digit that follows is not taken into the escape.
                    body += "\\x";
                    appendHex(body, static_cast<unsigned char>(c), 4);
                } else {
                    body += c;
                }
        }
    }
    return quote ? "\"" + body + "\"" : body;
}

std::optional<std::string> iniUnescapeValue(std::string_view raw) {
    raw = trim(raw);
    std::string out;
    Utf16Sink sink(out);
    bool quoted = false;
    bool list = false;
    size_t pendingSpaces = 0;  // spaces outside quotes count only between text
    auto flushSpaces = [&] {
        if (pendingSpaces == 0) return;
        sink.finish();
        out.append(pendingSpaces, ' ');
        pendingSpaces = 0;
    };
    auto literal = [&](char ch) {
        flushSpaces();
        sink.finish();
        out += ch;
    };
    auto unit = [&](uint32_t u) {
        flushSpaces();
        sink.unit(u);
    };
    for (size_t i = 0; i < raw.size();) {
        const char c = raw[i];
        if (c == '"') {
            quoted = !quoted;
            ++i;
            continue;
        }
        if (!quoted && (c == ' ' || c == '\t')) {
            ++pendingSpaces;
            ++i;
            continue;
        }
        if (!quoted && c == ';') break;  // the rest of the line is a comment
        if (!quoted && c == ',') {
            list = true;
            pendingSpaces = 0;
            ++i;
            continue;
        }
        if (c != '\\') {
            literal(c);
            ++i;
            continue;
        }
        if (++i >= raw.size()) break;
        const char e = raw[i++];
        switch (e) {
            case 'a':
                literal('\a');
                break;
            case 'b':
                literal('\b');
                break;
            case 'f':
                literal('\f');
                break;
            case 'n':
                literal('\n');
                break;
            case 'r':
                literal('\r');
                break;
            case 't':
                literal('\t');
                break;
            case 'v':
                literal('\v');
                break;
            case 'x': {
                uint32_t u = 0;
                int digits = 0;
                while (digits < 4 && i < raw.size() && isHex(raw[i])) {
                    u = (u << 4) | static_cast<uint32_t>(hexValue(raw[i++]));
                    ++digits;
                }
                unit(u);
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    uint32_t v = static_cast<uint32_t>(e - '0');
                    for (int digits = 1;
                         digits < 3 && i < raw.size() && raw[i] >= '0' && raw[i] <= '7'; ++digits)
                        v = v * 8 + static_cast<uint32_t>(raw[i++] - '0');
                    unit(v);
                } else {
                    literal(e);  // \" \\ \' \? and anything unknown stand for themselves
                }
        }
    }
    sink.finish();
    if (list) return std::nullopt;
    if (out.rfind("@@", 0) == 0) return out.substr(1);
    if (out.rfind("@ByteArray(", 0) == 0 && out.back() == ')')
        return out.substr(11, out.size() - 12);
    if (!out.empty() && out.front() == '@') return std::nullopt;  // a value of another type
    return out;
}

IniFile IniFile::parse(std::string_view text) {
    IniFile file;
    file.sections_.push_back({std::string(kGeneral), {}});
    Section* current = &file.sections_.back();
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

        std::string_view t = trim(line);
        if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
            file.sections_.push_back({iniUnescapeKey(t.substr(1, t.size() - 2)), {}});
            current = &file.sections_.back();
            current->entries.push_back({{}, {}, std::string(line)});
            continue;
        }
        const size_t eq = t.find('=');
        if (t.empty() || t.front() == ';' || t.front() == '#' || eq == std::string_view::npos ||
            eq == 0) {
            current->entries.push_back({{}, {}, std::string(line)});
            continue;
        }
        current->entries.push_back(
            {iniUnescapeKey(trim(t.substr(0, eq))), std::string(t.substr(eq + 1)), {}});
    }
    return file;
}

IniFile::Section* IniFile::find(std::string_view name) {
    for (Section& s : sections_)
        if (s.name == name) return &s;
    return nullptr;
}

const IniFile::Section* IniFile::find(std::string_view name) const {
    return const_cast<IniFile*>(this)->find(name);
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
    // When a key appears twice, the later line wins, as QSettings reads it.
    std::optional<std::string> found;
    for (const Section& s : sections_) {
        if (s.name != section) continue;
        for (const Entry& e : s.entries)
            if (!e.key.empty() && e.key == key) found = iniUnescapeValue(e.rawValue);
    }
    return found;
}

std::map<std::string, std::string> IniFile::values(std::string_view section) const {
    std::map<std::string, std::string> out;
    for (const Section& s : sections_) {
        if (s.name != section) continue;
        for (const Entry& e : s.entries) {
            if (e.key.empty()) continue;
            if (std::optional<std::string> text = iniUnescapeValue(e.rawValue))
                out[e.key] = std::move(*text);
            else
                out.erase(e.key);
        }
    }
    return out;
}

void IniFile::removeValue(std::string_view section, std::string_view key) {
    for (Section& s : sections_) {
        if (s.name != section) continue;
        std::erase_if(s.entries, [&](const Entry& e) { return !e.key.empty() && e.key == key; });
    }
}

void IniFile::setValue(std::string_view section, std::string_view key, std::string_view text) {
    const std::string raw = iniEscapeValue(text);
    Entry* last = nullptr;
    for (Section& s : sections_) {
        if (s.name != section) continue;
        for (Entry& e : s.entries)
            if (!e.key.empty() && e.key == key) last = &e;
    }
    if (last != nullptr) {
        last->rawValue = raw;
        return;
    }
    // New keys go to the group's last header, where QSettings would put them too.
    Section* target = nullptr;
    for (Section& s : sections_)
        if (s.name == section) target = &s;
    if (target == nullptr) {
        const Section& prev = sections_.back();
        const bool separated = prev.entries.empty() || (prev.entries.back().key.empty() &&
                                                        trim(prev.entries.back().rawLine).empty());
        if (!separated) sections_.back().entries.push_back({{}, {}, {}});
        sections_.push_back({std::string(section), {}});
        target = &sections_.back();
        target->entries.push_back({{}, {}, "[" + iniEscapeKey(section) + "]"});
    }
    // Keep the new line before the blank lines that end the section.
    auto at = target->entries.end();
    while (at != target->entries.begin() && std::prev(at)->key.empty() &&
           trim(std::prev(at)->rawLine).empty())
        --at;
    target->entries.insert(at, {std::string(key), raw, {}});
}

std::string IniFile::text() const {
    std::string out;
    for (const Section& s : sections_) {
        // The General group's keys may stand before any header; once written, it gets one.
        bool hasHeader = !s.entries.empty() && s.entries.front().key.empty() &&
                         trim(s.entries.front().rawLine).starts_with('[');
        bool hasKeys = false;
        for (const Entry& e : s.entries) hasKeys = hasKeys || !e.key.empty();
        if (&s == &sections_.front() && !hasHeader && hasKeys) out += "[General]\n";
        for (const Entry& e : s.entries) {
            if (e.key.empty())
                out += e.rawLine + "\n";
            else
                out += iniEscapeKey(e.key) + "=" + e.rawValue + "\n";
        }
    }
    return out;
}

}  // namespace svt::platform
