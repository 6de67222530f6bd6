// The Win32 front end through its real windows under Wine, on a display of tests/e2e/wine_desktop.sh,
// which runs it at 96, 144 and 192 dpi: the layout at the screen's dpi and after a change of dpi,
// what a screen reader calls each control, and the output editor (its view following the newest
// line, selection and copying with mouse, keys and its context menu, its colours, tab stops and
// unwrapped lines, what a screen reader reads of it).
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>
#include <oleacc.h>
#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "globals.h"
#include "app/startup.h"
#include "platform/shared/layout.h"
#include "platform/window.h"
#include "ui/main_window.h"

using namespace std::chrono_literals;

namespace {

constexpr Rgb Blue{0, 0, 255};
constexpr Rgb Red{255, 0, 0};

// Lets the windows handle and paint what is waiting.
void Settle()
{
    for (int round = 0; round < 5; ++round)
        WaitWindowEvent(10ms);
}

HWND MainWindow()
{
    return FindWindowW(L"SkarvelMainWindow", nullptr);
}

HWND Handle(int control)
{
    return GetDlgItem(MainWindow(), control);
}

// What a screen reader gets through Active Accessibility.
struct Accessible {
    std::wstring name;
    long role = 0;
    long state = 0;
    std::wstring value;
};

std::wstring TakeString(BSTR text)
{
    std::wstring taken = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
    SysFreeString(text);
    return taken;
}

Accessible ReadAccessible(HWND window)
{
    Accessible read;
    IAccessible* object = nullptr;
    if (FAILED(AccessibleObjectFromWindow(window, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&object)))
        || !object) {
        ADD_FAILURE() << "no accessible object";
        return read;
    }
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR text = nullptr;
    if (object->get_accName(self, &text) == S_OK)
        read.name = TakeString(text);
    text = nullptr;
    if (object->get_accValue(self, &text) == S_OK)
        read.value = TakeString(text);
    VARIANT answer{};
    if (object->get_accRole(self, &answer) == S_OK && answer.vt == VT_I4)
        read.role = answer.lVal;
    VARIANT state{};
    if (object->get_accState(self, &state) == S_OK && state.vt == VT_I4)
        read.state = state.lVal;
    object->Release();
    return read;
}

