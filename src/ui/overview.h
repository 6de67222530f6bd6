// The overview ("Board-Übersicht"): the board's entries in a table window of their own, named
// and live, one row an entry in the board's order, an output switched by activating its row. The
// board describes itself (Q, N, S, P), so nothing needs setting up. The overview reads through the
// one link, a few exchanges at a time on a timer of its own between the program's exchanges:
// everything once it opens, and the states of every page that has entries once a second.
#pragma once

// Opens the overview, or brings it to the front when it is open.
void OpenOverview();
// The user closed the overview: its reads stop.
void CloseOverview();
bool OverviewOpen();

// On every OverviewTimer tick: the reads that are due, and highlights that have had their time.
void OnOverviewTimer();
// A row activated: an output is switched with T; an input cannot be.
void SwitchOverviewRow(int row);
// The table as tab-separated text with a header row, onto the clipboard.
void CopyOverview();
// The overview as the program starts: closed, nothing read.
void ForgetOverview();
// The link was lost, or is back (everything is read anew: the board may have restarted).
void OverviewLinkChanged(bool up);
