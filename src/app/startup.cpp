// Start-up in its fixed order, and the ways out of the program.
#include "app/startup.h"

#include "app/load_settings.h"
#include "board/connection.h"
#include "globals.h"
#include "platform/audio.h"
#include "platform/net.h"
#include "platform/window.h"
#include "sound/click.h"
#include "ui/overview.h"
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
    CloseAudio();
    EndNetworkService();
    return 0;
}
std::string ConnectText()
{
    return "Verbindungsaufbau zum Varnex-NET-IO-Board...\r\rIP/DNS: " + G.settings.Host + "\r\rPort: "
           + std::to_string(G.settings.TelnetPort);
}
}  // namespace

void SetInitialValues()
{
    G = Globals{};
    Link = BoardLink{};
    SoundAvailable = false;
    ForgetCommands();
    ForgetOverview();
    EndRunningLog();
}

int RunProgram()
{
    SetInitialValues();
    StartDesktop();
    G.settings = LoadSettings();
    InitClickSound();
    if (!InitNetworkService()) {
        MessageDialog(ProblemTitle, NetworkFailedText);
        return End();
    }

    OpenConnectWindow(BoardTitle, ConnectText());
    Link.BoardConnection = OpenBoardConnection(G.settings.Host, G.settings.TelnetPort);
    CloseConnectWindow();
    if (!LinkIsUp()) {
        MessageDialog(ProblemTitle, BoardNotFoundText);
        return End();
    }

    // Without a window the loop still runs: it keeps the connection alive until the process is ended.
    BuildMainWindow();
    StartTimer(IdleTimer, IdleInterval);
    StartTimer(PollTimer, PollInterval);
    Focus(CommandField);

    if (RunEventLoop() == LoopEnd::WindowClosed) {
        PlayClick();
        PauseFor(CloseClickWait);
        CloseBoardConnection();
    }
    return End();
}
