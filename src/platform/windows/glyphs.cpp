// Measuring text as the output view draws it (see glyphs.h): kept apart from the view, which
// only asks where characters stand.
#include "platform/windows/glyphs.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

bool IsLeadingSurrogate(wchar_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsTrailingSurrogate(wchar_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

// --- advances learnt by drawing ------------------------------------------------------------------

void DrawnAdvances::SetFont(HFONT font)
{
    if (context_) {
        SelectObject(context_, previousFont_);
        SelectObject(context_, previousBitmap_);
        DeleteDC(context_);
        DeleteObject(bitmap_);
        context_ = nullptr;
    }
    font_ = font;
    known_.clear();
    alone_ = -1;
}

HDC DrawnAdvances::Context()
{
    if (!context_ && !Open())
        return nullptr;
    return context_;
}

int DrawnAdvances::Of(const wchar_t* character, int units)
{
    const char32_t code = units == 2 ? 0x10000 + ((character[0] - 0xD800) << 10) + (character[1] - 0xDC00)
                                     : static_cast<char32_t>(character[0]);
    if (const auto found = known_.find(code); found != known_.end())
        return found->second;
    int advance = 0;
    if (Context()) {
        if (alone_ < 0)
            alone_ = MarkEnd(nullptr, 0);
        const int end = MarkEnd(character, units);
        advance = end >= 0 && alone_ >= 0 ? end - alone_ : -1;
    }
    // Too wide for the bitmap, or nothing to draw with: GDI's measure.
    SIZE size{};
    if (advance < 0 && context_ && GetTextExtentPoint32W(context_, character, units, &size))
        advance = static_cast<int>(size.cx);
    return known_[code] = std::max(0, advance);
}

bool DrawnAdvances::Open()
{
    context_ = CreateCompatibleDC(nullptr);
    if (!context_)
        return false;
    previousFont_ = SelectObject(context_, font_ ? font_ : GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW metrics{};
    GetTextMetricsW(context_, &metrics);
    width_ = std::max(64, static_cast<int>(4 * metrics.tmMaxCharWidth + 2 * metrics.tmHeight));
    height_ = std::max(1, static_cast<int>(metrics.tmHeight));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(context_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap_) {
        SelectObject(context_, previousFont_);
        DeleteDC(context_);
        context_ = nullptr;
        return false;
    }
    bits_ = static_cast<std::uint32_t*>(bits);
    previousBitmap_ = SelectObject(context_, bitmap_);
    SetBkMode(context_, TRANSPARENT);
    SetTextColor(context_, RGB(0, 0, 0));
    return true;
}

int DrawnAdvances::MarkEnd(const wchar_t* before, int units)
{
    constexpr wchar_t Mark = L'H';
    std::memset(bits_, 0xFF, static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4);
    std::wstring text(before ? before : L"", static_cast<std::size_t>(units));
    text += Mark;
    ExtTextOutW(context_, 0, 0, 0, nullptr, text.data(), static_cast<UINT>(text.size()), nullptr);
    GdiFlush();
    for (int x = width_ - 1; x >= 0; --x)
        for (int y = 0; y < height_; ++y)
            if ((bits_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)]
                 & 0xFFFFFF) != 0xFFFFFF)
                return x + 1 < width_ ? x + 1 : -1;
    return -1;
}

// --- where the characters of a line stand --------------------------------------------------------

std::wstring WideOf(std::u16string_view text)
{
    return {text.begin(), text.end()};
}

bool IsWordCharacter(wchar_t unit)
{
    return unit == L'_' || IsCharAlphaNumericW(unit);
}

LineLayout LayOut(DrawnAdvances& advances, int tabStop, std::wstring text)
{
    LineLayout layout;
    layout.text = std::move(text);
    const std::wstring& line = layout.text;
    layout.x.assign(line.size() + 1, 0);
    int x = 0;
    for (std::size_t i = 0; i < line.size();) {
        const int units = IsLeadingSurrogate(line[i]) && i + 1 < line.size() && IsTrailingSurrogate(line[i + 1]) ? 2 : 1;
        x = line[i] == L'\t' ? (x / tabStop + 1) * tabStop : x + advances.Of(line.data() + i, units);
        for (int k = 0; k < units; ++k)
            layout.x[++i] = x;
    }
    return layout;
}

int ColumnAt(const LineLayout& layout, int x)
{
    const int size = static_cast<int>(layout.text.size());
    for (int i = 0; i < size; ++i) {
        if (IsTrailingSurrogate(layout.text[static_cast<std::size_t>(i)]))
            continue;
        int next = i + 1;
        while (next < size && IsTrailingSurrogate(layout.text[static_cast<std::size_t>(next)]))
            ++next;
        if (x < (layout.x[static_cast<std::size_t>(i)] + layout.x[static_cast<std::size_t>(next)]) / 2)
            return i;
    }
    return size;
}

// --- the model's measure -------------------------------------------------------------------------

int LineMeasure::Width(std::u16string_view line) const
{
    return std::max(0, Laid(line).x.back());
}

int LineMeasure::ColumnX(std::u16string_view line, int column) const
{
    return Laid(line).x[static_cast<std::size_t>(std::clamp(column, 0, static_cast<int>(line.size())))];
}

int LineMeasure::ColumnAt(std::u16string_view line, int x) const
{
    return ::ColumnAt(Laid(line), x);
}

int LineMeasure::Step(std::u16string_view line, int column, OutputMove move) const
{
    const int size = static_cast<int>(line.size());
    const auto unitAt = [&](int at) { return static_cast<wchar_t>(line[static_cast<std::size_t>(at)]); };
    switch (move) {
    case OutputMove::NextChar:
        ++column;
        while (column < size && IsTrailingSurrogate(unitAt(column)))
            ++column;
        break;
    case OutputMove::PreviousChar:
        --column;
        while (column > 0 && IsTrailingSurrogate(unitAt(column)))
            --column;
        break;
    case OutputMove::NextWord:
        while (column < size && IsWordCharacter(unitAt(column)))
            ++column;
        while (column < size && !IsWordCharacter(unitAt(column)))
            ++column;
        break;
    case OutputMove::PreviousWord:
        while (column > 0 && !IsWordCharacter(unitAt(column - 1)))
            --column;
        while (column > 0 && IsWordCharacter(unitAt(column - 1)))
            --column;
        break;
    default:
        break;
    }
    return column;
}

LineLayout LineMeasure::Laid(std::u16string_view line) const
{
    return LayOut(advances_, tabStop_, WideOf(line));
}
