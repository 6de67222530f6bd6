// Fonts of the Win32 front end at a window's dpi, the lengths of the layout at that dpi, and
// fitting a control's text into its fixed size.
#include "platform/windows/desktop.h"

#include "platform/shared/layout.h"

#include <tuple>

namespace {

// Room a push button keeps between its edge and its text, on each side, at 96 dpi: with the edge,
// the text stays as clear of the frame as the Linux build's.
constexpr int ButtonTextMargin = 2;

// A function of user32 that older systems lack, looked up when first asked for.
template <typename Function>
Function User32Entry(const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

int SystemDpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

// A font made once for each shape and kept until the desktop ends: a window laid out again for
// another dpi, or back, finds its fonts made already.
HFONT KeptFont(const LOGFONTW& shape)
{
    const auto key = std::make_tuple(std::wstring(shape.lfFaceName), static_cast<int>(shape.lfHeight),
                                     static_cast<int>(shape.lfWeight), static_cast<int>(shape.lfCharSet));
    auto& fonts = TheDesktop().fonts;
    if (const auto found = fonts.find(key); found != fonts.end())
        return found->second;
    HFONT font = CreateFontIndirectW(&shape);
    if (font)
        fonts[key] = font;
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
SIZE NeededSize(HDC context, HFONT font, const std::wstring& text, int width, bool wrap)
{
    const HGDIOBJ previous = SelectObject(context, font);
    RECT area{0, 0, width, 0};
    DrawTextW(context, text.c_str(), static_cast<int>(text.size()), &area,
              DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | (wrap ? DT_WORDBREAK : 0));
    SelectObject(context, previous);
    return {area.right - area.left, area.bottom - area.top};
}

// The box a control's text is drawn in, at the control's dpi.
SIZE TextBox(ControlKind kind, const RECT& place, int dpi)
{
    SIZE box{place.right - place.left, place.bottom - place.top};
    if (kind == ControlKind::Button || kind == ControlKind::Toggle) {
        box.cx -= 2 * (SystemMetric(SM_CXEDGE, dpi) + Scaled(ButtonTextMargin, dpi));
        box.cy -= 2 * SystemMetric(SM_CYEDGE, dpi);
    }
    return box;
}

}  // namespace

int MonitorDpi(HWND window)
{
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = User32Entry<GetDpiForWindowFunction>("GetDpiForWindow");
    if (getDpiForWindow && window)
        if (const UINT dpi = getDpiForWindow(window))
            return static_cast<int>(dpi);
    return SystemDpi();
}

int WindowDpi(HWND window)
{
    if (window)
        if (const auto laidOut = TheDesktop().layoutDpi.find(GetAncestor(window, GA_ROOT)); laidOut != TheDesktop().layoutDpi.end())
            return laidOut->second;
    return MonitorDpi(window);
}

int Scaled(int length, int dpi)
{
    return MulDiv(length, dpi, 96);
}

RECT ScaledPlace(const RECT& place, int dpi)
{
    // Each edge on its own: neighbours that share an edge at 96 dpi share it at any dpi.
    return {Scaled(place.left, dpi), Scaled(place.top, dpi), Scaled(place.right, dpi), Scaled(place.bottom, dpi)};
}

int SystemMetric(int index, int dpi)
{
    using GetSystemMetricsForDpiFunction = int(WINAPI*)(int, UINT);
    static const auto forDpi = User32Entry<GetSystemMetricsForDpiFunction>("GetSystemMetricsForDpi");
    if (forDpi)
        return forDpi(index, static_cast<UINT>(dpi));
    return MulDiv(GetSystemMetrics(index), dpi, SystemDpi());
}

SIZE OuterSize(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, int dpi)
{
    using AdjustForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = User32Entry<AdjustForDpiFunction>("AdjustWindowRectExForDpi");
    RECT outer{0, 0, clientWidth, clientHeight};
    if (!adjustForDpi || !adjustForDpi(&outer, style, FALSE, exStyle, static_cast<UINT>(dpi)))
        AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    return {outer.right - outer.left, outer.bottom - outer.top};
}

HFONT GuiFont(int dpi)
{
    // The face of the desktop's GUI font, at the point size the layout was made for.
    LOGFONTW shape{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof shape, &shape);
    shape.lfHeight = -MulDiv(GuiFontPoints, dpi, 72);
    shape.lfWidth = 0;
    const HFONT font = KeptFont(shape);
    return font ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

HFONT MakeFont(FontSpec wanted, int dpi)
{
    LOGFONTW shape{};
    shape.lfHeight = -MulDiv(wanted.points, dpi, 72);
    shape.lfWeight = wanted.bold ? FW_BOLD : FW_NORMAL;
    shape.lfCharSet = DEFAULT_CHARSET;
    shape.lfQuality = DEFAULT_QUALITY;
    const std::wstring face = Wide(wanted.face);
    face.copy(shape.lfFaceName, LF_FACESIZE - 1);
    return KeptFont(shape);
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
        const SIZE needed = NeededSize(context, candidate, text, box.cx, wrap);
        if (candidate != wanted)
            DeleteObject(candidate);
        return needed.cx <= box.cx && needed.cy <= box.cy;
    });
    ReleaseDC(nullptr, context);
    if (pixels == largest)
        return wanted;
    LOGFONTW shape{};
    GetObjectW(wanted, sizeof shape, &shape);
    shape.lfHeight = -pixels;
    shape.lfWidth = 0;
    const HFONT fitted = KeptFont(shape);
    return fitted ? fitted : wanted;
}

// Gives a control showing one line of text the largest font, at most `wanted`, in which its
// text fits.
void FitTextToControl(HWND control, ControlKind kind, const RECT& place, HFONT wanted, int dpi)
{
    const HFONT font = FittedFont(wanted, WindowText(control), TextBox(kind, place, dpi), false);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}
