#pragma once
// The web links of the "MIDI Links" menu and their update from the maker's server: the slots
// and their labels, the request body, and the walk over the server's reply that takes a new
// list version, encoder link and slot addresses. Only http:// and https:// addresses of sane
// length are taken as links; anything else in a reply is named and left out.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/Language.h"
#include "desktop/AppSettings.h"

namespace svt {

inline constexpr int kLinkGroupCount = 5;
inline constexpr int kLinksPerGroup = 3;
// The menu command of slot s is kLinkCommandBase + s.
inline constexpr int kLinkCommandBase = 2400;
// A reply is read up to this many bytes of body; the rest is never read.
inline constexpr size_t kMaxLinkReplyBytes = 1023;
// The stored values hold up to 260 bytes with their end.
inline constexpr size_t kMaxLinkLength = 259;

// Slot 2 holds a single space and has no menu item.
inline constexpr int kHiddenLinkSlot = 2;

// The menu text of a slot's item: "Midi-Robot...", "MidiSearch...", "Klassik 1..." ..
// "Folk 3..."; empty for the hidden slot.
std::string linkItemText(int slot);
// The group's menu title, German or English ("Midi-Suchmaschinen" / "MIDI Search Engines").
std::string linkGroupMenuText(int group, Language language);
// "Jazz > Link 2": the group's name in messages, "Link" and the item number.
std::string linkLabel(int slot, Language language);

// http:// or https://, a host, printable characters without spaces, at most kMaxLinkLength.
bool isSaneLink(std::string_view line);

// A sane link whose host is a real one: names kept for examples and tests (example.com,
// .example, .invalid, .test, .localhost, localhost) stand for an address not yet known, and
// a menu does not offer them.
bool isRealAddress(std::string_view link);

// "version=...&lang=DE" (or EN), the version URL-encoded.
std::string linkUpdateBody(const std::string& version, Language language);

struct LinkReplyOutcome {
    bool changed = false;  // something was taken: the settings are to be saved
    std::vector<int> changedSlots;
    bool encoderChanged = false;
    // Lines that were not taken, named by what they stood for ("Jazz > Link 2").
    std::vector<std::string> refused;
};

// Walks the reply's body (at most kMaxLinkReplyBytes are read) and puts what it brings into
// `settings`: after an "OK" line, the list version, the encoder link and up to 15 slots; an
// "ERROR" line ends the walk. Lines end at LF, a CR before it is dropped, empty lines vanish.
LinkReplyOutcome applyLinkReply(std::string_view body, AppSettings& settings, Language language);

// The message after an update: "All your links are up to date!", or the updated links one
// per line; lines that were refused are named after it.
std::string linkReplyMessage(const LinkReplyOutcome& outcome, Language language);

// The message when the request failed (no connection, a time-out, an HTTP error).
std::string linkFailureMessage(const std::string& reason, Language language);

}  // namespace svt
