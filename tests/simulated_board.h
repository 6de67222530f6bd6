// The simulated board on loopback with the program's settings and its one connection pointed at
// it: where the tests of the link and of the main window, on any desktop, start from.
#pragma once

#include <memory>
#include <string>

#include "app/startup.h"
#include "board/connection.h"
#include "globals.h"
#include "netio_sim.h"
#include "platform/window.h"
#include "ui/main_window.h"

// Starts a simulator that keeps what it received and connects the program to it; none when either
// fails.
inline std::unique_ptr<netio::Simulator> ConnectToSimulatedBoard(netio::SimOptions options = {})
{
    options.port = 0;
    options.keepHistory = true;
    auto sim = std::make_unique<netio::Simulator>(options);
    if (!sim->Start())
        return nullptr;
    G.settings = {"127.0.0.1", std::to_string(sim->Port()), sim->Port(), "8080"};
    Link.BoardConnection = OpenBoardConnection(G.settings.Host, G.settings.TelnetPort);
    return Link.BoardConnection ? std::move(sim) : nullptr;
}

// The program at its start-up state, its main window open against a simulated board and the focus
// in the command field, as the start-up leaves it; none when any of it fails.
inline std::unique_ptr<netio::Simulator> OpenMainWindowOnSimulatedBoard()
{
    SetInitialValues();
    StartDesktop();
    InitNetworkService();
    auto sim = ConnectToSimulatedBoard();
    if (!sim || !BuildMainWindow())
        return nullptr;
    Focus(CommandField);
    return sim;
}
