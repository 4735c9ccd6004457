#include "win32/Drawing.h"

#include <algorithm>
#include <vector>

namespace svt::win32 {
namespace {

constexpr COLORREF kInk = RGB(40, 48, 64);
constexpr COLORREF kWavColour = RGB(40, 120, 60);
constexpr COLORREF kMp3Colour = RGB(170, 70, 30);
constexpr COLORREF kPaper = RGB(250, 250, 246);
constexpr COLORREF kFolder = RGB(222, 178, 72);
constexpr COLORREF kBlue = RGB(30, 90, 160);
constexpr COLORREF kOn = RGB(40, 150, 70);
constexpr COLORREF kPausedOn = RGB(220, 140, 30);

// GDI objects chosen for one drawing and put back when it ends.
class Pen {
  public:
    Pen(HDC dc, COLORREF colour, int width = 1)
        : dc_(dc), pen_(::CreatePen(PS_SOLID, width, colour)), old_(::SelectObject(dc, pen_)) {}
    ~Pen() {
        ::SelectObject(dc_, old_);
        ::DeleteObject(pen_);
    }
    Pen(const Pen&) = delete;
    Pen& operator=(const Pen&) = delete;

  private:
    HDC dc_;
    HPEN pen_;
    HGDIOBJ old_;
};

class Brush {
  public:
    Brush(HDC dc, COLORREF colour)
        : dc_(dc), brush_(::CreateSolidBrush(colour)), old_(::SelectObject(dc, brush_)) {}
    ~Brush() {
        ::SelectObject(dc_, old_);
        ::DeleteObject(brush_);
    }
    Brush(const Brush&) = delete;
    Brush& operator=(const Brush&) = delete;

