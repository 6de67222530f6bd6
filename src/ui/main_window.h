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

// Action numbers: the output's and the overview's menu entries and F2, the overview's requests.
inline constexpr int RunningLogAction = 101;
inline constexpr int OverviewAction = 102;
inline constexpr int CopyOverviewAction = 103;
inline constexpr int OverviewClosedAction = 104;
inline constexpr int ReconnectNowAction = 105;

inline constexpr std::string_view StartLogMenuText = "Mitschnitt starten …";
inline constexpr std::string_view EndLogMenuText = "Mitschnitt beenden";
inline constexpr std::string_view OverviewMenuText = "Board-Übersicht …";
inline constexpr std::string_view OverviewKey = "F2";
inline constexpr std::string_view ReconnectNowMenuText = "Jetzt verbinden";

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
// the running log runs, or ended on its own.
std::string MainWindowTitle();

// The running log's entry in the output's menu, naming the file while the log runs.
void ShowRunningLogMenuEntry();

// A reply K:0 to a message that was no password: said once, until the link is made anew, what the
// board wants.
void TellOfAPasswordWanted(std::string_view command, std::string_view reply);
void ForgetPasswordWantedTold();