// The lines in sight, as a screen reader reads them.
std::vector<std::wstring> ShownLines()
{
    const std::wstring value = ReadAccessible(Handle(OutputEditor)).value;
    std::vector<std::wstring> lines;
    if (value.empty())
        return lines;
    std::size_t start = 0;
    for (std::size_t end; (end = value.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
        lines.push_back(value.substr(start, end - start));
    lines.push_back(value.substr(start));
    return lines;
}

std::wstring ClipboardText()
{
    std::wstring text;
    if (!OpenClipboard(nullptr))
        return L"(clipboard busy)";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = chars;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

void EmptyTheClipboard()
{
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        CloseClipboard();
    }
}

// A key pressed on the output, with Ctrl and Shift held as asked.
void Key(WPARAM key, bool control = false, bool shift = false)
{
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    BYTE held[256];
    std::copy(std::begin(keys), std::end(keys), held);
    held[VK_CONTROL] = control ? 0x80 : 0;
    held[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(held);
    SendMessageW(Handle(OutputEditor), WM_KEYDOWN, key, 1);
    SetKeyboardState(keys);
}

struct Metrics {
    int lineHeight = 0;
    int margin = 0;   // above the first line, about
};

Metrics OutputMetrics()
{
    HWND output = Handle(OutputEditor);
    HDC context = GetDC(output);
    const HGDIOBJ previous =
        SelectObject(context, reinterpret_cast<HFONT>(SendMessageW(output, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(context, &metrics);
    SelectObject(context, previous);
    ReleaseDC(output, context);
    const int dpi = static_cast<int>(GetDpiForWindow(output));
    return {metrics.tmHeight, MulDiv(4, dpi, 96)};
}

// The middle of a row of the output, x pixels from its left.
LPARAM RowPoint(int row, int x)
{
    const Metrics metrics = OutputMetrics();
    return MAKELPARAM(x, metrics.margin + row * metrics.lineHeight + metrics.lineHeight / 2);
}

void Mouse(UINT message, LPARAM at)
{
    SendMessageW(Handle(OutputEditor), message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, at);
}

// While the context menu is open: what it offers, and the choice of one of its items by keys.
struct MenuVisit {
    std::vector<std::wstring> items;
    std::vector<bool> greyed;
    RECT place{};
    int choose = -1;   // the item to choose; -1: close it
    int steps = 0;
};

MenuVisit* Visit = nullptr;

// Reads the menu once, then moves its highlight down a step a tick until the item to choose has
// it, and chooses it with Enter.
void CALLBACK LookAtMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND menuWindow = FindWindowW(L"#32768", nullptr);
    if (!menuWindow || !Visit)
        return;
    const auto menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
    if (Visit->items.empty()) {
        GetWindowRect(menuWindow, &Visit->place);
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            wchar_t text[100] = {};
            GetMenuStringW(menu, static_cast<UINT>(i), text, 100, MF_BYPOSITION);
            Visit->items.push_back(text);
            Visit->greyed.push_back((GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_GRAYED) != 0);
        }
    }
    if (Visit->choose < 0 || ++Visit->steps > 20) {
        KillTimer(nullptr, timer);
        EndMenu();
        return;
    }
    if (GetMenuState(menu, static_cast<UINT>(Visit->choose), MF_BYPOSITION) & MF_HILITE) {
        KillTimer(nullptr, timer);
        PostMessageW(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
        return;
    }
    PostMessageW(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
}

MenuVisit OpenContextMenu(int choose)
{
    MenuVisit visit;
    visit.choose = choose;
    Visit = &visit;
    SetTimer(nullptr, 0, 50, LookAtMenu);
    // As from the keyboard (Shift+F10): the menu returns when an item is chosen or it is closed.
    SendMessageW(Handle(OutputEditor), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Handle(OutputEditor)), -1);
    Visit = nullptr;
    return visit;
}

SIZE ClientSizeOf(HWND window)
{
    RECT client{};
    GetClientRect(window, &client);
    return {client.right, client.bottom};
}

// Text drawn smoothly leaves shades between its colour and the white: a pixel counts as ink of a
// pure red or blue when that colour's channel stands out of it clearly.
bool InkOf(COLORREF pixel, Rgb colour)
{
    const int red = GetRValue(pixel), green = GetGValue(pixel), blue = GetBValue(pixel);
    return colour.blue ? blue - std::max(red, green) > 60 : red - std::max(green, blue) > 60;
}

// Where ink of that colour stands in rows [fromY, toY) of the output, inside its edge.
struct Ink {
    int firstX = -1;   // the leftmost column holding some
    int pixels = 0;
};

Ink FindInk(int fromY, int toY, Rgb colour)
{
    HWND output = Handle(OutputEditor);
    Settle();
    const SIZE client = ClientSizeOf(output);
    HDC context = GetDC(output);
    Ink found;
    for (int y = fromY; y < toY && y < client.cy - 2; ++y)
        for (int x = 2; x < client.cx - 2; ++x)
            if (InkOf(GetPixel(context, x, y), colour)) {
                ++found.pixels;
                if (found.firstX < 0 || x < found.firstX)
                    found.firstX = x;
            }
    ReleaseDC(output, context);
    return found;
}

COLORREF PixelOf(int x, int y)
{
    HDC context = GetDC(Handle(OutputEditor));
    const COLORREF pixel = GetPixel(context, x, y);
    ReleaseDC(Handle(OutputEditor), context);
    return pixel;
}

// Which columns of a row of the output hold blue ink, from its left edge: '#' or '.' each.
std::string InkColumns(HDC context, int top, int height)
{
    std::string columns(static_cast<std::size_t>(ClientSizeOf(Handle(OutputEditor)).cx - 2), '.');
    for (int x = 0; x < static_cast<int>(columns.size()); ++x)
        for (int y = top; y < top + height; ++y)
            if (InkOf(GetPixel(context, x, y), Blue))
                columns[static_cast<std::size_t>(x)] = '#';
    return columns.substr(0, columns.find_last_of('#') + 1);
}

// --- layout ------------------------------------------------------------------------------------

std::wstring Wide(std::string_view text)
{
    std::wstring wide(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                                    nullptr, 0)),
                      L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        static_cast<int>(wide.size()));
    return wide;
}

bool UnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// The dpi the scenario gave the screen; 0 when it gave none.
int GivenDpi()
{
    const char* given = std::getenv("SKARVEL_TEST_DPI");
    return given ? std::atoi(given) : 0;
}

// A length of the layout, at 96 dpi, on a screen of `dpi`.
int At(int length, int dpi)
{
    return MulDiv(length, dpi, 96);
}

// A child's rectangle in its parent's client area.
RECT PlaceOf(HWND child)
{
    RECT place{};
    GetWindowRect(child, &place);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

// The box of the layout, at 96 dpi, on a screen of `dpi`; a pixel either way is the rounding's.
void ExpectPlace(HWND child, int left, int top, int width, int height, int dpi, const std::string& what)
{
    const RECT place = PlaceOf(child);
    const RECT wanted{At(left, dpi), At(top, dpi), At(left + width, dpi), At(top + height, dpi)};
    EXPECT_NEAR(place.left, wanted.left, 1) << what;
    EXPECT_NEAR(place.top, wanted.top, 1) << what;
    EXPECT_NEAR(place.right, wanted.right, 1) << what;
    EXPECT_NEAR(place.bottom, wanted.bottom, 1) << what;
}

void ExpectClientSize(HWND window, int width, int height, int dpi, const std::string& what)
{
    const SIZE client = ClientSizeOf(window);
    EXPECT_NEAR(client.cx, At(width, dpi), 1) << what;
    EXPECT_NEAR(client.cy, At(height, dpi), 1) << what;
}

LOGFONTW FontOf(HWND window)
{
    LOGFONTW shape{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof shape, &shape);
    return shape;
}

// The character height, in pixels, of a font of `points` on a screen of `dpi`.
int FontHeight(int points, int dpi)
{
    return -MulDiv(points, dpi, 72);
}

// How far a button's text stays from its left and right edges: its darkest pixels, inside the
// rows its frame does not reach, against the width of the button.
std::pair<int, int> TextMargins(HWND button)
{
    const SIZE size = ClientSizeOf(button);
    HDC context = GetDC(button);
    const int inset = size.cy / 4;
    int first = -1, last = -1;
    for (int x = 0; x < size.cx; ++x)
        for (int y = inset; y < size.cy - inset; ++y) {
            const COLORREF pixel = GetPixel(context, x, y);
            if (GetRValue(pixel) + GetGValue(pixel) + GetBValue(pixel) < 3 * 100) {
                first = first < 0 ? x : first;
                last = x;
            }
        }
    ReleaseDC(button, context);
    return {first, size.cx - 1 - last};
}

// Every control where the table puts it, at `dpi`, and in the fonts of that dpi: the title at
// its full size, the others at the desktop's GUI font's.
void ExpectControlsAt(int dpi)
{
    const int guiHeight = FontHeight(GuiFontPoints, dpi);
    for (const ControlSpec& row : MainWindowControls) {
        const std::string what = "control " + std::to_string(row.number) + " at " + std::to_string(dpi) + " dpi";
        ExpectPlace(Handle(row.number), row.left, row.top, row.width, row.height, dpi, what);
        const LOGFONTW font = FontOf(Handle(row.number));
        if (row.kind == ControlKind::TitleText) {
            EXPECT_EQ(font.lfHeight, FontHeight(TitleFont.points, dpi)) << what << ": shrunk";
            EXPECT_EQ(std::wstring(font.lfFaceName), Wide(TitleFont.face)) << what;
            EXPECT_GE(font.lfWeight, FW_BOLD) << what;
        } else {
            EXPECT_EQ(font.lfHeight, guiHeight) << what;
        }
        if (row.kind == ControlKind::Button || row.kind == ControlKind::Toggle) {
            // The frame's 2 pixels and a clear pixel at least: no text touching its button.
            const auto [left, right] = TextMargins(Handle(row.number));
            EXPECT_GE(std::min(left, right), At(3, dpi)) << what << ": its text touches its edges";
        }
    }
}

// The input dialog's layout as it stands while the program waits in it.
struct InputDialogLayout {
    SIZE outer{};
    int dpi = 0;
    RECT prompt{}, field{}, ok{};
    std::wstring fieldName;   // what a screen reader calls its field
};

InputDialogLayout* Seen = nullptr;

void CALLBACK LookAtDialog(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = FindWindowW(L"SkarvelInputDialog", nullptr);
    if (!dialog || !IsWindowVisible(dialog) || !Seen)
        return;
    KillTimer(nullptr, timer);
    RECT outer{};
    GetWindowRect(dialog, &outer);
    Seen->outer = {outer.right - outer.left, outer.bottom - outer.top};
    Seen->dpi = static_cast<int>(GetDpiForWindow(dialog));
    HWND field = GetDlgItem(dialog, 100);
    Seen->prompt = PlaceOf(GetWindow(field, GW_HWNDPREV));
    Seen->field = PlaceOf(field);
    Seen->ok = PlaceOf(GetDlgItem(dialog, IDOK));
    IAccessible* object = nullptr;
    if (SUCCEEDED(AccessibleObjectFromWindow(field, OBJID_CLIENT, __uuidof(IAccessible),
                                             reinterpret_cast<void**>(&object)))) {
        VARIANT self{};
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        BSTR name = nullptr;
        if (object->get_accName(self, &name) == S_OK)
            Seen->fieldName = TakeString(name);
        object->Release();
    }
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

void ExpectBox(const RECT& place, Box box, int dpi, const std::string& what)
{
    EXPECT_NEAR(place.left, At(box.left, dpi), 1) << what;
    EXPECT_NEAR(place.top, At(box.top, dpi), 1) << what;
    EXPECT_NEAR(place.right, At(box.left + box.width, dpi), 1) << what;
    EXPECT_NEAR(place.bottom, At(box.top + box.height, dpi), 1) << what;
}

class WindowsDesktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        StartDesktop();
        SetInitialValues();
        ASSERT_TRUE(BuildMainWindow());
        Settle();
    }
    void TearDown() override { EndDesktop(); }
};

TEST_F(WindowsDesktop, EveryWindowIsLaidOutAtTheScreensDpi)
{
    const int dpi = static_cast<int>(GetDpiForWindow(MainWindow()));
    if (GivenDpi() != 0) {
        EXPECT_EQ(dpi, GivenDpi()) << "the screen's dpi";
    }
    ExpectClientSize(MainWindow(), MainWindowWidth, MainWindowHeight, dpi, "main window");
    ExpectControlsAt(dpi);

    OpenConnectWindow("Varnex-NET-IO: Meldung", "Verbinde ...");
    HWND connecting = FindWindowW(L"SkarvelConnectWindow", nullptr);
    ASSERT_NE(connecting, nullptr);
    ExpectClientSize(connecting, ConnectWindowWidth, ConnectWindowHeight, dpi, "connect window");
    const HWND text = GetWindow(connecting, GW_CHILD);
    ExpectBox(PlaceOf(text), ConnectWindowText, dpi, "connect window's text");
    EXPECT_EQ(FontOf(text).lfHeight, FontHeight(GuiFontPoints, dpi)) << "the connect window's font";
    CloseConnectWindow();

    InputDialogLayout seen;
    Seen = &seen;
    SetTimer(nullptr, 0, 50, LookAtDialog);
    EXPECT_EQ(InputDialog("Skarvel: Meldung", "Polling-Befehl eingeben!", "C"), "C");
    Seen = nullptr;
    EXPECT_EQ(seen.dpi, dpi);
    EXPECT_NEAR(seen.outer.cx, At(InputDialogWidth, dpi), 1);
    EXPECT_NEAR(seen.outer.cy, At(InputDialogHeight, dpi), 1);
    ExpectBox(seen.prompt, InputDialogPrompt, dpi, "the question's prompt");
    ExpectBox(seen.field, InputDialogField, dpi, "the question's field");
    ExpectBox(seen.ok, InputDialogOkButton, dpi, "the question's button");
    EXPECT_EQ(seen.fieldName, L"Polling-Befehl eingeben!");

    // Every tooltip's bubble holds its whole text, measured in the font the tip draws it in.
    HWND tips = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), [](HWND window, LPARAM found) {
        wchar_t name[64] = L"";
        GetClassNameW(window, name, 64);
        if (std::wstring(name) == L"tooltips_class32" && GetWindow(window, GW_OWNER) == MainWindow())
            *reinterpret_cast<HWND*>(found) = window;
        return TRUE;
    }, reinterpret_cast<LPARAM>(&tips));
    ASSERT_NE(tips, nullptr);
    const int tools = static_cast<int>(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0));
    EXPECT_GE(tools, 9);
    HDC context = GetDC(tips);
    const HGDIOBJ previous = SelectObject(context, reinterpret_cast<HFONT>(SendMessageW(tips, WM_GETFONT, 0, 0)));
    for (const ControlSpec& row : MainWindowControls) {
        if (row.tooltip.empty())
            continue;
        const std::wstring text = Wide(row.tooltip);
        SIZE needed{};
        GetTextExtentPoint32W(context, text.c_str(), static_cast<int>(text.size()), &needed);
        // Shown as the pointer rests on the control.
        RECT place{};
        GetWindowRect(Handle(row.number), &place);
        SetForegroundWindow(MainWindow());
        SetCursorPos((place.left + place.right) / 2 - 1, (place.top + place.bottom) / 2);
        SetCursorPos((place.left + place.right) / 2, (place.top + place.bottom) / 2);
        const int delay = static_cast<int>(SendMessageW(tips, TTM_GETDELAYTIME, TTDT_INITIAL, 0));
        for (int waited = 0; waited < delay + 1500 && !IsWindowVisible(tips); waited += 50)
            WaitWindowEvent(50ms);
        RECT tip{};
        GetClientRect(tips, &tip);
        EXPECT_TRUE(IsWindowVisible(tips)) << "no tip for control " << row.number;
        EXPECT_GE(tip.right - tip.left, needed.cx) << "control " << row.number << "'s tip cut short at " << dpi << " dpi";
        SendMessageW(tips, TTM_POP, 0, 0);
    }
    SelectObject(context, previous);
    ReleaseDC(tips, context);
}

