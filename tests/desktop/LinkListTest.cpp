// The link table and the walk over the server's reply: the cases the update must get right,
// and replies written to do harm, which change nothing they should not.

#include <gtest/gtest.h>

#include "desktop/AppSettings.h"
#include "desktop/LinkList.h"

namespace svt {
namespace {

// A reply body: "OK", the version, the encoder link and the slots of `settings` with the
// changes given.
std::string replyOf(const AppSettings& s, const std::string& version,
                    const std::vector<std::pair<int, std::string>>& changes = {},
                    const std::string& encoder = {}) {
    std::string body =
        "OK\n" + version + "\n" + (encoder.empty() ? s.linkMp3Encoder : encoder) + "\n";
    for (int slot = 0; slot < kLinkSlots; ++slot) {
        std::string line = s.links[static_cast<size_t>(slot)];
        for (const auto& [changed, text] : changes)
            if (changed == slot) line = text;
        body += line + "\n";
    }
    return body;
}

TEST(LinkUpdate, ReplyWalk) {
    const AppSettings base;
    struct Case {
        const char* what;
        std::string body;
        std::vector<int> changedSlots;
        bool encoderChanged;
        std::string version;
        const char* named;  // the link the message names as updated, if any
    };
    std::string sixteen = replyOf(base, "6");
    sixteen += "https://extra.example/16\n";
    std::string crlf = replyOf(base, "7", {{4, "https://new.example/k2"}});
    for (size_t at = crlf.find('\n'); at != std::string::npos; at = crlf.find('\n', at + 2))
        crlf.insert(at, "\r");
    const std::string slot7 = replyOf(base, "3", {{7, "https://jazz.example/2"}});
    const std::string encoder = replyOf(base, "4", {}, "https://enc.example/gogo");
    const std::string noise = "hello\n\n" + replyOf(base, "8", {{0, "http://robot.example/"}});
    const Case cases[] = {
        {"unchanged list", replyOf(base, "5"), {}, false, "5", nullptr},
        {"only slot 7", slot7, {7}, false, "3", "Jazz > Link 2"},
        {"encoder link", encoder, {}, true, "4", "Link to MP3 Encoder"},
        {"more than 15 lines", sixteen, {}, false, "6", nullptr},
        {"ERROR", "ERROR\n2\nhttps://x.example/\n", {}, false, "1", nullptr},
        {"noise before OK", noise, {0}, false, "8", "Midi-Search > Link 1"},
        {"empty body", "", {}, false, "1", nullptr},
        {"CR LF lines", crlf, {4}, false, "7", "Classical > Link 2"},
    };
    for (const Case& c : cases) {
        AppSettings s;
        const LinkReplyOutcome outcome = applyLinkReply(c.body, s, Language::English);
        EXPECT_EQ(outcome.changedSlots, c.changedSlots) << c.what;
        EXPECT_EQ(outcome.encoderChanged, c.encoderChanged) << c.what;
        EXPECT_EQ(outcome.changed, c.encoderChanged || !c.changedSlots.empty()) << c.what;
        EXPECT_EQ(s.linkListVersion, c.version) << c.what;
        EXPECT_EQ(linkReplyMessage(outcome, Language::English),
                  c.named ? "The following links were successfully updated:\n\n- " +
                                std::string(c.named) + "\n\n"
                          : "All your links are up to date!")
            << c.what;
        for (int slot : c.changedSlots)
            EXPECT_NE(s.links[static_cast<size_t>(slot)], base.links[static_cast<size_t>(slot)])
                << c.what;
    }
    AppSettings german;
    const LinkReplyOutcome outcome =
        applyLinkReply(replyOf(base, "3", {{7, "https://jazz.example/2"}}, "https://e.example/"),
                       german, Language::German);
    EXPECT_EQ(linkReplyMessage(outcome, Language::German),
              "Folgende Links wurden erfolgreich aktualisiert:\n\n- Jazz > Link 2\n- Link zum "
              "MP3-Encoder\n\n");
    EXPECT_EQ(linkReplyMessage(LinkReplyOutcome{}, Language::German),
              "Ihre Links sind auf dem neuesten Stand!");
}

TEST(LinkUpdate, HostileLinesChangeNothingAndAreNamed) {
    const AppSettings base;
    struct Case {
        const char* what;
        std::string line;
    };
    const Case cases[] = {
        {"javascript", "javascript:alert(1)"},
        {"file", "file:///etc/passwd"},
        {"no host", "https:///path"},
        {"5000 bytes", "https://a.example/" + std::string(5000, 'x')},
        {"space inside", "https://a.example/x y"},
        {"binary", std::string("https://a.example/\x01\x7f\xff", 21)},
        {"upper-case scheme", "HTTPS://a.example/"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(isSaneLink(c.line)) << c.what;
        AppSettings s;
        const LinkReplyOutcome outcome =
            applyLinkReply(replyOf(base, "2", {{7, c.line}}), s, Language::English);
        EXPECT_EQ(s.links, base.links) << c.what;
        EXPECT_FALSE(outcome.changed) << c.what;
        EXPECT_EQ(outcome.refused, std::vector<std::string>{"Jazz > Link 2"}) << c.what;
        EXPECT_NE(linkReplyMessage(outcome, Language::English).find("- Jazz > Link 2"),
                  std::string::npos)
            << c.what;
        AppSettings e;
        applyLinkReply(replyOf(base, "2", {}, c.line.empty() ? "x" : c.line), e, Language::English);
        EXPECT_EQ(e.linkMp3Encoder, base.linkMp3Encoder) << c.what;
    }
    EXPECT_TRUE(isSaneLink("https://a.example/" + std::string(259 - 18, 'x')));
    EXPECT_TRUE(isSaneLink("http://a.example"));

    // A version that cannot be sent back is not taken; the bytes past the limit are not read.
    AppSettings s;
    applyLinkReply("OK\n" + std::string(300, 'v') + "\n", s, Language::English);
    EXPECT_EQ(s.linkListVersion, "1");
    AppSettings big;
    std::string huge = replyOf(base, "9");
    huge = huge.substr(0, huge.find('\n', 3) + 1) + std::string(2000, '\n') + replyOf(base, "x");
    const LinkReplyOutcome cut = applyLinkReply(huge, big, Language::English);
    EXPECT_EQ(big.linkListVersion, "9") << "the second reply lies beyond 1023 bytes";
    EXPECT_FALSE(cut.changed);
}

}  // namespace
}  // namespace svt
