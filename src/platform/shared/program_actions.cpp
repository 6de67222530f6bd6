// The program's menu entries and function keys.
#include "platform/shared/program_actions.h"

#include <algorithm>
#include <map>

#include "platform/window.h"

namespace {

struct ProgramActions {
    std::vector<MenuEntry> outputMenu;
    std::vector<MenuEntry> tableMenu;
    std::map<int, int> functionKeys;
};

ProgramActions& Actions()
{
    static ProgramActions actions;
    return actions;
}

// Set again, an entry keeps its place and takes the new text.
void SetEntry(std::vector<MenuEntry>& menu, int action, std::string_view text, std::string_view shortcut)
{
    const auto entry = std::find_if(menu.begin(), menu.end(), [action](const MenuEntry& e) { return e.action == action; });
    if (entry != menu.end())
        *entry = {action, std::string(text), std::string(shortcut)};
    else
        menu.push_back({action, std::string(text), std::string(shortcut)});
}

}  // namespace

void SetOutputMenuEntry(int action, std::string_view text, std::string_view shortcut)
{
    SetEntry(Actions().outputMenu, action, text, shortcut);
}

void SetTableMenuEntry(int action, std::string_view text)
{
    SetEntry(Actions().tableMenu, action, text, {});
}

void SetFunctionKey(int number, int action)
{
    Actions().functionKeys[number] = action;
}

const std::vector<MenuEntry>& OutputMenuEntries()
{
    return Actions().outputMenu;
}

const std::vector<MenuEntry>& TableMenuEntries()
{
    return Actions().tableMenu;
}

std::optional<int> FunctionKeyAction(int number)
{
    const auto found = Actions().functionKeys.find(number);
    return found != Actions().functionKeys.end() ? std::optional(found->second) : std::nullopt;
}

void ForgetProgramActions()
{
    Actions() = ProgramActions{};
}
