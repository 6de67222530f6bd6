// The program's menu entries and function keys.
#include "platform/shared/program_actions.h"

#include <algorithm>
#include <map>

#include "platform/window.h"

namespace {

struct ProgramMenuItems {
    std::vector<OutputMenuEntry> menu;
    std::map<int, int> functionKeys;
};

ProgramMenuItems& Actions()
{
    static ProgramMenuItems actions;
    return actions;
}

}  // namespace

void SetOutputMenuEntry(int action, std::string_view text)
{
    auto& menu = Actions().menu;
    const auto entry = std::find_if(menu.begin(), menu.end(), [action](const OutputMenuEntry& e) { return e.action == action; });
    if (entry != menu.end())
        entry->text = text;
    else
        menu.push_back({action, std::string(text)});
}

void SetFunctionKey(int number, int action)
{
    Actions().functionKeys[number] = action;
}

const std::vector<OutputMenuEntry>& OutputMenuEntries()
{
    return Actions().menu;
}

std::optional<int> FunctionKeyAction(int number)
{
    const auto found = Actions().functionKeys.find(number);
    return found != Actions().functionKeys.end() ? std::optional(found->second) : std::nullopt;
}

void ForgetProgramActions()
{
    Actions() = ProgramMenuItems{};
}
