// Start-up in its fixed order, and the ways out of the program.
#include "app/startup.h"

#include "app/globals.h"
#include "app/load_settings.h"
#include "app/timing.h"
#include "board/connection.h"
#include "platform/audio.h"
#include "platform/net.h"
#include "platform/window.h"
#include "sound/click.h"
#include "ui/event_loop.h"
#include "ui/main_window.h"

namespace {
constexpr std::string_view BoardTitle = "Varnex-NET-IO: Meldung";
constexpr std::string_view ProblemTitle = "Varnex-NET-IO: Problem";
constexpr std::string_view NetworkFailedText = "Das Netzwerk kann nicht initialisiert werden!";
constexpr std::string_view BoardNotFoundText = "Das Varnex-NET-IO-Board kann nicht gefunden werden!";

// Releases what the program holds; the process then exits with 0 on every way out. The
// connection is closed already on both roads out of the loop, and never made on the others.
int End()
{
    EndDesktop();
    CloseAudioOutput();
    EndNetworkService();
    return 0;
}
}  // namespace

std::string ConnectText()
{
    return "Verbindungsaufbau zum Varnex-NET-IO-Board...\r\rIP/DNS: " + G.Settings.Host + "\r\rPort: "
           + std::to_string(G.Settings.TelnetPort);
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
    G.BoardConnection = OpenBoardConnection(G.Settings.Host, G.Settings.TelnetPort);
    CloseConnectWindow();
    if (!G.BoardConnection) {
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
