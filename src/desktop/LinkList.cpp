#include "desktop/LinkList.h"

#include <cstdio>

namespace svt {
namespace {

struct LinkGroup {
    const char* menuGerman;
    const char* menuEnglish;
    const char* nameGerman;  // the name in messages
    const char* nameEnglish;
    const char* itemWord;
};

constexpr LinkGroup kGroups[kLinkGroupCount] = {
    {"Midi-Suchmaschinen", "MIDI Search Engines", "Midi-Suchmachinen", "Midi-Search", nullptr},
    {"Klassik", "Classical", "Klassik", "Classical", "Klassik"},
    {"Jazz", "Jazz", "Jazz", "Jazz", "Jazz"},
    {"Pop/Rock", "Pop/Rock", "Pop/Rock", "Pop/Rock", "Pop"},
    {"Folk", "Folk", "Folk", "Folk", "Folk"},
};

std::vector<std::string> splitLines(std::string_view body) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= body.size()) {
        size_t end = body.find('\n', start);
        if (end == std::string_view::npos) end = body.size();
        std::string line(body.substr(start, end - start));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

// A version is sent back with the next request: printable, no longer than a stored value.
bool isSaneVersion(std::string_view line) {
    if (line.empty() || line.size() > kMaxLinkLength) return false;
    for (const char c : line)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
            return false;
    return true;
}

}  // namespace

std::string linkItemText(int slot) {
    if (slot < 0 || slot >= kLinkSlots || slot == kHiddenLinkSlot) return {};
    if (slot == 0) return "Midi-Robot...";
    if (slot == 1) return "MidiSearch...";
    return std::string(kGroups[slot / 3].itemWord) + " " + std::to_string(slot % 3 + 1) + "...";
}

std::string linkGroupMenuText(int group, Language language) {
    if (group < 0 || group >= kLinkGroupCount) return {};
    return tr(language, kGroups[group].menuGerman, kGroups[group].menuEnglish);
}

std::string linkLabel(int slot, Language language) {
    if (slot < 0 || slot >= kLinkSlots) return {};
    const LinkGroup& g = kGroups[slot / 3];
    char text[96];
    std::snprintf(text, sizeof text, "%s > %s %d", tr(language, g.nameGerman, g.nameEnglish),
                  "Link", slot % 3 + 1);
    return text;
}

bool isSaneLink(std::string_view line) {
    if (line.size() > kMaxLinkLength) return false;
    size_t scheme = 0;
    if (line.starts_with("http://"))
        scheme = 7;
    else if (line.starts_with("https://"))
        scheme = 8;
    else
        return false;
    if (line.size() == scheme || line[scheme] == '/') return false;  // no host
    for (const char c : line)
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) > 0x7E)
            return false;
    return true;
}

bool isRealAddress(std::string_view link) {
    if (!isSaneLink(link)) return false;
    std::string_view host = link.substr(link.find("//") + 2);
    host = host.substr(0, host.find_first_of("/?#"));
    if (const size_t at = host.rfind('@'); at != std::string_view::npos) host.remove_prefix(at + 1);
    if (const size_t colon = host.rfind(':'); colon != std::string_view::npos)
        host = host.substr(0, colon);
    std::string lower;
    for (const char c : host) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    while (!lower.empty() && lower.back() == '.') lower.pop_back();
    if (lower.empty()) return false;
    static constexpr std::string_view kPlaceholders[] = {
        "example", "invalid", "test", "localhost", "example.com", "example.net", "example.org"};
    for (const std::string_view name : kPlaceholders) {
        if (lower == name) return false;
        if (lower.size() > name.size() && lower.ends_with(name) &&
            lower[lower.size() - name.size() - 1] == '.')
            return false;
    }
    return true;
}

std::string linkUpdateBody(const std::string& version, Language language) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string body = "version=";
    for (const char c : version) {
        const auto u = static_cast<unsigned char>(c);
        const bool plain = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
                           (u >= '0' && u <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
        if (plain) {
            body += c;
        } else {
            body += '%';
            body += kHex[u >> 4];
            body += kHex[u & 0xF];
        }
    }
    body += "&lang=";
    body += language == Language::German ? "DE" : "EN";
    return body;
}

LinkReplyOutcome applyLinkReply(std::string_view body, AppSettings& settings, Language language) {
    LinkReplyOutcome outcome;
    if (body.size() > kMaxLinkReplyBytes) body = body.substr(0, kMaxLinkReplyBytes);
    int state = 0;
    int slot = 0;
    for (const std::string& line : splitLines(body)) {
        switch (state) {
            case 0:
                if (line == "OK") state = 1;
                if (line == "ERROR") state = 4;
                break;
            case 1:
                if (isSaneVersion(line))
                    settings.linkListVersion = line;
                else
                    outcome.refused.push_back(
                        tr(language, "Version der Linkliste", "Link list version"));
                state = 2;
                break;
            case 2:
                if (line != settings.linkMp3Encoder) {
                    if (isSaneLink(line)) {
                        settings.linkMp3Encoder = line;
                        outcome.encoderChanged = true;
                    } else {
                        outcome.refused.push_back(
                            tr(language, "Link zum MP3-Encoder", "Link to MP3 Encoder"));
                    }
                }
                state = 3;
                break;
            case 3:
                if (slot < kLinkSlots) {
                    std::string& stored = settings.links[static_cast<size_t>(slot)];
                    if (line != stored) {
                        if (isSaneLink(line)) {
                            stored = line;
                            outcome.changedSlots.push_back(slot);
                        } else {
                            outcome.refused.push_back(linkLabel(slot, language));
                        }
                    }
                }
                ++slot;
                break;
            default:
                break;
        }
    }
    outcome.changed = outcome.encoderChanged || !outcome.changedSlots.empty();
    return outcome;
}

std::string linkReplyMessage(const LinkReplyOutcome& outcome, Language language) {
    std::string text;
    if (!outcome.changed) {
        text = tr(language, "Ihre Links sind auf dem neuesten Stand!",
                  "All your links are up to date!");
    } else {
        std::string list;
        for (const int slot : outcome.changedSlots) list += "- " + linkLabel(slot, language) + "\n";
        if (outcome.encoderChanged)
            list += std::string("- ") +
                    tr(language, "Link zum MP3-Encoder", "Link to MP3 Encoder") + "\n";
        text = std::string(tr(language, "Folgende Links wurden erfolgreich aktualisiert:\n\n",
                              "The following links were successfully updated:\n\n")) +
               list + "\n";
    }
    if (!outcome.refused.empty()) {
        text += tr(language, "\n\nNicht übernommen (keine gültige http- oder https-Adresse):\n",
                   "\n\nNot taken (not a valid http or https address):\n");
        for (const std::string& name : outcome.refused) text += "- " + name + "\n";
    }
    return text;
}

std::string linkFailureMessage(const std::string& reason, Language language) {
    return std::string(tr(language, "Die Links konnten nicht aktualisiert werden: ",
                          "The links could not be updated: ")) +
           reason;
}

}  // namespace svt
