// The one queue of window events that a front end fills and WaitWindowEvent empties, with the
// rules every front end keeps: a tick or a click waits at most once, and ticks are dropped while
// a modal dialog is open. Private to the platform layer.
#pragma once

#include <algorithm>
#include <deque>

#include "platform/window.h"

class EventQueue {
public:
    void Post(EventKind kind, int number) { events_.push_back({kind, number}); }

    // A key a line edit does not handle itself; each press counts.
    void PostKey(int control, Key key) { events_.push_back({EventKind::Key, control, key}); }

    // Queued only when the same event is not waiting yet. A timer behaves so on every desktop: a
    // loop that was busy gets one tick afterwards, not all it missed. A button does too, so that
    // clicks made while the window was busy start its action once, not once per click.
    void PostOnce(EventKind kind, int number)
    {
        if (std::none_of(events_.begin(), events_.end(),
                         [&](const Event& e) { return e.kind == kind && e.number == number; }))
            Post(kind, number);
    }

    // A timer fell due. Dropped, not delivered later, while a modal dialog is open or while the
    // front end holds ticks for reasons of its own (the window being dragged, its system menu).
    void PostTick(int timer, bool held = false)
    {
        if (!held && modalDepth_ == 0)
            PostOnce(EventKind::Timer, timer);
    }

    // Lives while a modal dialog of the program is open.
    class ModalScope {
    public:
        explicit ModalScope(EventQueue& queue) : queue_(queue) { ++queue_.modalDepth_; }
        ~ModalScope() { --queue_.modalDepth_; }
        ModalScope(const ModalScope&) = delete;
        ModalScope& operator=(const ModalScope&) = delete;

    private:
        EventQueue& queue_;
    };

    bool Empty() const { return events_.empty(); }

    // The oldest event; a None event when there is none.
    Event Take()
    {
        if (events_.empty())
            return {};
        const Event event = events_.front();
        events_.pop_front();
        return event;
    }

    void Clear() { events_.clear(); }

    void Discard(EventKind kind, int number)
    {
        std::erase_if(events_, [&](const Event& e) { return e.kind == kind && e.number == number; });
    }

private:
    std::deque<Event> events_;
    int modalDepth_ = 0;
};

// The program's one queue.
EventQueue& WindowEvents();
