// The desktop-free window of the core's tests (see headless.h).
#include "headless/headless.h"

#include <algorithm>
#include <map>

#include "platform/shared/event_queue.h"
#include "platform/shared/program_actions.h"
#include "platform/shared/web_recorder.h"

namespace headless {
namespace {

using namespace std::chrono_literals;

// A test that forgets to close the window still ends: its program is closed at this time.
constexpr Millis ClockLimit = 24h;

struct Timer {
    Millis period{0};
    Millis next{0};
};

struct PlannedAction {
    Millis at{0};
    std::function<void()> action;
};

struct State {
    Millis now{0};
    std::map<int, Timer> timers;
    std::map<int, int> ticksDelivered;
    std::vector<PlannedAction> planned;   // in the order of their times
    std::function<void()> beforeEachTick;

    bool windowOpen = false;
    std::string title;
    std::vector<int> order;               // control numbers in creation order
    std::map<int, Control> controls;
    int focused = 0;
    std::optional<std::string> connectText;
    std::vector<std::string> connectShown;

    std::vector<std::optional<std::string>> answers;
    Millis dialogSpan{0};
    std::vector<SeenDialog> dialogs;

    bool audioFails = false;
    std::vector<Millis> sounds;
    std::vector<std::string> opened;
    std::vector<Millis> pauses;

    std::vector<std::optional<std::string>> fileAnswers;
    std::string clipboard;
    std::optional<Table> table;
};

State& S()
{
    static State state;
    return state;
}

// Focus changes of the field and the output are control events, as on the desktops.
bool RaisesFocusEvents(int number)
{
    const Control* control = Find(number);
    return control && (control->row.kind == ControlKind::LineEdit || control->row.kind == ControlKind::OutputEditor);
}

void MoveFocus(int to)
{
    State& s = S();
    if (to == s.focused)
        return;
    if (RaisesFocusEvents(s.focused))
        WindowEvents().Post(EventKind::Control, s.focused);
    s.focused = to;
    if (RaisesFocusEvents(to))
        WindowEvents().Post(EventKind::Control, to);
}

// Moves the clock to `until`, the timers ticking on their way (into the queue, by its rules);
// planned actions run too where `withActions`.
void Advance(Millis until, bool withActions)
{
    State& s = S();
    for (;;) {
        std::optional<Millis> next;
        for (const auto& [number, timer] : s.timers)
            if (!next || timer.next < *next)
                next = timer.next;
        if (withActions && !s.planned.empty() && (!next || s.planned.front().at < *next))
            next = s.planned.front().at;
        if (!next || *next > until)
            break;
        s.now = std::max(s.now, *next);
        for (auto& [number, timer] : s.timers)
            if (timer.next <= s.now) {
                WindowEvents().PostTick(number);
                while (timer.next <= s.now)
                    timer.next += timer.period;
            }
        while (withActions && !s.planned.empty() && s.planned.front().at <= s.now) {
            const std::function<void()> action = std::move(s.planned.front().action);
            s.planned.erase(s.planned.begin());
            action();
        }
    }
    s.now = std::max(s.now, until);
}

Event Deliver()
{
    const Event event = WindowEvents().Take();
    if (event.kind == EventKind::Timer) {
        ++S().ticksDelivered[event.number];
        if (S().beforeEachTick)
            S().beforeEachTick();
    }
    return event;
}

// A modal dialog: open for the span the test asked for, ticks falling due meanwhile dropped.
void HoldDialog(SeenDialog dialog)
{
    State& s = S();
    dialog.at = s.now;
    s.dialogs.push_back(std::move(dialog));
    const EventQueue::ModalScope modal(WindowEvents());
    Advance(s.now + s.dialogSpan, false);
}

}  // namespace

void Reset()
{
    S() = State{};
}

Millis Now()
{
    return S().now;
}

void Answer(std::optional<std::string> text)
{
    S().answers.push_back(std::move(text));
}

void DialogsTake(Millis span)
{
    S().dialogSpan = span;
}

const std::vector<SeenDialog>& Dialogs()
{
    return S().dialogs;
}

void At(Millis at, std::function<void()> action)
{
    auto& planned = S().planned;
    const auto place = std::upper_bound(planned.begin(), planned.end(), at,
                                        [](Millis time, const PlannedAction& p) { return time < p.at; });
    planned.insert(place, {at, std::move(action)});
}

void Click(int number)
{
    Control* control = Find(number);
    if (!control || !control->enabled || !S().windowOpen)
        return;
    MoveFocus(number);
    if (control->row.kind == ControlKind::Toggle) {
        control->pressed = !control->pressed;
        WindowEvents().Post(EventKind::Control, number);
    } else if (control->row.kind == ControlKind::Button) {
        WindowEvents().PostOnce(EventKind::Control, number);
    }
}

void Type(int number, std::string_view text)
{
    Control* control = Find(number);
    if (!control || !control->enabled || control->row.kind != ControlKind::LineEdit)
        return;
    MoveFocus(number);
    for (const char c : text) {
        control->text += c;
        WindowEvents().Post(EventKind::Control, number);
    }
}

void PressKey(int number, Key key)
{
    Control* control = Find(number);
    if (!control || !control->enabled || control->row.kind != ControlKind::LineEdit)
        return;
    MoveFocus(number);
    WindowEvents().PostKey(number, key);
}

void CloseWindow()
{
    WindowEvents().Post(EventKind::Close, 0);
}

Control* Find(int number)
{
    const auto found = S().controls.find(number);
    return found == S().controls.end() ? nullptr : &found->second;
}

bool MainWindowOpen()
{
    return S().windowOpen;
}

std::string MainWindowTitle()
{
    return S().title;
}

std::optional<std::string> ConnectWindowText()
{
    return S().connectText;
}

std::vector<std::string> ConnectWindowsShown()
{
    return S().connectShown;
}

int TicksDelivered(int timer)
{
    return S().ticksDelivered[timer];
}

void BeforeEachTick(std::function<void()> action)
{
    S().beforeEachTick = std::move(action);
}

void LetAudioFail(bool fail)
{
    S().audioFails = fail;
}

const std::vector<Millis>& SoundsPlayed()
{
    return S().sounds;
}

std::map<int, std::string> OutputMenuShortcuts()
{
    std::map<int, std::string> shortcuts;
    for (const MenuEntry& entry : OutputMenuEntries())
        shortcuts[entry.action] = entry.shortcut;
    return shortcuts;
}

std::map<int, std::string> OutputMenu()
{
    std::map<int, std::string> menu;
    for (const MenuEntry& entry : OutputMenuEntries())
        menu[entry.action] = entry.text;
    return menu;
}

void ChooseFromMenu(int action)
{
    WindowEvents().Post(EventKind::Action, action);
}

void AnswerFileDialog(std::optional<std::string> path)
{
    S().fileAnswers.push_back(std::move(path));
}

const std::string& Clipboard()
{
    return S().clipboard;
}

const Table* TableWindow()
{
    return S().table ? &*S().table : nullptr;
}

void ActivateRow(int row)
{
    if (S().table)
        WindowEvents().Post(EventKind::Row, row);
}

void SelectRows(std::vector<int> rows)
{
    if (S().table)
        S().table->selected = std::move(rows);
}

std::map<int, std::string> TableMenu()
{
    std::map<int, std::string> menu;
    for (const MenuEntry& entry : TableMenuEntries())
        menu[entry.action] = entry.text;
    return menu;
}

void CopyTable()
{
    if (S().table)
        WindowEvents().Post(EventKind::Action, S().table->copyAction);
}

void CloseTable()
{
    if (!S().table)
        return;
    const int closed = S().table->closedAction;
    S().table.reset();
    WindowEvents().Post(EventKind::Action, closed);
}

const std::vector<std::string>& OpenedAddresses()
{
    return S().opened;
}

const std::vector<Millis>& Pauses()
{
    return S().pauses;
}

// --- the platform's promises ---------------------------------------------------------------------

bool AudioFails()
{
    return S().audioFails;
}

void NoteSoundPlayed()
{
    S().sounds.push_back(S().now);
}

}  // namespace headless

