// Lengths and sizes both front ends lay out by, in pixels at 96 dpi: the input dialog, the
// connect window, the output's tab stops and the smallest font a text may be shrunk to.
// Private to the platform layer.
#pragma once

#include <algorithm>

struct Box {
    int left, top, width, height;
};

// The input dialog: its outer size, centred on the screen, and its three controls.
inline constexpr int InputDialogWidth = 300;
inline constexpr int InputDialogHeight = 130;
inline constexpr Box InputDialogPrompt{10, 10, 280, 22};
inline constexpr Box InputDialogField{10, 32, 275, 21};
inline constexpr Box InputDialogOkButton{110, 67, 80, 25};

// The connect window: its client size and its text.
inline constexpr int ConnectWindowWidth = 250;
inline constexpr int ConnectWindowHeight = 90;
inline constexpr Box ConnectWindowText{10, 10, 230, 70};

// The layout was made for the desktop's GUI font of 8 points.
inline constexpr int GuiFontPoints = 8;

// The output's tab stops: every half inch, as a rich edit puts them, so that the reference's
// example messages line up at 96 pixels.
inline constexpr int OutputTabStop = 48;

// A text that does not fit its control gets a smaller font, but none smaller than this.
inline constexpr int SmallestFontPixels = 9;

// The largest whole-pixel size, from `ownPixels` down to the floor, at which a control's text
// fits: every line whole first, broken at words (where the control wraps) only where that cannot
// be had. Where nothing fits, the floor. `fits(pixels, wrap)` is the front end's measuring.
template <typename Fits>
int FittedFontPixels(int ownPixels, bool mayWrap, Fits fits)
{
    for (const bool wrap : {false, true}) {
        if (wrap && !mayWrap)
            break;
        for (int pixels = ownPixels; pixels >= SmallestFontPixels; --pixels)
            if (fits(pixels, wrap))
                return pixels;
    }
    return std::min(ownPixels, SmallestFontPixels);
}
