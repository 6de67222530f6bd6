// The program's one queue of window events.
#include "platform/shared/event_queue.h"

void DiscardQueuedEvents(EventKind kind, int number)
{
    WindowEvents().Discard(kind, number);
}

EventQueue& WindowEvents()
{
    static EventQueue queue;
    return queue;
}
