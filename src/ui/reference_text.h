// The board's command reference in German, one entry per display line, as shown in the
// reference window. Kept as data so the window only lays it out.
#pragma once

#include <array>
#include <string_view>

// UTF-8. Example lines separate the direction ("Client zu NET-IO ") from the message with a tab.
extern const std::array<std::string_view, 69> CommandReferenceLines;