using namespace headless;

void StartDesktop() {}

// The records stay for the test to look at; only what would run on is stopped.
void EndDesktop()
{
    State& s = S();
    s.timers.clear();
    WindowEvents().Clear();
    s.windowOpen = false;
    s.connectText.reset();
    ForgetProgramActions();
}

std::string InputDialog(std::string_view title, std::string_view prompt, std::string_view preset)
{
    HoldDialog({true, std::string(title), std::string(prompt), std::string(preset)});
    State& s = S();
    if (s.answers.empty())
        return std::string(preset);
    const std::optional<std::string> answer = s.answers.front();
    s.answers.erase(s.answers.begin());
    return answer.value_or("");
}

void MessageDialog(std::string_view title, std::string_view text)
{
    HoldDialog({false, std::string(title), std::string(text), ""});
}

void OpenConnectWindow(std::string_view, std::string_view text)
{
    S().connectText = std::string(text);
    S().connectShown.emplace_back(text);
}

void CloseConnectWindow()
{
    S().connectText.reset();
}

bool OpenMainWindow(std::string_view title, int, int, FontSpec, std::span<const ControlSpec> controls)
{
    State& s = S();
    s.windowOpen = true;
    s.title = std::string(title);
    s.controls.clear();
    s.order.clear();
    for (const ControlSpec& row : controls) {
        s.controls[row.number] = Control{row, std::string(row.text)};
        s.order.push_back(row.number);
    }
    return true;
}

void StartTimer(int number, std::chrono::milliseconds period)
{
    State& s = S();
    s.timers[number] = {period, s.now + period};
}

void StopTimer(int number)
{
    S().timers.erase(number);
}

std::chrono::steady_clock::time_point TimerClockNow()
{
    return std::chrono::steady_clock::time_point(S().now);
}

