// Walking the commands sent before, in the command field.
#include "ui/history.h"

#include <deque>
#include <string>

#include "ui/main_window.h"

namespace {

struct CommandHistory {
    std::deque<std::string> sent;   // sent with SendButton, oldest first
    std::size_t recalled = 0;       // shown in the field by Up and Down; sent.size(): none
    std::string begun;              // the field's text before the first Up
};

CommandHistory History;

}  // namespace

void RememberCommand(std::string_view command)
{
    if (!command.empty() && (History.sent.empty() || History.sent.back() != command)) {
        History.sent.emplace_back(command);
        if (History.sent.size() > CommandHistoryLimit)
            History.sent.pop_front();
    }
    History.recalled = History.sent.size();
    History.begun.clear();
}

void RecallCommand(Key key)
{
    const std::size_t newest = History.sent.size();
    const bool walking = History.recalled < newest;
    if (key == Key::Up) {
        if (!walking) {
            History.begun = GetText(CommandField);
            History.recalled = newest;
        }
        if (History.recalled == 0)
            return;
        SetText(CommandField, History.sent[--History.recalled]);
    } else if (key == Key::Down && walking) {
        ++History.recalled;
        SetText(CommandField, History.recalled == newest ? History.begun : History.sent[History.recalled]);
    }
}

void ForgetCommands()
{
    History = CommandHistory{};
}