TEST_F(WindowsDesktop, ADpiChangeLaysTheWindowOutAgainAndTheOutputKeepsItsLines)
{
    for (int i = 0; i < 30; ++i)
        AppendLine(OutputEditor, "Zeile " + std::to_string(i));
    Settle();
    const std::string lines = GetText(OutputEditor);
    const int dpi = static_cast<int>(GetDpiForWindow(MainWindow()));
    for (const int changed : {dpi == 144 ? 192 : 144, dpi}) {
        // As Windows sends it: the new dpi, and a rectangle of the size the window needs there.
        RECT suggested{};
        GetWindowRect(MainWindow(), &suggested);
        RECT outer{0, 0, At(MainWindowWidth, changed), At(MainWindowHeight, changed)};
        AdjustWindowRectExForDpi(&outer, static_cast<DWORD>(GetWindowLongPtrW(MainWindow(), GWL_STYLE)), FALSE,
                                 static_cast<DWORD>(GetWindowLongPtrW(MainWindow(), GWL_EXSTYLE)),
                                 static_cast<UINT>(changed));
        suggested.right = suggested.left + outer.right - outer.left;
        suggested.bottom = suggested.top + outer.bottom - outer.top;
        SendMessageW(MainWindow(), WM_DPICHANGED, MAKEWPARAM(changed, changed), reinterpret_cast<LPARAM>(&suggested));
        Settle();
        RECT taken{};
        GetWindowRect(MainWindow(), &taken);
        EXPECT_TRUE(EqualRect(&taken, &suggested)) << "the suggested rectangle, at " << changed << " dpi";
        // Under Wine the frame keeps the system's size, so that the client area is what the
        // rectangle leaves inside that frame; on Windows the frame is the new dpi's.
        if (!UnderWine())
            ExpectClientSize(MainWindow(), MainWindowWidth, MainWindowHeight, changed, "main window");
        ExpectControlsAt(changed);
        EXPECT_EQ(GetText(OutputEditor), lines);
        const std::vector<std::wstring> shown = ShownLines();
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back(), L"Zeile 29");
    }
}

