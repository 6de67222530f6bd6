// The program's one queue of window events.
#include "platform/shared/event_queue.h"

EventQueue& WindowEvents()
{
    static EventQueue queue;
    return queue;
}
