// The main window's controls as data, and building the window from them.
#include "ui/main_window.h"

#include "board/connection.h"
#include "ui/running_log.h"

const std::array<ControlSpec, 10> MainWindowControls = {{
    {TitleText, ControlKind::TitleText, 10, 10, 400, 20,
     "Konsole für direkte Befehle an das Varnex-NET-IO-Board", ""},
    {CommandField, ControlKind::LineEdit, 10, 40, 200, 20, "",
     "Konsolenbefehl hier eingeben und anschließend 'Befehl Senden' anklicken", "Befehlszeile"},
    {SendButton, ControlKind::Button, 220, 40, 90, 20, "Befehl Senden", "Konsolenbefehl absenden"},
    {ReferenceButton, ControlKind::Button, 320, 40, 90, 20, "Befehlsübersicht",
     "Übersicht der möglichen Konsolen-Befehle"},
    {OutputEditor, ControlKind::OutputEditor, 10, 70, 400, 200, "",
     "Hier erscheinen Ihre Konsolenbefehle mit entsprechenden Rückmeldungen des Varnex-NET-IO", "Ausgabe"},
    {FirmwareSiteButton, ControlKind::Button, 230, 310, 180, 20, "Varnex-Homepage", "Zu Varnex (Varnex-NET-IO)"},
    {AuthorSiteButton, ControlKind::Button, 230, 280, 180, 20, "Brannholt-Homepage", "Zu Brannholt (Skarvel)"},
    {BoardWebButton, ControlKind::Button, 10, 280, 180, 20, "Varnex-Board via HTTP",
     "per HTTP-Zugriff auf das Varnex-NET-IO-Board"},
    {CountQueryButton, ControlKind::Button, 10, 310, 180, 20, "'Q'=Anzahl der Einträge abfragen",
     "Varnex: Ausführung von Q-Befehl"},
    {PollingToggle, ControlKind::Toggle, 10, 340, 180, 20, "Polling-Modus",
     "Varnex: permanente, zyklische Datenabfrage eines bestimmten Befehls"},
}};

namespace {
constexpr std::string_view PasswordWantedLine = "*** Das Board verlangt ein Kennwort: K und das Kennwort senden ***";
bool PasswordWantedTold = false;
}  // namespace

std::string MainWindowTitle()
{
    return "Varnex-NET-IO-TerminalEmulation " + std::string(ProgramVersion) + (LinkLost() ? " (keine Verbindung)" : "")
           + (RunningLogActive() ? " – Mitschnitt" : RunningLogFailed() ? " (Mitschnitt beendet)" : "");
}

void ShowRunningLogMenuEntry()
{
    if (!RunningLogActive()) {
        SetOutputMenuEntry(RunningLogAction, StartLogMenuText);
        return;
    }
    const std::u8string name = RunningLogFile().filename().u8string();
    SetOutputMenuEntry(RunningLogAction, std::string(EndLogMenuText) + " (" + std::string(name.begin(), name.end()) + ")");
}

void TellOfAPasswordWanted(std::string_view command, std::string_view reply)
{
    if (reply != "K:0" || command.starts_with('K') || PasswordWantedTold)
        return;
    PasswordWantedTold = true;
    AppendLine(OutputEditor, PasswordWantedLine);
}

void ForgetPasswordWantedTold()
{
    PasswordWantedTold = false;
}

bool BuildMainWindow()
{
    if (!OpenMainWindow(MainWindowTitle(), MainWindowWidth, MainWindowHeight, TitleFont, MainWindowControls))
        return false;
    SetOutputMenuEntry(RunningLogAction, StartLogMenuText);
    SetOutputMenuEntry(OverviewAction, OverviewMenuText, OverviewKey);
    SetOutputMenuEntry(ReconnectNowAction, ReconnectNowMenuText);
    SetFunctionKey(2, OverviewAction);
    return true;
}
