// The click played on button presses and at the end of the program: a RIFF WAVE image built
// into the program, so no file has to be found at run time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr std::size_t ClickSoundSize = 1404;

// 22,050 samples/s, 16-bit mono PCM, 680 samples (30.8 ms). Made by tools/make_click.cpp.
extern const std::array<std::uint8_t, ClickSoundSize> ClickSound;
