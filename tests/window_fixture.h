// A main window on the offscreen platform, connected to a simulated board on loopback, with
// web addresses recorded instead of opened.
#pragma once

#include <gtest/gtest.h>

#include <QTest>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "desktop_support.h"
#include "simulated_board.h"
#include "platform/linux/output.h"
#include "platform/linux/qt_access.h"
#include "ui/event_loop.h"
#include "ui/main_window.h"
#include "test_seams.h"

using namespace std::chrono_literals;

inline QString QtText(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        sim_ = OpenMainWindowOnSimulatedBoard();
        ASSERT_TRUE(sim_);
        QApplication::setActiveWindow(MainWindowWidget());
        SetWebAddressRecorder([this](std::string_view address) { opened_.emplace_back(address); });
        Drain();
    }

    void TearDown() override
    {
        SetWebAddressRecorder(nullptr);
        EndDesktop();
        CloseBoardConnection();
    }

    // Takes every queued event without acting on it.
    std::vector<Event> Drain()
    {
        std::vector<Event> events;
        QCoreApplication::processEvents();
        for (Event e = WaitWindowEvent(0ms); e.kind != EventKind::None; e = WaitWindowEvent(0ms))
            events.push_back(e);
        return events;
    }

    // Carries out every queued event, as the loop would.
    std::optional<LoopEnd> HandleQueuedEvents()
    {
        std::optional<LoopEnd> end;
        for (const Event& event : Drain())
            if (auto result = HandleEvent(event))
                end = result;
        return end;
    }

    // Clicks a control as the user would and carries out the events it raised.
    std::optional<LoopEnd> Click(int control)
    {
        QTest::mouseClick(ControlWidget(control), Qt::LeftButton);
        return HandleQueuedEvents();
    }

    OutputView* Editor() { return qobject_cast<OutputView*>(ControlWidget(OutputEditor)); }
    std::string EditorText() { return Editor()->Text(); }
    QColor EditorColour() { return Editor()->palette().color(QPalette::Text); }

    std::unique_ptr<netio::Simulator> sim_;
    std::vector<std::string> opened_;
};

