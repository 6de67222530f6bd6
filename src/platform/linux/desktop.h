// What the files of the Qt front end share: the desktop's state, text conversion, showing a
// window, watching the input, and the fonts the layout is drawn in. Private to this front end.
#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/shared/event_queue.h"
#include "platform/window.h"
#include "utils/timing.h"

class QApplication;
class QTimer;

// How long a new window may take to be mapped and exposed before it is painted anyway.
inline constexpr std::chrono::milliseconds ExposeLimit = 1000ms;

struct Desktop {
    QWidget* mainWindow = nullptr;
    std::unique_ptr<QWidget> tableWindow;
    std::map<int, QWidget*> controls;
    std::unique_ptr<QWidget> connectWindow;
    bool connectWindowPainted = false;   // painted at the first wait, not before
    std::map<int, QTimer*> timers;
};

Desktop& TheDesktop();

inline QString ToQt(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// "\r" is a line break on screen, so "\r\r" shows as a break and an empty line.
inline QString ToShownText(std::string_view text)
{
    return ToQt(text).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

// Centres the window's outer frame on the whole primary screen (the taskbar is ignored).
void CentreOnScreen(QWidget* window);

// Shows the window; does `meanwhile` while the window manager maps it (what only has to be done
// before the window is painted: fitting texts, say); then paints it as PaintExposed does.
void ShowAndPaint(QWidget* window, const std::function<void()>& meanwhile = {});

// Waits (at most `limit`) until the window system exposes the shown window, centres it now that
// its frame is known, and paints it.
void PaintExposed(QWidget* window, std::chrono::milliseconds limit = ExposeLimit);

// Keys typed while the program waited for the board, handed on now that it waits for events.
void HandOnHeldKeys();

// Gives the program's windows their icon, unless they have it already.
void GiveProgramIcon();

// Watches every window of the application for the F keys the program took and for the signs of a
// press that wake the click's stream (window.cpp; the session installs it).
void WatchInput(QApplication* application);

// --- fonts (fonts.cpp) ---------------------------------------------------------------------------

// A font of that face, size and weight, in the layout's pixels.
QFont MakeFont(FontSpec wanted);

// The font the layout was made for: the desktop's GUI font at 8 points.
QFont GuiFont();

// Gives the control the largest font, at most the one it is meant to have, in which its text
// fits its fixed size.
void FitTextToControl(QWidget* control);

// --- the output (output_save.cpp) --------------------------------------------------------------

class OutputModel;
// Asks where to with the common save dialog, and writes the whole output there, a line per line.
void SaveToFile(const OutputModel& model);
