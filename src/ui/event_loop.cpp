// Waiting for events and dispatching them by kind and control number.
#include "ui/event_loop.h"

#include <filesystem>
#include <string>

#include "board/codepage.h"
#include "board/connection.h"
#include "platform/file.h"
#include "globals.h"
#include "sound/click.h"
#include "ui/overview.h"
#include "ui/history.h"
#include "ui/main_window.h"
#include "ui/polling.h"
#include "ui/reference.h"
#include "utils/timing.h"

namespace {
constexpr std::string_view EmptyCommandTitle = "Varnex-NET-IO: Meldung";
constexpr std::string_view EmptyCommandText =
    "Es wurde kein Befehl in die Befehlszeile eingetragen!\r\rEs wurde keine Datenanfrage abgeschickt!";
constexpr std::string_view NotSentLine = "*** keine Verbindung – Befehl nicht gesendet ***";
constexpr std::string_view LinkLostLine = "*** Verbindung zum Board unterbrochen (%H:%M:%S) ***";
constexpr std::string_view LinkRestoredLine = "*** Verbindung wiederhergestellt (%H:%M:%S) ***";
constexpr std::string_view PasswordResentLine = "*** Kennwort erneut gesendet ***";
constexpr std::string_view PasswordRejectedLine = "*** Kennwort abgelehnt – bitte neu eingeben ***";
constexpr std::string_view LogProblemTitle = "Skarvel: Problem";
constexpr std::string_view LogDialogTitle = "Mitschnitt starten";
constexpr std::string_view LogAppendQuestion = "Die Datei „{}“ gibt es schon.\r\rSoll der Mitschnitt an sie angehängt werden?";

// The output's menu entry: starts the log in a file the user chooses, or ends it.
void ToggleRunningLog()
{
    if (RunningLogActive()) {
        EndRunningLog();
    } else if (const std::optional<std::string> path = ChooseFileToWrite(LogDialogTitle, SuggestedLogFileName(WallClock::now()), LogAppendQuestion)) {
        std::string why;
        const std::string board = G.settings.Host + ":" + std::to_string(G.settings.TelnetPort & 0xFFFF);
        if (!StartRunningLog(std::filesystem::path(std::u8string(path->begin(), path->end())), G.settings.Host, board, why))
            MessageDialog(LogProblemTitle, "Der Mitschnitt kann nicht begonnen werden!\r\r" + why);
    }
    ShowRunningLogMenuEntry();
    SetMainWindowTitle(MainWindowTitle());
}

// The idle message, unless the overview is open and something else went out since the last tick:
// its reads and the polls keep the link alive then. A board the overview cannot read, or one
// with no entries, still hears from the program every second.
void OnIdleTimer()
{
    static std::uint64_t sentAtLastTick = 0;
    if (!OverviewOpen() || MessagesSent() == sentAtLastTick)
        SendIdleMessage();
    sentAtLastTick = MessagesSent();
}

// Tells what became of the link, once each time: a line in the output and the window's title;
// while the link is lost, its timer steps the tries to reconnect, the first one at once.
void ReportLinkEvents()
{
    for (LinkEvent event = TakeLinkEvent(); event != LinkEvent::None; event = TakeLinkEvent()) {
        if (event == LinkEvent::PasswordResent || event == LinkEvent::PasswordRejected) {
            const bool resent = event == LinkEvent::PasswordResent;
            AppendLine(OutputEditor, resent ? PasswordResentLine : PasswordRejectedLine);
            Log(resent ? LogEvent::PasswordResent : LogEvent::PasswordRejected);
            // Refused, nothing goes out until the user sends: polling ends as if released.
            if (!resent && IsPressed(PollingToggle)) {
                Release(PollingToggle);
                OnOtherControlEvent();
            }
            continue;
        }
        // With the local time, so that someone back at the desk reads how long the board was away.
        const bool lost = event == LinkEvent::Lost;
        const std::string line = LocalTimeText(WallClock::now(), (lost ? LinkLostLine : LinkRestoredLine).data());
        AppendLine(OutputEditor, line);
        Log(lost ? LogEvent::LinkLost : LogEvent::LinkRestored, line);
        SetMainWindowTitle(MainWindowTitle());
        ForgetPasswordWantedTold();
        if (lost) {
            StartTimer(ReconnectTimer, ReconnectStepInterval);
            StepReconnect(TimerClockNow());
        } else {
            StopTimer(ReconnectTimer);
        }
        OverviewLinkChanged(!lost);
    }
}
}  // namespace

std::string BoardWebAddress()
{
    return "http://" + G.settings.Host + ":" + G.settings.HttpPortText;
}

std::string SendCommand(LogEvent sentBy)
{
    SetEnabled(SendButton, false);
    // Encoded at once, so the line shown is what goes out: "?" for what the wire cannot carry.
    const std::string command = FitToWindows1252(GetText(CommandField));
    if (command.empty()) {
        MessageDialog(EmptyCommandTitle, EmptyCommandText);
    } else {
        Log(sentBy, command);
        const Exchange exchange = ExchangeCommand(command, Origin::User);
        LogExchange(exchange);
        ClearOutput(OutputEditor);
        SetTextColour(OutputEditor, ReplyColour);
        AppendLine(OutputEditor, ">" + command);
        // A link lost on the way says so in the line that follows.
        if (exchange.outcome == ExchangeOutcome::Replied)
            AppendLine(OutputEditor, exchange.reply);
        else if (exchange.outcome == ExchangeOutcome::NotSent)
            AppendLine(OutputEditor, NotSentLine);
        TellOfAPasswordWanted(command, exchange.reply);
    }
    SetEnabled(SendButton, true);
    Focus(CommandField);
    return command;
}

namespace {

std::optional<LoopEnd> Dispatch(Event event)
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
    case EventKind::Action:
        switch (event.number) {
        case RunningLogAction: ToggleRunningLog(); break;
        case OverviewAction: OpenOverview(); break;
        case CopyOverviewAction: CopyOverview(); break;
        case OverviewClosedAction: CloseOverview(); break;
        case ReconnectNowAction: ReconnectNow(TimerClockNow()); break;
        default: break;
        }
        break;
    case EventKind::Row:
        SwitchOverviewRow(event.number);
        break;
    case EventKind::Timer:
        switch (event.number) {
        case IdleTimer: OnIdleTimer(); break;
        case PollTimer: OnPollTimer(); break;
        case ReconnectTimer: StepReconnect(TimerClockNow()); break;
        case OverviewTimer: OnOverviewTimer(); break;
        default: break;
        }
        break;
    case EventKind::Control:
        switch (event.number) {
        case SendButton:
            PlayClick();
            // What went out, not what the field holds by now: typing goes on during the exchange.
            RememberCommand(SendCommand());
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
            SendCommand(LogEvent::CountQuery);
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

}  // namespace

// What the event did to the link is told once it is done.
std::optional<LoopEnd> HandleEvent(Event event)
{
    const std::optional<LoopEnd> end = Dispatch(event);
    if (!end)
        ReportLinkEvents();
    // A log that cannot go on is said where the watch goes on: no message waits for a click.
    if (const std::string why = TakeRunningLogProblem(); !why.empty()) {
        ShowRunningLogMenuEntry();
        AppendLine(OutputEditor, "*** Mitschnitt beendet: " + why + " ***");
        SetMainWindowTitle(MainWindowTitle());
    }
    return end;
}

LoopEnd RunEventLoop()
{
    for (;;)
        if (const auto end = HandleEvent(WaitWindowEvent(EventWaitLimit)))
            return *end;
}
