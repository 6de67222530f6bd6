// The board view ("Board-Übersicht"): the board's entries in a table window of their own, named
// and live, one row an entry in the board's order, an output switched by activating its row. The
// board describes itself (Q, N, S, P), so nothing needs setting up. The view reads through the
// one link, a few exchanges at a time on a timer of its own between the program's exchanges:
// everything once it opens, and the states of every page that has entries once a second.
#pragma once

// Opens the view, or brings it to the front when it is open.
void OpenBoardView();
// The user closed the view: its reads stop.
void CloseBoardView();
bool BoardViewOpen();

// On every BoardViewTimer tick: the reads that are due, and highlights that have had their time.
void OnBoardViewTimer();
// A row activated: an output is switched with T; an input cannot be.
void SwitchBoardViewRow(int row);
// The table as tab-separated text with a header row, onto the clipboard.
void CopyBoardView();
// The view as the program starts: closed, nothing read.
void ForgetBoardView();
// The link was lost, or is back (everything is read anew: the board may have restarted).
void BoardViewLinkChanged(bool up);
