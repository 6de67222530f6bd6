// The program's loop on the tests' desktop-free window (headless/), its clock the test's own.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "globals.h"
#include "headless/headless.h"
#include "sound/click.h"
#include "simulated_board.h"
#include "ui/event_loop.h"

// Runs the program's loop as RunEventLoop does, until the test's clock reaches `until`; the
// value when the loop ended.
inline std::optional<LoopEnd> RunUntil(headless::Millis until)
{
    while (headless::Now() < until)
        if (const auto end = HandleEvent(WaitWindowEvent(std::chrono::duration_cast<headless::Millis>(until - headless::Now()))))
            return end;
    // What is queued at that moment, without letting the clock go on.
    for (Event event = WaitWindowEvent(std::chrono::milliseconds::zero()); event.kind != EventKind::None; event = WaitWindowEvent(std::chrono::milliseconds::zero()))
        if (const auto end = HandleEvent(event))
            return end;
    return std::nullopt;
}

// Carries out what the user's doing queued, without the clock going on.
inline std::optional<LoopEnd> Handle()
{
    return RunUntil(headless::Now());
}

// The main window against the simulated board, the click loaded, its timers running on the
// test's clock.
class CoreWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        headless::Reset();
        sim_ = OpenMainWindowOnSimulatedBoard();
        ASSERT_TRUE(sim_);
        InitClickSound();
        StartTimer(IdleTimer, IdleInterval);
        StartTimer(PollTimer, PollInterval);
        Handle();
    }

    void TearDown() override
    {
        CloseBoardConnection();
        EndDesktop();
    }

    std::unique_ptr<netio::Simulator> sim_;
};