  private:
    HDC dc_;
    HBRUSH brush_;
    HGDIOBJ old_;
};

void fill(HDC dc, RECT r, COLORREF colour) {
    HBRUSH brush = ::CreateSolidBrush(colour);
    ::FillRect(dc, &r, brush);
    ::DeleteObject(brush);
}

void polygon(HDC dc, std::initializer_list<POINT> points, COLORREF colour) {
    Pen pen(dc, colour);
    Brush brush(dc, colour);
    std::vector<POINT> p(points);
    ::Polygon(dc, p.data(), static_cast<int>(p.size()));
}

// A page with a folded corner at (x, y), w x h.
void page(HDC dc, int x, int y, int w, int h) {
    Pen pen(dc, kInk);
    Brush brush(dc, kPaper);
    const POINT p[] = {{x, y}, {x + w - 6, y}, {x + w, y + 6}, {x + w, y + h}, {x, y + h}};
    ::Polygon(dc, p, 5);
}

void folder(HDC dc, int x, int y, int w, int h) {
    Pen pen(dc, RGB(150, 110, 30));
    Brush brush(dc, kFolder);
    const POINT p[] = {{x, y + 3}, {x + 8, y + 3}, {x + 10, y},
                       {x + w, y}, {x + w, y + h}, {x, y + h}};
    ::Polygon(dc, p, 6);
}

void list(HDC dc, int x, int y, int w, int h) {
    page(dc, x, y, w, h);
    Pen pen(dc, kBlue, 2);
    for (int line = y + 5; line < y + h - 2; line += 4) {
        ::MoveToEx(dc, x + 3, line, nullptr);
        ::LineTo(dc, x + w - 3, line);
    }
}

// A small coloured label with a word, at the lower right of a picture.
void badge(HDC dc, int x, int y, const wchar_t* word, COLORREF colour) {
    RECT r{x, y, x + 24, y + 12};
    fill(dc, r, colour);
    LOGFONTW font{};
    font.lfHeight = -10;
    font.lfWeight = FW_BOLD;
    wcscpy(font.lfFaceName, L"Tahoma");
    HFONT small = ::CreateFontIndirectW(&font);
    HGDIOBJ old = ::SelectObject(dc, small);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(255, 255, 255));
    ::DrawTextW(dc, word, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    ::SelectObject(dc, old);
    ::DeleteObject(small);
}

void picture(HDC dc, int cx, int cy, Glyph glyph, COLORREF ink) {
    const int x = cx - 12, y = cy - 12;  // a 24 x 24 picture around the centre
    switch (glyph) {
        case Glyph::OpenFile:
            folder(dc, x + 1, y + 5, 22, 15);
            polygon(dc, {{x + 12, y}, {x + 18, y + 6}, {x + 6, y + 6}}, kOn);
            break;
        case Glyph::FileAsWav:
        case Glyph::FileAsMp3:
            page(dc, x + 2, y, 16, 20);
            badge(dc, x + 2, y + 12, glyph == Glyph::FileAsWav ? L"WAV" : L"MP3",
                  glyph == Glyph::FileAsWav ? kWavColour : kMp3Colour);
            break;
        case Glyph::OpenFolder:
            folder(dc, x + 1, y + 4, 22, 16);
            break;
        case Glyph::OpenList:
            list(dc, x + 3, y + 1, 17, 21);
            break;
        case Glyph::ListAsWav:
        case Glyph::ListAsMp3:
            list(dc, x + 2, y, 16, 20);
            badge(dc, x + 2, y + 12, glyph == Glyph::ListAsWav ? L"WAV" : L"MP3",
                  glyph == Glyph::ListAsWav ? kWavColour : kMp3Colour);
            break;
        case Glyph::SaveList: {
            fill(dc, {x + 3, y + 3, x + 21, y + 21}, kBlue);
            fill(dc, {x + 7, y + 3, x + 17, y + 10}, kPaper);
            fill(dc, {x + 6, y + 14, x + 18, y + 21}, RGB(220, 224, 232));
            break;
        }
        case Glyph::Previous:
            fill(dc, {x + 4, y + 5, x + 7, y + 19}, ink);
            polygon(dc, {{x + 19, y + 5}, {x + 19, y + 19}, {x + 8, y + 12}}, ink);
            break;
        case Glyph::Play:
            polygon(dc, {{x + 6, y + 3}, {x + 6, y + 21}, {x + 20, y + 12}}, kOn);
            break;
        case Glyph::Pause:
            fill(dc, {x + 6, y + 4, x + 10, y + 20}, ink);
            fill(dc, {x + 14, y + 4, x + 18, y + 20}, ink);
            break;
        case Glyph::Stop:
            fill(dc, {x + 5, y + 5, x + 19, y + 19}, RGB(170, 40, 40));
            break;
        case Glyph::Next:
            polygon(dc, {{x + 5, y + 5}, {x + 5, y + 19}, {x + 16, y + 12}}, ink);
            fill(dc, {x + 17, y + 5, x + 20, y + 19}, ink);
            break;
        case Glyph::Loop: {
            Pen pen(dc, kBlue, 3);
            ::Arc(dc, x + 3, y + 4, x + 21, y + 20, x + 15, y + 4, x + 21, y + 9);
            polygon(dc, {{x + 14, y + 1}, {x + 19, y + 5}, {x + 14, y + 9}}, kBlue);
            break;
        }
        case Glyph::Logo: {
            Pen pen(dc, kBlue);
            Brush brush(dc, kBlue);
            ::Ellipse(dc, cx - 17, cy - 17, cx + 17, cy + 17);
            LOGFONTW font{};
            font.lfHeight = -22;
            font.lfWeight = FW_BOLD;
            wcscpy(font.lfFaceName, L"Tahoma");
            HFONT big = ::CreateFontIndirectW(&font);
            HGDIOBJ old = ::SelectObject(dc, big);
            ::SetBkMode(dc, TRANSPARENT);
            ::SetTextColor(dc, RGB(255, 255, 255));
            RECT r{cx - 17, cy - 17, cx + 17, cy + 17};
            ::DrawTextW(dc, L"S", 1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            ::SelectObject(dc, old);
            ::DeleteObject(big);
            break;
        }
    }
}

struct MeterWindow {
    MeterRows* rows = nullptr;
};

COLORREF meterColour(int step, int steps) {
    // Green to yellow over the first three quarters, then to red.
    const double at = static_cast<double>(step) / std::max(steps - 1, 1);
    const auto mix = [](int a, int b, double t) { return static_cast<int>(a + (b - a) * t); };
    if (at < 0.75) {
        const double t = at / 0.75;
        return RGB(mix(40, 210, t), mix(160, 200, t), mix(70, 40, t));
    }
    const double t = (at - 0.75) / 0.25;
    return RGB(mix(210, 220, t), mix(200, 60, t), mix(40, 40, t));
}

LRESULT CALLBACK meterProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC screen = ::BeginPaint(window, &paint);
            RECT client;
            ::GetClientRect(window, &client);
            // Drawn off screen and copied at once, so the bars never flicker.
            HDC dc = ::CreateCompatibleDC(screen);
            HBITMAP bitmap = ::CreateCompatibleBitmap(screen, client.right, client.bottom);
            HGDIOBJ oldBitmap = ::SelectObject(dc, bitmap);
            const auto* meter =
                reinterpret_cast<const MeterWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
            fill(dc, client,
                 meter && meter->rows ? meter->rows->background : ::GetSysColor(COLOR_BTNFACE));
            if (meter && meter->rows) {
                const MeterRows& rows = *meter->rows;
                const int width = client.right - 4;
                for (size_t row = 0; row < 16; ++row) {
                    RECT frame{2, rows.top[row] + 3, 2 + width, rows.top[row] + rows.height - 3};
                    fill(dc, frame, rows.trough);
                    const int level = std::clamp(rows.levels[row], 0, 100);
                    const int filled = (width - 2) * level / 100;
                    constexpr int kStep = 3;
                    for (int x = 0; x < filled; x += kStep)
                        fill(dc,
                             {frame.left + 1 + x, frame.top + 1,
                              frame.left + 1 + std::min(x + kStep, filled), frame.bottom - 1},
                             meterColour(x / kStep, (width - 2) / kStep));
                    HBRUSH edge = ::CreateSolidBrush(rows.edge);
                    ::FrameRect(dc, &frame, edge);
                    ::DeleteObject(edge);
                }
            }
            ::BitBlt(screen, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
            ::SelectObject(dc, oldBitmap);
            ::DeleteObject(bitmap);
            ::DeleteDC(dc);
            ::EndPaint(window, &paint);
            return 0;
        }
        case WM_NCDESTROY:
            delete reinterpret_cast<MeterWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
            ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            break;
        default:
            break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

void drawButton(const DRAWITEMSTRUCT& item, Glyph glyph, bool second,
                const ButtonColours& colours) {
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    if (!colours.own) {
        ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_BTNFACE));
        if (glyph != Glyph::Logo)
            ::DrawEdge(dc, &r, pressed ? EDGE_SUNKEN : BDR_RAISEDINNER, BF_RECT);
    } else {
        // The system's edges are drawn in light colours: a flat frame of the scheme instead.
        fill(dc, r, pressed && glyph != Glyph::Logo ? colours.pressed : colours.face);
        if (glyph != Glyph::Logo) {
            HBRUSH edge = ::CreateSolidBrush(colours.frame);
            ::FrameRect(dc, &r, edge);
            ::DeleteObject(edge);
        }
    }
    const int cx = (r.left + r.right) / 2 + (pressed ? 1 : 0);
    const int cy = (r.top + r.bottom) / 2 - (second ? 2 : 0) + (pressed ? 1 : 0);
    const int saved = ::SaveDC(dc);
    picture(dc, cx, cy, glyph, colours.own ? colours.ink : kInk);
    ::RestoreDC(dc, saved);
    if (second)
        fill(dc, {r.left + 4, r.bottom - 6, r.right - 4, r.bottom - 3},
             glyph == Glyph::Pause ? kPausedOn : kOn);
    if (item.itemState & ODS_DISABLED) {
        // Greyed: every other pixel of the face over the picture.
        static constexpr WORD kPattern[] = {0x5555, 0xAAAA, 0x5555, 0xAAAA,
                                            0x5555, 0xAAAA, 0x5555, 0xAAAA};
        HBITMAP bits = ::CreateBitmap(8, 8, 1, 1, kPattern);
        HBRUSH shade = ::CreatePatternBrush(bits);
        ::FillRect(dc, &r, shade);
        ::DeleteObject(shade);
        ::DeleteObject(bits);
    }
}

void registerMeterClass(HINSTANCE instance) {
    WNDCLASSEXW meterClass{};
    meterClass.cbSize = sizeof meterClass;
    meterClass.lpfnWndProc = meterProc;
    meterClass.hInstance = instance;
    meterClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    meterClass.lpszClassName = kMeterClass;
    ::RegisterClassExW(&meterClass);
}

void attachMeterRows(HWND meters, MeterRows* rows) {
    auto* meter = reinterpret_cast<MeterWindow*>(::GetWindowLongPtrW(meters, GWLP_USERDATA));
    if (!meter) {
        meter = new MeterWindow;
        ::SetWindowLongPtrW(meters, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(meter));
    }
    meter->rows = rows;
}

HICON makeProgramIcon(int size) {
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    HBITMAP colour = ::CreateCompatibleBitmap(screen, size, size);
    HBITMAP mask = ::CreateBitmap(size, size, 1, 1, nullptr);
    // The mask: white (transparent) around a black disc.
    HGDIOBJ old = ::SelectObject(dc, mask);
    ::PatBlt(dc, 0, 0, size, size, WHITENESS);
    {
        Pen pen(dc, RGB(0, 0, 0));
        Brush brush(dc, RGB(0, 0, 0));
        ::Ellipse(dc, 0, 0, size, size);
    }
    ::SelectObject(dc, colour);
    ::PatBlt(dc, 0, 0, size, size, BLACKNESS);
    {
        Pen pen(dc, kBlue);
        Brush brush(dc, kBlue);
        ::Ellipse(dc, 0, 0, size, size);
        LOGFONTW font{};
        font.lfHeight = -(size * 3 / 4);
        font.lfWeight = FW_BOLD;
        wcscpy(font.lfFaceName, L"Tahoma");
        HFONT big = ::CreateFontIndirectW(&font);
        HGDIOBJ oldFont = ::SelectObject(dc, big);
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, RGB(255, 255, 255));
        RECT r{0, 0, size, size};
        ::DrawTextW(dc, L"S", 1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        ::SelectObject(dc, oldFont);
        ::DeleteObject(big);
    }
    ::SelectObject(dc, old);
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmMask = mask;
    info.hbmColor = colour;
    HICON icon = ::CreateIconIndirect(&info);
    ::DeleteObject(mask);
    ::DeleteObject(colour);
    ::DeleteDC(dc);
    ::ReleaseDC(nullptr, screen);
    return icon;
}

}  // namespace svt::win32
