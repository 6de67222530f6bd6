// Waiting for events and dispatching them by kind and control number.
#include "ui/event_loop.h"

#include <string>

#include "board/codepage.h"
#include "board/connection.h"
#include "globals.h"
#include "sound/click.h"
#include "ui/history.h"
#include "ui/main_window.h"
#include "ui/polling.h"
#include "ui/reference.h"
#include "utils/timing.h"

namespace {
constexpr std::string_view EmptyCommandTitle = "Varnex-NET-IO: Meldung";
constexpr std::string_view EmptyCommandText =
    "Es wurde kein Befehl in die Befehlszeile eingetragen!\r\rEs wurde keine Datenanfrage abgeschickt!";
}  // namespace

std::string BoardWebAddress()
{
    return "http://" + G.Settings.Host + ":" + G.Settings.HttpPortText;
}

void SendCommand()
{
    SetEnabled(SendButton, false);
    // Encoded at once, so the line shown is what goes out: "?" for what the wire cannot carry.
    const std::string command = FitToWindows1252(GetText(CommandField));
    if (command.empty()) {
        MessageDialog(EmptyCommandTitle, EmptyCommandText);
    } else {
        const std::string reply = ExchangeCommand(command);
        ClearOutput(OutputEditor);
        SetTextColour(OutputEditor, G.ReplyColour);
        AppendLine(OutputEditor, ">" + command);
        AppendLine(OutputEditor, reply);
    }
    SetEnabled(SendButton, true);
    Focus(CommandField);
}

std::optional<LoopEnd> HandleEvent(Event event)
{
    switch (event.kind) {
    case EventKind::None:
        break;
    case EventKind::Close:
        return LoopEnd::WindowClosed;
    case EventKind::Key:
        if (event.number == CommandField)
            RecallCommand(event.key);
        break;
    case EventKind::Timer:
        if (event.number == IdleTimer)
            SendIdleMessage();
        else if (event.number == PollTimer)
            OnPollTimer();
        break;
    case EventKind::Control:
        switch (event.number) {
        case SendButton:
            PlayClick();
            SendCommand();
            RememberCommand(FitToWindows1252(GetText(CommandField)));
            break;
        case ReferenceButton:
            PlayClick();
            ShowCommandReference();
            break;
        case FirmwareSiteButton:
            PlayClick();
            OpenWebAddress(FirmwareSiteAddress);
            break;
        case AuthorSiteButton:
            PlayClick();
            OpenWebAddress(AuthorSiteAddress);
            break;
        case CountQueryButton:
            PlayClick();
            SetText(CommandField, "Q");
            SendCommand();
            break;
        case BoardWebButton:
            PlayClick();
            CloseBoardConnection();
            OpenWebAddress(BoardWebAddress());
            return LoopEnd::BoardWebOpened;
        default:
            OnOtherControlEvent();
            break;
        }
        break;
    }
    return std::nullopt;
}

LoopEnd RunEventLoop()
{
    for (;;)
        if (const auto end = HandleEvent(WaitWindowEvent(EventWaitLimit)))
            return *end;
}
