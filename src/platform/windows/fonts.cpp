// Fonts of the Win32 front end, and fitting a control's text into its fixed size.
#include "platform/windows/desktop.h"

#include "platform/layout.h"

namespace {

// Room a push button keeps between its edge and its text, on each side.
constexpr int ButtonTextMargin = 1;

int ScreenDpiY()
{
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

HFONT KeepFont(HFONT font)
{
    if (font)
        D().fonts.push_back(font);
    return font;
}

// The same font at another character height, in pixels; the caller owns it.
HFONT ResizedFont(HFONT font, int pixels)
{
    LOGFONTW shape{};
    GetObjectW(font, sizeof shape, &shape);
    shape.lfHeight = -pixels;
    shape.lfWidth = 0;
    return CreateFontIndirectW(&shape);
}

int FontPixels(HDC context, HFONT font)
{
    const HGDIOBJ previous = SelectObject(context, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(context, &metrics);
    SelectObject(context, previous);
    return metrics.tmHeight - metrics.tmInternalLeading;
}

// The area a text needs: every line on its own (wrap false), or broken at words to `width`.
SIZE TextArea(HDC context, HFONT font, const std::wstring& text, int width, bool wrap)
{
    const HGDIOBJ previous = SelectObject(context, font);
    RECT area{0, 0, width, 0};
    DrawTextW(context, text.c_str(), static_cast<int>(text.size()), &area,
              DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | (wrap ? DT_WORDBREAK : 0));
    SelectObject(context, previous);
    return {area.right - area.left, area.bottom - area.top};
}

// The box a control's text is drawn in.
SIZE TextBox(ControlKind kind, const RECT& place)
{
    SIZE box{place.right - place.left, place.bottom - place.top};
    if (kind == ControlKind::Button || kind == ControlKind::Toggle) {
        box.cx -= 2 * (GetSystemMetrics(SM_CXEDGE) + ButtonTextMargin);
        box.cy -= 2 * GetSystemMetrics(SM_CYEDGE);
    }
    return box;
}

}  // namespace

int WindowDpi(HWND window)
{
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow && window)
        if (const UINT dpi = getDpiForWindow(window))
            return static_cast<int>(dpi);
    return ScreenDpiY();
}

HFONT GuiFont()
{
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

HFONT MakeFont(FontSpec wanted)
{
    LOGFONTW font{};
    font.lfHeight = -MulDiv(wanted.points, ScreenDpiY(), 72);
    font.lfWeight = wanted.bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = DEFAULT_QUALITY;
    const std::wstring face = Wide(wanted.face);
    face.copy(font.lfFaceName, LF_FACESIZE - 1);
    return KeepFont(CreateFontIndirectW(&font));
}

// Measured with fonts made for the purpose and dropped again; only the one chosen is kept.
HFONT FittedFont(HFONT wanted, const std::wstring& text, SIZE box, bool mayWrap)
{
    HDC context = GetDC(nullptr);
    if (!context)
        return wanted;
    const int largest = FontPixels(context, wanted);
    const int pixels = FittedFontPixels(largest, mayWrap, [&](int size, bool wrap) {
        HFONT candidate = size == largest ? wanted : ResizedFont(wanted, size);
        const SIZE needed = TextArea(context, candidate, text, box.cx, wrap);
        if (candidate != wanted)
            DeleteObject(candidate);
        return needed.cx <= box.cx && needed.cy <= box.cy;
    });
    ReleaseDC(nullptr, context);
    return pixels == largest ? wanted : KeepFont(ResizedFont(wanted, pixels));
}

// Gives a control showing one line of text the largest font, at most `wanted`, in which its
// text fits.
void FitTextToControl(HWND control, ControlKind kind, const RECT& place, HFONT wanted)
{
    const HFONT font = FittedFont(wanted, WindowText(control), TextBox(kind, place), false);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}
