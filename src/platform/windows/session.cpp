// The desktop session over Win32: starting the common controls, COM and the window classes, the
// wait for the board that keeps windows painted, and the end. The windows are in window.cpp.
#include "platform/windows/desktop.h"
#include "platform/windows/socket_ready.h"

#include <commctrl.h>
#include <objbase.h>

#include "platform/net.h"
#include "platform/shared/program_actions.h"

#include <algorithm>
#include <chrono>

// --- the wait for the board ------------------------------------------------------------------

namespace {

using Clock = std::chrono::steady_clock;

// Every wait for the board passes here (StartDesktop installs it into the socket layer): the
// windows keep being painted and keep answering the window manager, while user input is held
// back and timer ticks only wait (Windows keeps one pending WM_TIMER per timer).
void WaitForSocket(Socket socket, SocketWaitKind kind, std::chrono::milliseconds limit)
{
    static const WSAEVENT networkEvent = WSACreateEvent();
    const auto handle = static_cast<SOCKET>(socket.handle);
    const bool pausing = kind == SocketWaitKind::Pause;
    const long events = kind == SocketWaitKind::Readable ? FD_READ | FD_CLOSE : FD_WRITE | FD_CONNECT | FD_CLOSE;
    const bool watching =
        !pausing && networkEvent != WSA_INVALID_EVENT && WSAEventSelect(handle, networkEvent, events) == 0;
    const Clock::time_point deadline = Clock::now() + limit;
    for (;;) {
        DispatchKeepAlive();
        if (!pausing && SocketReady(handle, kind, std::chrono::milliseconds::zero()) != 0)
            break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= std::chrono::milliseconds::zero())
            break;
        const auto slice = std::min(left, SocketCheckInterval);
        MsgWaitForMultipleObjectsEx(watching ? 1 : 0, watching ? &networkEvent : nullptr,
                                    static_cast<DWORD>(slice.count()), KeepAliveMessages, 0);
    }
    if (watching) {
        // Cancels the watch; the socket stays non-blocking, as the socket layer keeps it.
        WSAEventSelect(handle, nullptr, 0);
        WSAResetEvent(networkEvent);
    }
    // The input held back reaches the controls now, while they are as the user saw them: a
    // click on a button disabled for the exchange is lost, typed text lands in its field.
    DispatchWaiting();
}

}  // namespace

// --- the start -------------------------------------------------------------------------------

void StartDesktop()
{
    SetSocketWaitFunction(WaitForSocket);
    static bool started = false;
    Desktop& d = TheDesktop();
    if (!started) {
        started = true;
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
        // The shell may hand an address to a handler that needs COM.
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        RegisterClasses();
    }
    if (!d.messageWindow)
        d.messageWindow = CreateWindowExW(0, MessageWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          Instance(), nullptr);
}

// --- the end ---------------------------------------------------------------------------------

void EndDesktop()
{
    Desktop& d = TheDesktop();
    for (const auto& [number, window] : d.timers)
        KillTimer(window, static_cast<UINT_PTR>(number));
    d.timers.clear();
    d.controls.clear();
    if (d.tableWindow)
        DestroyWindow(d.tableWindow);
    d.tableWindow = nullptr;
    ForgetProgramActions();
    if (d.mainWindow)
        DestroyWindow(d.mainWindow);   // its controls and tooltips with it
    d.mainWindow = nullptr;
    d.tooltips = nullptr;
    if (d.connectWindow)
        DestroyWindow(d.connectWindow);
    d.connectWindow = nullptr;
    if (d.messageWindow)
        DestroyWindow(d.messageWindow);
    d.messageWindow = nullptr;
    for (const auto& [shape, font] : d.fonts)
        DeleteObject(font);
    d.fonts.clear();
    d.layoutDpi.clear();
    d.dpi = 96;
    WindowEvents().Clear();
    d.focusControl = 0;
    d.lastEditFocus = 0;
    d.moving = d.inMenu = false;
}
