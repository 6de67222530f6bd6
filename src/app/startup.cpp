// Start-up in its fixed order, and the ways out of the program.
#include "app/startup.h"

#include "app/load_settings.h"
#include "board/connection.h"
#include "globals.h"
#include "platform/audio.h"
#include "platform/net.h"
#include "platform/window.h"
#include "sound/click.h"
#include "ui/board_view.h"
#include "ui/event_loop.h"
#include "ui/history.h"
#include "ui/main_window.h"
#include "ui/running_log.h"
#include "utils/timing.h"

namespace {
constexpr std::string_view BoardTitle = "Varnex-NET-IO: Meldung";
constexpr std::string_view ProblemTitle = "Varnex-NET-IO: Problem";
constexpr std::string_view NetworkFailedText = "Das Netzwerk kann nicht initialisiert werden!";
constexpr std::string_view BoardNotFoundText = "Das Varnex-NET-IO-Board kann nicht gefunden werden!";

// Releases what the program holds; the process then exits with 0 on every way out. The
// connection is closed already on both roads out of the loop, and never made on the others.
int End()
{
    EndRunningLog();
    EndDesktop();
    CloseAudioOutput();
    EndNetworkService();
    return 0;
}
std::string ConnectText()
{
    return "Verbindungsaufbau zum Varnex-NET-IO-Board...\r\rIP/DNS: " + G.Settings.Host + "\r\rPort: "
           + std::to_string(G.Settings.TelnetPort);
}
}  // namespace

void SetInitialValues()
{
    G = Globals{};
    G.ProgramVersion = "V1.0";
    Link = BoardLink{};
    G.ReferenceColour = {255, 0, 0};
    G.ReplyColour = {0, 0, 255};
    G.TitleFont = {"Arial", 11, true};
    G.IdleInterval = IdleInterval;
    G.PollInterval = PollInterval;
    G.PollingActive = false;
    G.PollCommand = "C";
    SoundAvailable = false;
    ForgetCommands();
    ForgetBoardView();
    EndRunningLog();
}

int RunProgram()
{
    SetInitialValues();
    StartDesktop();
    G.Settings = LoadSettings();
    InitClickSound();
    if (!InitNetworkService()) {
        MessageDialog(ProblemTitle, NetworkFailedText);
        return End();
    }

    OpenConnectWindow(BoardTitle, ConnectText());
    Link.BoardConnection = OpenBoardConnection(G.Settings.Host, G.Settings.TelnetPort);
    CloseConnectWindow();
    if (!Link.BoardConnection) {
        MessageDialog(ProblemTitle, BoardNotFoundText);
        return End();
    }

    // Without a window the loop still runs: it keeps the connection alive until the process is ended.
    BuildMainWindow();
    StartTimer(IdleTimer, G.IdleInterval);
    StartTimer(PollTimer, G.PollInterval);
    Focus(CommandField);

    if (RunEventLoop() == LoopEnd::WindowClosed) {
        PlayClick();
        PauseFor(CloseClickWait);
        CloseBoardConnection();
    }
    return End();
}
