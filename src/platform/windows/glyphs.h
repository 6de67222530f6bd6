// Measuring text as the output view draws it: each character's advance learnt by drawing, where
// each character of a line stands, and the measure the output model steps through lines with.
#pragma once

#include "platform/shared/output_model.h"
#include "platform/windows/desktop.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One line as it is drawn: its text and where each of its characters begins.
struct LineLayout {
    std::wstring text;
    std::vector<int> x;   // x[i]: the left edge of character i from the text's start; x[size]: its end
};

// How far the font moves on after each character as it draws it, which is what a line drawn in
// one call shows. GDI's measuring can disagree with its drawing (Wine draws small sizes bi-level,
// as the font's own table asks, with advances of their own), so each character's advance is
// learnt once by drawing: where a mark drawn after it ends, against the mark drawn alone.
class DrawnAdvances {
public:
    DrawnAdvances() = default;
    DrawnAdvances(const DrawnAdvances&) = delete;
    DrawnAdvances& operator=(const DrawnAdvances&) = delete;
    ~DrawnAdvances() { SetFont(nullptr); }

    void SetFont(HFONT font);
    // A context with the font selected, which measures as the view draws.
    HDC Context();
    // The advance of one character: a UTF-16 unit, or a surrogate pair.
    int Of(const wchar_t* character, int units);

private:
    bool Open();
    // The column after the mark's last ink, drawn after `before`; -1 when it does not fit.
    int MarkEnd(const wchar_t* before, int units);

    HFONT font_ = nullptr;
    HDC context_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previousFont_ = nullptr, previousBitmap_ = nullptr;
    std::uint32_t* bits_ = nullptr;
    int width_ = 0, height_ = 0;
    int alone_ = -1;
    std::unordered_map<char32_t, int> known_;
};

std::wstring WideOf(std::u16string_view text);
bool IsWordCharacter(wchar_t unit);

// Each character where the font's drawing puts it; tabs go to the next stop past the text before
// them. Inside a surrogate pair x counts as the pair's end.
LineLayout LayOut(DrawnAdvances& advances, int tabStop, std::wstring text);
// The column nearest to x (from the text's start), never inside a surrogate pair.
int ColumnAt(const LineLayout& layout, int x);

// A font as it draws: how the model measures lines and steps through them.
class LineMeasure final : public OutputMeasure {
public:
    LineMeasure(DrawnAdvances& advances, int tabStop) : advances_(advances), tabStop_(tabStop) {}

    int Width(std::u16string_view line) const override;
    int ColumnX(std::u16string_view line, int column) const override;
    int ColumnAt(std::u16string_view line, int x) const override;
    // A character never splits a surrogate pair; a word goes to the start of the next one, as in
    // a Windows edit.
    int Step(std::u16string_view line, int column, OutputMove move) const override;

private:
    LineLayout Laid(std::u16string_view line) const;

    DrawnAdvances& advances_;
    int tabStop_;
};
