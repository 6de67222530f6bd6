// The program's menu entries and function keys.
#include "platform/program_commands.h"

#include <algorithm>
#include <map>

#include "platform/window.h"

namespace {

struct ProgramCommands {
    std::vector<OutputMenuEntry> menu;
    std::map<int, int> functionKeys;
};

ProgramCommands& Commands()
{
    static ProgramCommands commands;
    return commands;
}

}  // namespace

void SetOutputMenuEntry(int command, std::string_view text)
{
    auto& menu = Commands().menu;
    const auto entry = std::find_if(menu.begin(), menu.end(), [command](const OutputMenuEntry& e) { return e.command == command; });
    if (entry != menu.end())
        entry->text = text;
    else
        menu.push_back({command, std::string(text)});
}

void SetFunctionKey(int number, int command)
{
    Commands().functionKeys[number] = command;
}

const std::vector<OutputMenuEntry>& OutputMenuEntries()
{
    return Commands().menu;
}

std::optional<int> FunctionKeyCommand(int number)
{
    const auto found = Commands().functionKeys.find(number);
    return found != Commands().functionKeys.end() ? std::optional(found->second) : std::nullopt;
}

void ForgetProgramCommands()
{
    Commands() = ProgramCommands{};
}
