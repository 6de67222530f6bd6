// The polling run: Off (toggle out), Armed (toggle in, no run yet) and Running.
#include "ui/polling.h"

#include <string>

#include "board/codepage.h"
#include "board/connection.h"
#include "globals.h"
#include "ui/main_window.h"
#include "ui/running_log.h"

namespace {
constexpr std::string_view PromptTitle = "Skarvel: Meldung";
constexpr std::string_view Prompt = "Polling-Befehl eingeben! (z. B. 'C'=Uhrzeit)";
constexpr std::string_view EmptyTitle = "Skarvel: Problem";
constexpr std::string_view EmptyText = "Es wurde kein Polling-Befehl angegeben!";
constexpr std::string_view NothingSentLine = "*** keine Verbindung – gesendet wird erst, wenn sie wieder besteht ***";

// The last poll's tick, on the timers' clock.
std::chrono::steady_clock::time_point LastPollTick;

std::string RunLine(std::string_view start, std::string_view end)
{
    return std::string(start) + G.PollCommand + std::string(end);
}
}  // namespace

void OnPollTimer()
{
    if (!IsPressed(PollingToggle))
        return;
    LastPollTick = TimerClockNow();
    if (!PollingActive()) {
        // The answer is encoded at once, so the shown, stored and sent command agree.
        G.PollCommand = FitToWindows1252(InputDialog(PromptTitle, Prompt, G.PollCommand));
        if (G.PollCommand.empty()) {
            MessageDialog(EmptyTitle, EmptyText);
            Release(PollingToggle);
            G.polling = PollingState::Off;
        } else {
            ClearOutput(OutputEditor);
            // No colour here: the first poll turns the whole text, this line included, blue.
            const std::string start = RunLine("*** Starte Polling mit Befehls-Sequenz '", "' ***");
            AppendLine(OutputEditor, start);
            Log(LogEvent::PollingStart, start);
            G.polling = PollingState::Running;
            // Polls add nothing while the link is lost: said once, so that the quiet is not a
            // puzzle.
            if (LinkLost())
                AppendLine(OutputEditor, NothingSentLine);
        }
    }
    PollOnce();
}

void PollOnce()
{
    if (G.PollCommand.empty())
        return;
    // The field stays ready for typing, but a user who moved the focus (to stop the run with the
    // keyboard, or to copy from the output) keeps it where it went.
    const int focused = FocusedControl();
    SetEnabled(SendButton, false);
    SetText(CommandField, G.PollCommand);
    // While the link is lost a poll sends nothing, and nothing is logged.
    if (LinkIsUp())
        Log(LogEvent::Poll, G.PollCommand);
    const Exchange exchange = ExchangeCommand(G.PollCommand, Origin::Program);
    if (exchange.outcome != ExchangeOutcome::NotSent)
        LogExchange(exchange);
    SetTextColour(OutputEditor, ReplyColour);
    // While the link is lost, polls add nothing; the loss itself is told once.
    if (exchange.outcome == ExchangeOutcome::Replied)
        AppendLine(OutputEditor, exchange.reply);
    TellOfAPasswordWanted(G.PollCommand, exchange.reply);
    if (focused == CommandField || focused == 0)
        Focus(CommandField);
}

std::optional<std::chrono::steady_clock::time_point> NextPollDue()
{
    if (!PollingActive())
        return std::nullopt;
    return LastPollTick + PollInterval;
}

void OnOtherControlEvent()
{
    if (IsPressed(PollingToggle)) {
        if (G.polling == PollingState::Off)
            G.polling = PollingState::Armed;
        return;
    }
    if (PollingActive()) {
        const std::string end = RunLine("*** Beende Polling von Befehls-Sequenz '", "' ***");
        AppendLine(OutputEditor, end);
        Log(LogEvent::PollingEnd, end);
    }
    SetEnabled(SendButton, true);
    G.polling = PollingState::Off;
}
