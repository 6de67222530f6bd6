// The program-wide values and their start-up state.
#include "app/globals.h"

#include "app/timing.h"

Globals G;

void SetInitialValues()
{
    G = Globals{};
    G.ProgramVersion = "V1.0";
    G.ReceiveBuffer.fill(0);
    G.ReferenceColour = {255, 0, 0};
    G.ReplyColour = {0, 0, 255};
    G.TitleFont = {"Arial", 11, true};
    G.IdleInterval = IdleInterval;
    G.IdleCommand = "x";
    G.CommandTerminator = "\r";
    G.PollInterval = PollInterval;
    G.PollingActive = false;
    G.PollCommand = "C";
    G.SoundAvailable = false;

    G.ConnectLimit = ConnectTimeLimit;
    G.ReplyLimit = ReplyWaitLimit;
    G.IdleReplyLimit = IdleReplyWaitLimit;
}
