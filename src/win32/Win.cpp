#include "win32/Win.h"

#include <vector>

namespace svt::win32 {

std::string windowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1);
    const int got = ::GetWindowTextW(window, text.data(), length + 1);
    return utf8(std::wstring_view(text.data(), static_cast<size_t>(got > 0 ? got : 0)));
}

void setText(HWND window, std::string_view text) {
    if (!window || windowText(window) == text) return;
    ::SetWindowTextW(window, wide(text).c_str());
}

void WindowMail::post(std::function<void()> work) {
    std::lock_guard<std::mutex> hold(lock_);
    work_.push_back(std::move(work));
    // One wake-up for a batch: the window takes everything there is when it comes.
    if (work_.size() == 1 && target_) ::PostMessageW(target_, kMailMessage, 0, 0);
}

void WindowMail::deliver() {
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard<std::mutex> hold(lock_);
        batch.swap(work_);
    }
    for (std::function<void()>& work : batch) work();
}

namespace {

NONCLIENTMETRICSW metrics() {
    NONCLIENTMETRICSW m{};
    m.cbSize = sizeof m;
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0);
    return m;
}

}  // namespace

HFONT dialogFont() {
    static const HFONT font = [] {
        NONCLIENTMETRICSW m = metrics();
        return ::CreateFontIndirectW(&m.lfMessageFont);
    }();
    return font;
}

HFONT boldFont() {
    static const HFONT font = [] {
        NONCLIENTMETRICSW m = metrics();
        m.lfMessageFont.lfWeight = FW_BOLD;
        m.lfMessageFont.lfHeight = m.lfMessageFont.lfHeight * 115 / 100;
        return ::CreateFontIndirectW(&m.lfMessageFont);
    }();
    return font;
}

}  // namespace svt::win32
