// The Win32 front-end's own pieces that run without a window: the common dialogs' filter
// list and the names they return, the link-list request's refusals, and the mail that carries
// the engine thread's reports to the window thread.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "win32/Win32Services.h"

namespace svt::win32 {
namespace {

TEST(Win32Dialogs, FiltersAreDoubleNulEndedPairsOfTextAndPatterns) {
    const std::wstring list =
        dialogFilters({{"MIDI files", {"*.mid", "*.midi"}}, {"Playlist", {"*.pli"}}});
    const std::wstring expected = std::wstring(L"MIDI files (*.mid;*.midi)") + L'\0' +
                                  L"*.mid;*.midi" + L'\0' + L"Playlist (*.pli)" + L'\0' + L"*.pli" +
                                  L'\0' + L'\0';
    EXPECT_EQ(list, expected);
    // No filters: the list is only its end.
    EXPECT_EQ(dialogFilters({}), std::wstring(1, L'\0'));
}

TEST(Win32Dialogs, ChosenNamesJoinTheFolderWithEachNameAndKeepTextBeyondAscii) {
    struct Case {
        std::wstring buffer;
        std::vector<std::string> names;
    };
    const std::vector<Case> cases = {
        // One file: its full path.
        {std::wstring(L"C:\\songs\\a.mid") + L'\0' + L'\0', {"C:\\songs\\a.mid"}},
        // Several: the folder first, then each name.
        {std::wstring(L"C:\\songs") + L'\0' + L"a.mid" + L'\0' + L"b.mid" + L'\0' + L'\0',
         {"C:\\songs\\a.mid", "C:\\songs\\b.mid"}},
        // A drive's root ends in its separator already.
        {std::wstring(L"D:\\") + L'\0' + L"x.mid" + L'\0' + L"y.kar" + L'\0' + L'\0',
         {"D:\\x.mid", "D:\\y.kar"}},
        // Names outside the local code page arrive as UTF-8.
        {std::wstring(L"C:\\M\u00fcsik\\\u5c0f\u6d77.mid") + L'\0' + L'\0',
         {"C:\\M\xc3\xbcsik\\\xe5\xb0\x8f\xe6\xb5\xb7.mid"}},
        // Cancelled: nothing.
        {std::wstring(2, L'\0'), {}},
        // The last name runs to the end of the buffer without a NUL: it is not taken.
        {std::wstring(L"C:\\songs") + L'\0' + L"a.mid" + L'\0' + L"b.m", {"C:\\songs\\a.mid"}},
    };
    for (const Case& c : cases) EXPECT_EQ(chosenNames(c.buffer.data(), c.buffer.size()), c.names);
}

TEST(Win32LinkUpdate, OnlyHttpAndHttpsAddressesAreAskedAndTheOthersAreNamed) {
    for (const char* address : {"ftp://example.org/links", "file:///C:/links.txt", "links",
                                "http://", "javascript:alert(1)"}) {
        HttpRequest request;
        request.url = address;
        request.maxReplyBytes = 1023;
        request.timeoutMs = 2000;
        const HttpReply reply = postOverWinHttp(request, Language::English);
        EXPECT_FALSE(reply.ok) << address;
        EXPECT_TRUE(reply.body.empty()) << address;
        EXPECT_NE(reply.error.find(address), std::string::npos) << address << ": " << reply.error;
    }
}

TEST(Win32LinkUpdate, AServerThatIsNotThereFailsWithAReasonWithinTheTimeOut) {
    // Port 9 on this machine: nothing listens, so the connection is refused at once.
    HttpRequest request;
    request.url = "http://127.0.0.1:9/links";
    request.body = "version=1&lang=EN";
    request.maxReplyBytes = 1023;
    request.timeoutMs = 3000;
    const auto start = std::chrono::steady_clock::now();
    const HttpReply reply = postOverWinHttp(request, Language::German);
    EXPECT_FALSE(reply.ok);
    EXPECT_FALSE(reply.error.empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST(Win32Mail, WorkFromOtherThreadsRunsOnTheTakingThreadInTheOrderPosted) {
    WindowMail mail;  // no window: the work waits until it is taken
    std::vector<int> order;
    std::thread engine([&] {
        for (int i = 0; i < 100; ++i) mail.post([&order, i] { order.push_back(i); });
    });
    engine.join();
    EXPECT_TRUE(order.empty());
    mail.deliver();
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[static_cast<size_t>(i)], i);
    // Work posted while the mail is delivered waits for the next delivery.
    mail.post([&] { mail.post([&order] { order.push_back(-1); }); });
    mail.deliver();
    EXPECT_EQ(order.size(), 100u);
    mail.deliver();
    EXPECT_EQ(order.back(), -1);
}

}  // namespace
}  // namespace svt::win32
