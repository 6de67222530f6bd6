// The main window: its fixed control and timer numbers, and the table it is built from.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "platform/window.h"

// Control numbers; the event loop tells events apart by them.
inline constexpr int TitleText = 2;
inline constexpr int SendButton = 3;
inline constexpr int ReferenceButton = 4;
inline constexpr int FirmwareSiteButton = 5;
inline constexpr int AuthorSiteButton = 6;
inline constexpr int CountQueryButton = 7;
inline constexpr int BoardWebButton = 8;
inline constexpr int PollingToggle = 9;
inline constexpr int CommandField = 10;
inline constexpr int OutputEditor = 11;

// Timer numbers. ReconnectTimer runs only while the link to the board is lost, OverviewTimer only
// while the overview is open.
inline constexpr int IdleTimer = 1;
inline constexpr int PollTimer = 2;
inline constexpr int ReconnectTimer = 3;
inline constexpr int OverviewTimer = 4;

// Command numbers: the output's menu entries and F2, the overview's requests.
inline constexpr int RunningLogAction = 101;
inline constexpr int OverviewAction = 102;
inline constexpr int CopyOverviewAction = 103;
inline constexpr int OverviewClosedAction = 104;

inline constexpr std::string_view StartLogMenuText = "Mitschnitt starten …";
inline constexpr std::string_view EndLogMenuText = "Mitschnitt beenden";
inline constexpr std::string_view OverviewMenuText = "Board-Übersicht …";

inline constexpr int MainWindowWidth = 420;
inline constexpr int MainWindowHeight = 370;

// The program's version, shown in the title: the one the build is made as.
inline constexpr std::string_view ProgramVersion = "V" SKARVEL_VERSION;
inline constexpr Rgb ReplyColour = {0, 0, 255};           // commands and replies
inline constexpr FontSpec TitleFont = {"Arial", 11, true};  // the main window's heading

// In creation order, which is also the keyboard order.
extern const std::array<ControlSpec, 10> MainWindowControls;

// Opens the window with its controls, the output's menu entries and F2; false when it could not
// be created.
bool BuildMainWindow();

// The window's title: the program and its version, whether the board is out of reach, and whether
// the running log ended on its own.
std::string MainWindowTitle();