TEST_F(WindowsDesktop, ScreenReadersGetTheNameOfEveryControl)
{
    for (const ControlSpec& row : MainWindowControls) {
        const Accessible read = ReadAccessible(Handle(row.number));
        const std::string_view name = row.accessibleName.empty() ? row.text : row.accessibleName;
        EXPECT_EQ(read.name, Wide(name)) << "control " << row.number;
        long role = ROLE_SYSTEM_TEXT;
        switch (row.kind) {
        case ControlKind::TitleText: role = ROLE_SYSTEM_STATICTEXT; break;
        case ControlKind::Button: role = ROLE_SYSTEM_PUSHBUTTON; break;
        case ControlKind::Toggle: role = ROLE_SYSTEM_CHECKBUTTON; break;
        case ControlKind::LineEdit:
        case ControlKind::OutputEditor: role = ROLE_SYSTEM_TEXT; break;
        }
        if (read.role == ROLE_SYSTEM_CLIENT && role != ROLE_SYSTEM_TEXT && UnderWine()) {
            // Wine's oleacc knows edits but not static texts and buttons: it calls them a client
            // area, whatever they are. Windows gives them the role of their kind.
            std::printf("note: Wine's oleacc gives control %d (%s) no role of its own\n", row.number,
                        row.kind == ControlKind::TitleText ? "a static text" : "a button");
            continue;
        }
        EXPECT_EQ(read.role, role) << "control " << row.number;
    }
}

