// Walking the commands sent before, in the command field.
#include "ui/history.h"

#include <string>

#include "app/globals.h"
#include "ui/main_window.h"

void RememberCommand(std::string_view command)
{
    if (!command.empty() && (G.SentCommands.empty() || G.SentCommands.back() != command)) {
        G.SentCommands.emplace_back(command);
        if (G.SentCommands.size() > CommandHistoryLimit)
            G.SentCommands.pop_front();
    }
    G.RecalledCommand = G.SentCommands.size();
    G.BegunCommand.clear();
}

void RecallCommand(Key key)
{
    const std::size_t newest = G.SentCommands.size();
    const bool walking = G.RecalledCommand < newest;
    if (key == Key::Up) {
        if (!walking) {
            G.BegunCommand = GetText(CommandField);
            G.RecalledCommand = newest;
        }
        if (G.RecalledCommand == 0)
            return;
        SetText(CommandField, G.SentCommands[--G.RecalledCommand]);
    } else if (key == Key::Down && walking) {
        ++G.RecalledCommand;
        SetText(CommandField, G.RecalledCommand == newest ? G.BegunCommand : G.SentCommands[G.RecalledCommand]);
    }
}