void SetMainWindowTitle(std::string_view title)
{
    S().title = std::string(title);
}

Event WaitWindowEvent(std::chrono::milliseconds limit)
{
    State& s = S();
    if (WindowEvents().Empty()) {
        const Millis deadline = s.now + limit;
        while (WindowEvents().Empty() && s.now < deadline) {
            std::optional<Millis> next;
            for (const auto& [number, timer] : s.timers)
                if (!next || timer.next < *next)
                    next = timer.next;
            if (!s.planned.empty() && (!next || s.planned.front().at < *next))
                next = s.planned.front().at;
            Advance(next ? std::min(*next, deadline) : deadline, true);
        }
        if (WindowEvents().Empty() && s.now >= ClockLimit)
            CloseWindow();
    }
    return Deliver();
}

std::string GetText(int number)
{
    const Control* control = Find(number);
    if (!control)
        return {};
    if (control->row.kind != ControlKind::OutputEditor)
        return control->text;
    std::string text;
    for (std::size_t i = 0; i < control->lines.size(); ++i)
        text += (i > 0 ? "\n" : "") + control->lines[i];
    return text;
}

void SetText(int number, std::string_view text)
{
    if (Control* control = Find(number); control && control->row.kind != ControlKind::OutputEditor)
        control->text = std::string(text);
}

void SetEnabled(int number, bool enabled)
{
    if (Control* control = Find(number))
        control->enabled = enabled;
}

bool IsEnabled(int number)
{
    const Control* control = Find(number);
    return control && control->enabled;
}

void Focus(int number)
{
    if (const Control* control = Find(number); control && control->enabled)
        MoveFocus(number);
}

int FocusedControl()
{
    return S().focused;
}

bool IsPressed(int toggle)
{
    const Control* control = Find(toggle);
    return control && control->pressed;
}

void Release(int toggle)
{
    if (Control* control = Find(toggle))
        control->pressed = false;
}

void ClearOutput(int editor)
{
    if (Control* control = Find(editor)) {
        control->lines.clear();
        control->showsFirstLine = false;
    }
}

void AppendLine(int editor, std::string_view line)
{
    if (Control* control = Find(editor)) {
        control->lines.emplace_back(line);
        control->showsFirstLine = false;
    }
}

void SetTextColour(int editor, Rgb colour)
{
    if (Control* control = Find(editor); control && control->colour != colour) {
        control->colour = colour;
        ++control->colourChanges;
    }
}

void ShowFirstLine(int editor)
{
    if (Control* control = Find(editor))
        control->showsFirstLine = true;
}

std::optional<std::string> ChooseFileToWrite(std::string_view title, std::string_view suggestedName, std::string_view)
{
    State& s = S();
    HoldDialog({true, std::string(title), "", std::string(suggestedName)});
    if (s.fileAnswers.empty())
        return std::nullopt;
    std::optional<std::string> path = s.fileAnswers.front();
    s.fileAnswers.erase(s.fileAnswers.begin());
    return path;
}

bool CopyToClipboard(std::string_view text)
{
    S().clipboard = std::string(text);
    return true;
}

void OpenTableWindow(const TableWindowSpec& shape)
{
    State& s = S();
    if (!s.table) {
        s.table.emplace();
        s.table->title = std::string(shape.title);
        s.table->headers.assign(shape.headers.begin(), shape.headers.end());
        s.table->copyAction = shape.copyAction;
        s.table->closedAction = shape.closedAction;
    }
    ++s.table->opened;
}

void CloseTableWindow()
{
    S().table.reset();
}

bool TableWindowOpen()
{
    return S().table.has_value();
}

void SetTableRows(int count)
{
    if (Table* table = S().table ? &*S().table : nullptr) {
        table->cells.resize(static_cast<std::size_t>(count), std::vector<std::string>(table->headers.size()));
        table->highlighted.resize(static_cast<std::size_t>(count));
    }
}

void SetTableCell(int row, int column, std::string_view text)
{
    if (Table* table = S().table ? &*S().table : nullptr; table && row < static_cast<int>(table->cells.size()))
        table->cells[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = std::string(text);
}

void SetTableRowHighlighted(int row, bool highlighted)
{
    if (Table* table = S().table ? &*S().table : nullptr; table && row < static_cast<int>(table->highlighted.size()))
        table->highlighted[static_cast<std::size_t>(row)] = highlighted;
}

void SetTableStatus(std::string_view text)
{
    if (S().table)
        S().table->status = std::string(text);
}

void SetTableStale(bool stale)
{
    if (S().table)
        S().table->stale = stale;
}

std::vector<int> SelectedTableRows()
{
    return S().table ? S().table->selected : std::vector<int>{};
}

void OpenWebAddress(std::string_view address)
{
    if (!RecordWebAddress(address))
        S().opened.emplace_back(address);
}

void PauseFor(std::chrono::milliseconds span)
{
    S().pauses.push_back(span);
    Advance(S().now + span, false);
}