// The same main window, its output control under test: Win32's keys, mouse, wheel and menu
// reaching the output model, the clipboard, painting and what a screen reader reads. The model's
// own rules are output_model_test's.
// A message box of the program's, answered as it stands: "TITLE|TEXT" into Told.
std::wstring* Told = nullptr;

void CALLBACK AnswerMessageBox(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND box = FindWindowW(L"#32770", nullptr);
    if (!box || !IsWindowVisible(box) || !Told)
        return;
    KillTimer(nullptr, timer);
    wchar_t title[128] = L"";
    GetWindowTextW(box, title, 128);
    *Told = std::wstring(title) + L"|";
    // The text is the box's static control that has one (the icon's has none).
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t kind[16] = L"", text[512] = L"";
        GetClassNameW(child, kind, 16);
        if (_wcsicmp(kind, L"Static") == 0 && GetWindowTextW(child, text, 512) > 0)
            *Told += text;
    }
    PostMessageW(box, WM_COMMAND, IDOK, 0);
}

class WindowsOutput : public WindowsDesktop {
protected:
    static void AppendNumbered(int from, int to)
    {
        for (int i = from; i < to; ++i)
            AppendLine(OutputEditor, "Zeile " + std::to_string(i));
        Settle();
    }
};

// Its name and role are read with every control's (WindowsDesktop above).
TEST_F(WindowsOutput, ScreenReadersReadAReadOnlyTextThatFollowsTheNewestLineOnlyAtTheBottom)
{
    const Accessible empty = ReadAccessible(Handle(OutputEditor));
    EXPECT_TRUE(empty.state & STATE_SYSTEM_READONLY);
    EXPECT_TRUE(empty.state & STATE_SYSTEM_FOCUSABLE);
    EXPECT_TRUE(ShownLines().empty());

    AppendNumbered(0, 50);
    std::vector<std::wstring> shown = ShownLines();
    ASSERT_GT(shown.size(), 5u);
    ASSERT_LT(shown.size(), 50u);
    EXPECT_EQ(shown.back(), L"Zeile 49");

    // The wheel takes the view up, and new lines no longer move it; Ctrl+End takes it back down.
    SendMessageW(Handle(OutputEditor), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
    Settle();
    shown = ShownLines();
    ASSERT_FALSE(shown.empty());
    EXPECT_NE(shown.back(), L"Zeile 49");
    AppendNumbered(50, 60);
    EXPECT_EQ(ShownLines(), shown);
    Key(VK_END, true);
    AppendNumbered(60, 61);
    EXPECT_EQ(ShownLines().back(), L"Zeile 60");
    // A drag holds the view while lines come, and the selection it made holds it after.
    Mouse(WM_LBUTTONDOWN, RowPoint(0, 1));
    AppendNumbered(61, 63);
    Mouse(WM_MOUSEMOVE, RowPoint(1, 20));
    Mouse(WM_LBUTTONUP, RowPoint(1, 20));
    AppendNumbered(63, 65);
    EXPECT_EQ(ShownLines().back(), L"Zeile 60");

    ShowFirstLine(OutputEditor);
    Settle();
    EXPECT_EQ(ShownLines().front(), L"Zeile 0");
    ClearOutput(OutputEditor);
    Settle();
    EXPECT_TRUE(ShownLines().empty());
    EXPECT_EQ(GetText(OutputEditor), "");
}

TEST_F(WindowsOutput, TheMouseTheKeysAndTheContextMenuSelectAndCopy)
{
    AppendNumbered(0, 5);
    ShowFirstLine(OutputEditor);
    Settle();
    const SIZE client = ClientSizeOf(Handle(OutputEditor));

    // Dragged from the start of the first line to the end of the third; copied as Windows copies
    // text, lines joined by CR LF.
    EmptyTheClipboard();
    Mouse(WM_LBUTTONDOWN, RowPoint(0, 1));
    EXPECT_EQ(GetFocus(), Handle(OutputEditor));
    Mouse(WM_MOUSEMOVE, RowPoint(2, client.cx - 5));
    Mouse(WM_LBUTTONUP, RowPoint(2, client.cx - 5));
    Key('C', true);
    EXPECT_EQ(ClipboardText(), L"Zeile 0\r\nZeile 1\r\nZeile 2");

    // A double click takes the word.
    Mouse(WM_LBUTTONDBLCLK, RowPoint(3, 10));
    Mouse(WM_LBUTTONUP, RowPoint(3, 10));
    Key(VK_INSERT, true);
    EXPECT_EQ(ClipboardText(), L"Zeile");

    // Keys: to the second line's start, three characters and a word by the Windows rule (to the
    // next one's start); down a line and to its end; a word further, past the line break.
    Key(VK_HOME, true);
    Key(VK_DOWN);
    for (int i = 0; i < 3; ++i)
        Key(VK_RIGHT, false, true);
    Key(VK_RIGHT, true, true);
    Key('C', true);
    EXPECT_EQ(ClipboardText(), L"Zeile ");
    Key(VK_DOWN, false, true);
    Key(VK_END, false, true);
    Key(VK_RIGHT, true, true);
    Key('C', true);
    EXPECT_EQ(ClipboardText(), L"Zeile 1\r\nZeile 2\r\n");

    // The context menu: copying, offered only with something selected, selecting all, saving,
    // and the program's own entries. From the keyboard it opens at the caret, not the pointer.
    Key(VK_HOME, true);
    SetCursorPos(0, 0);
    const MenuVisit nothingSelected = OpenContextMenu(-1);
    POINT caret{OutputMetrics().margin, OutputMetrics().margin + OutputMetrics().lineHeight};
    ClientToScreen(Handle(OutputEditor), &caret);
    EXPECT_NEAR(nothingSelected.place.left, caret.x, 2);
    EXPECT_NEAR(nothingSelected.place.top, caret.y, 2);
    ASSERT_EQ(nothingSelected.items.size(), 7u);
    EXPECT_EQ(nothingSelected.items[0], L"Kopieren\tStrg+C");
    EXPECT_EQ(nothingSelected.items[1], L"Alles auswählen\tStrg+A");
    EXPECT_EQ(nothingSelected.items[3], L"Ausgabe speichern \u2026");   // after a separator
    EXPECT_EQ(nothingSelected.items[4], L"Mitschnitt starten \u2026");   // the program's own
    EXPECT_EQ(nothingSelected.items[5], L"Board-Übersicht \u2026\tF2");   // its key beside it
    EXPECT_EQ(nothingSelected.items[6], L"Jetzt verbinden");
    EXPECT_TRUE(nothingSelected.greyed[0]);
    EXPECT_FALSE(nothingSelected.greyed[1]);
    EXPECT_FALSE(nothingSelected.greyed[3]);

    EmptyTheClipboard();
    OpenContextMenu(1);
    const MenuVisit copy = OpenContextMenu(0);
    ASSERT_GE(copy.greyed.size(), 2u);
    EXPECT_FALSE(copy.greyed[0]);
    EXPECT_EQ(ClipboardText(), L"Zeile 0\r\nZeile 1\r\nZeile 2\r\nZeile 3\r\nZeile 4");

    // The clipboard held open by another window: the copy is refused, the program says so, and
    // the clipboard keeps what it had.
    Key(VK_HOME, true);
    Key(VK_END, false, true);
    HWND holder = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_TRUE(OpenClipboard(holder));
    std::wstring told;
    Told = &told;
    SetTimer(nullptr, 0, 50, AnswerMessageBox);
    Key('C', true);
    Told = nullptr;
    CloseClipboard();
    DestroyWindow(holder);
    EXPECT_EQ(told, L"Skarvel: Problem|Der markierte Text kann nicht in die Zwischenablage kopiert werden!");
    EXPECT_EQ(ClipboardText(), L"Zeile 0\r\nZeile 1\r\nZeile 2\r\nZeile 3\r\nZeile 4");
}

TEST_F(WindowsOutput, OneColourOnWhiteTabStopsEveryHalfInchAndNoWrap)
{
    SetTextColour(OutputEditor, Blue);
    AppendLine(OutputEditor, "\tW");
    AppendLine(OutputEditor, std::string(300, 'x'));
    Settle();
    const Metrics metrics = OutputMetrics();
    const int dpi = static_cast<int>(GetDpiForWindow(Handle(OutputEditor)));
    const int tabStop = MulDiv(OutputTabStop, dpi, 96);

    const int firstRow = metrics.margin;
    const Ink tabbed = FindInk(firstRow, firstRow + metrics.lineHeight, Blue);
    EXPECT_GT(tabbed.pixels, 0);
    EXPECT_GE(tabbed.firstX, metrics.margin + tabStop - 1);
    EXPECT_LE(tabbed.firstX, metrics.margin + tabStop + metrics.lineHeight / 2);

    // The long line runs on to the right: the horizontal bar shows, and the row below is empty.
    SCROLLBARINFO bar{};
    bar.cbSize = sizeof bar;
    ASSERT_TRUE(GetScrollBarInfo(Handle(OutputEditor), OBJID_HSCROLL, &bar));
    EXPECT_FALSE(bar.rgstate[0] & STATE_SYSTEM_INVISIBLE);
    const int thirdRow = metrics.margin + 2 * metrics.lineHeight;
    EXPECT_EQ(FindInk(thirdRow, thirdRow + metrics.lineHeight, Blue).pixels, 0);

    // A new colour is the whole text's.
    SetTextColour(OutputEditor, Red);
    Settle();
    EXPECT_EQ(FindInk(firstRow, firstRow + 2 * metrics.lineHeight, Blue).pixels, 0);
    EXPECT_GT(FindInk(firstRow, firstRow + 2 * metrics.lineHeight, Red).pixels, 0);

    // Without the focus a selection stays shown: its text in the output's colour, on a shade.
    Key(VK_HOME, true);
    Key(VK_END, false, true);
    SetFocus(Handle(CommandField));
    EXPECT_GT(FindInk(firstRow, firstRow + metrics.lineHeight, Red).pixels, 0);
    const COLORREF shade = PixelOf(metrics.margin + 2, firstRow + metrics.lineHeight / 2);   // in the tab
    EXPECT_LT(GetRValue(shade) + GetGValue(shade) + GetBValue(shade), 3 * 230);
}

// A line shows as its font draws it in one call, and is measured as drawn: selected, the highlight
// ends where its last character does. (Drawn by GDI's measure, "C:" stood apart under Wine.)
TEST_F(WindowsOutput, ALineShowsAsItsFontDrawsItAndIsSelectedToItsEnd)
{
    const std::wstring text = L"C:002824 Polling";
    SetTextColour(OutputEditor, Blue);
    AppendLine(OutputEditor, "C:002824 Polling");
    Settle();
    const Metrics metrics = OutputMetrics();
    HWND output = Handle(OutputEditor);
    HDC context = GetDC(output);
    const HGDIOBJ previous = SelectObject(context, reinterpret_cast<HFONT>(SendMessageW(output, WM_GETFONT, 0, 0)));
    SetBkMode(context, TRANSPARENT);
    SetTextColor(context, RGB(0, 0, 255));
    const int third = metrics.margin + 2 * metrics.lineHeight;   // an empty row
    ExtTextOutW(context, metrics.margin, third, 0, nullptr, text.data(), static_cast<UINT>(text.size()), nullptr);
    const std::string drawn = InkColumns(context, third, metrics.lineHeight);
    EXPECT_EQ(InkColumns(context, metrics.margin, metrics.lineHeight), drawn);
    SelectObject(context, previous);
    ReleaseDC(output, context);

    SetFocus(output);
    Key(VK_HOME);
    Key(VK_END, false, true);
    Settle();
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    int end = 0;
    for (int x = 0; x < ClientSizeOf(output).cx - 2; ++x)
        if (PixelOf(x, metrics.margin + 1) == highlight)
            end = x + 1;
    EXPECT_NEAR(end, static_cast<int>(drawn.size()), 2) << drawn;
}

}  // namespace
