// The main window on Qt's offscreen platform with its real controls, talking to the simulated
// board on loopback: its layout, its events, and what each button does.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QPushButton>
#include <QFontInfo>
#include <QFontMetrics>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <array>
#include <cmath>
#include <memory>

#include "globals.h"
#include "board/connection.h"
#include "window_fixture.h"
#include "platform/linux/qt_access.h"
#include "ui/event_loop.h"
#include "ui/main_window.h"

using namespace std::chrono_literals;

namespace {

using WindowTest = MainWindowTest;

TEST_F(WindowTest, EveryControlStandsAtItsPlaceWithItsTextAndTip)
{
    QWidget* window = MainWindowWidget();
    EXPECT_EQ(window->windowTitle(), "Varnex-NET-IO-TerminalEmulation V1.0");
    EXPECT_EQ(window->size(), QSize(420, 370));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(window->testAttribute(Qt::WA_AlwaysShowToolTips));
    const QList<QSize> iconSizes = window->windowIcon().availableSizes();
    EXPECT_TRUE(iconSizes.contains(QSize(47, 37)));
    EXPECT_TRUE(iconSizes.contains(QSize(48, 48)));

    for (const ControlSpec& control : MainWindowControls) {
        SCOPED_TRACE(control.number);
        QWidget* widget = ControlWidget(control.number);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget(), window);
        EXPECT_EQ(widget->geometry(), QRect(control.left, control.top, control.width, control.height));
        EXPECT_EQ(widget->toolTip(), QtText(control.tooltip));
        EXPECT_EQ(widget->accessibleName(), QtText(control.accessibleName));
        switch (control.kind) {
        case ControlKind::TitleText:
            EXPECT_EQ(qobject_cast<QLabel*>(widget)->text(), QtText(control.text));
            break;
        case ControlKind::LineEdit:
            EXPECT_EQ(qobject_cast<QLineEdit*>(widget)->text(), "");
            break;
        case ControlKind::Button:
        case ControlKind::Toggle: {
            auto* button = qobject_cast<QPushButton*>(widget);
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->text(), QtText(control.text));
            EXPECT_EQ(button->isCheckable(), control.kind == ControlKind::Toggle);
            EXPECT_FALSE(button->isDefault());
            EXPECT_FALSE(button->autoDefault());
            break;
        }
        case ControlKind::OutputEditor: {
            auto* editor = qobject_cast<OutputView*>(widget);
            ASSERT_NE(editor, nullptr);
            EXPECT_TRUE(QAccessible::queryAccessibleInterface(editor)->state().readOnly);
            EXPECT_EQ(editor->LineCount(), 0u);
            break;
        }
        }
    }
}

TEST_F(WindowTest, TheTitleIsBoldArialOf11PointsAndFitsItsWidth)
{
    auto* title = qobject_cast<QLabel*>(ControlWidget(TitleText));
    EXPECT_EQ(title->font().pixelSize(), 15);   // at 96 dpi, the layout's own
    EXPECT_TRUE(title->font().bold());
    EXPECT_EQ(title->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    const QFontInfo matched(title->font());
    EXPECT_TRUE(matched.family() == "Arial" || matched.family() == "Liberation Sans") << matched.family().toStdString();
    EXPECT_LE(QFontMetrics(title->font()).horizontalAdvance(title->text()), 400);
}

TEST_F(WindowTest, EveryLabelFitsItsControl)
{
    for (const ControlSpec& control : MainWindowControls) {
        auto* button = qobject_cast<QPushButton*>(ControlWidget(control.number));
        if (button) {
            EXPECT_LE(button->sizeHint().width(), control.width) << control.text;
        }
    }
}

TEST_F(WindowTest, SettingTheTextTheFieldHoldsChangesNothing)
{
    auto* field = qobject_cast<QLineEdit*>(ControlWidget(CommandField));
    SetText(CommandField, "C");
    field->setCursorPosition(0);
    QSignalSpy edits(field, &QLineEdit::textChanged);
    QSignalSpy moves(field, &QLineEdit::cursorPositionChanged);
    SetText(CommandField, "C");
    EXPECT_EQ(edits.count() + moves.count(), 0);
    EXPECT_EQ(field->cursorPosition(), 0);
    SetText(CommandField, "F");
    EXPECT_EQ(edits.count(), 1);
    EXPECT_EQ(GetText(CommandField), "F");
}

TEST_F(WindowTest, ScreenReadersFindTheWindowAsAFrameAndTheFieldByItsName)
{
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(MainWindowWidget());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->role(), QAccessible::Window);
    EXPECT_EQ(window->text(QAccessible::Name), "Varnex-NET-IO-TerminalEmulation V1.0");
    QAccessibleInterface* field = QAccessible::queryAccessibleInterface(ControlWidget(CommandField));
    EXPECT_EQ(field->role(), QAccessible::EditableText);
    EXPECT_EQ(field->text(QAccessible::Name), "Befehlszeile");
}

TEST_F(WindowTest, QtsOwnTextsAreGerman)
{
    const std::unique_ptr<QMenu> menu(qobject_cast<QLineEdit*>(ControlWidget(CommandField))->createStandardContextMenu());
    QString texts;
    for (const QAction* action : menu->actions())
        texts += action->text() + " | ";
    EXPECT_TRUE(texts.contains("&Kopieren") && texts.contains("Alles auswählen")) << texts.toStdString();
}

TEST_F(WindowTest, TabWalksTheControlsInCreationOrderBothWays)
{
    const std::vector<int> order = {CommandField, SendButton, ReferenceButton, OutputEditor, FirmwareSiteButton,
                                    AuthorSiteButton, BoardWebButton, CountQueryButton, PollingToggle};
    ASSERT_TRUE(PumpUntil([] { return QApplication::focusWidget() == ControlWidget(CommandField); }));
    for (std::size_t step = 1; step <= order.size(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), ControlWidget(order[step % order.size()])) << "step " << step;
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), ControlWidget(PollingToggle));

    // A disabled SendButton is passed over.
    SetEnabled(SendButton, false);
    Focus(CommandField);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), ControlWidget(ReferenceButton));
}

TEST_F(WindowTest, TheFocusComesBackToTheLastControlWhenTheWindowIsActivatedAgain)
{
    Focus(ReferenceButton);
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    ASSERT_TRUE(PumpUntil([&] { return QApplication::activeWindow() == &other; }));
    QApplication::setActiveWindow(MainWindowWidget());
    ASSERT_TRUE(PumpUntil([] { return QApplication::activeWindow() == MainWindowWidget(); }));
    EXPECT_EQ(QApplication::focusWidget(), ControlWidget(ReferenceButton));
}

TEST_F(WindowTest, ControlEventsComeFromTheUserOnly)
{
    auto* field = ControlWidget(CommandField);
    QTest::keyClicks(field, "ab");
    auto events = Drain();
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](Event e) { return e.kind == EventKind::Control && e.number == CommandField; }), 2);

    SetText(CommandField, "xyz");
    SetEnabled(SendButton, false);
    SetEnabled(SendButton, true);
    EXPECT_TRUE(Drain().empty());

    // Enter in the field does nothing.
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_TRUE(Drain().empty());

    // A click takes the focus too, and the field reports losing it: count the clicked control only.
    const auto countOf = [](const std::vector<Event>& events, int number) {
        return std::count_if(events.begin(), events.end(),
                             [number](Event e) { return e.kind == EventKind::Control && e.number == number; });
    };
    QTest::mouseClick(ControlWidget(PollingToggle), Qt::LeftButton);
    events = Drain();
    EXPECT_EQ(countOf(events, PollingToggle), 1);
    EXPECT_TRUE(IsPressed(PollingToggle));   // already changed when the event arrives
    Release(PollingToggle);
    EXPECT_FALSE(IsPressed(PollingToggle));
    EXPECT_TRUE(Drain().empty());

    // Pressed in, the toggle is told from a released one at a glance, in the default theme and
    // in a dark one: its picture's mean colour moves far.
    auto* toggle = qobject_cast<QPushButton*>(ControlWidget(PollingToggle));
    const auto meanColour = [toggle] {
        const QImage picture = toggle->grab().toImage();
        double red = 0, green = 0, blue = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) {
                const QColor pixel = picture.pixelColor(x, y);
                red += pixel.red(), green += pixel.green(), blue += pixel.blue();
            }
        const double count = picture.width() * picture.height();
        return std::array<double, 3>{red / count, green / count, blue / count};
    };
    const QPalette theme = QApplication::palette();
    QPalette dark = theme;
    dark.setColor(QPalette::Button, QColor(53, 53, 53));
    dark.setColor(QPalette::ButtonText, Qt::white);
    dark.setColor(QPalette::Window, QColor(45, 45, 45));
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    for (const QPalette& palette : {theme, dark}) {
        toggle->setPalette(palette);
        const auto out = meanColour();
        toggle->setChecked(true);
        const auto in = meanColour();
        toggle->setChecked(false);
        const double distance = std::hypot(in[0] - out[0], in[1] - out[1], in[2] - out[2]);
        EXPECT_GT(distance, 60.0) << "the pressed toggle's colour moved only " << distance;
    }
    toggle->setPalette(theme);

    for (int button : {SendButton, ReferenceButton, FirmwareSiteButton, AuthorSiteButton, CountQueryButton, BoardWebButton}) {
        QTest::mouseClick(ControlWidget(button), Qt::LeftButton);
        events = Drain();
        EXPECT_EQ(countOf(events, button), 1) << button;
        EXPECT_EQ(events.size(), static_cast<std::size_t>(countOf(events, button) + countOf(events, CommandField)));
    }
}

// Typing goes on while the board answers: the history keeps the command that went out, not what
// the field holds once the reply is in.
TEST_F(WindowTest, TheHistoryKeepsTheCommandSentWhileTypingGoesOn)
{
    netio::Simulator slow({.port = 0, .replyDelay = 300ms});
    ASSERT_TRUE(slow.Start());
    CloseBoardConnection();
    Link.BoardConnection = OpenBoardConnection("127.0.0.1", slow.Port());
    SetText(CommandField, "C");
    QTimer::singleShot(100, [] { QTest::keyClicks(ControlWidget(CommandField), "Q"); });
    Click(SendButton);
    EXPECT_EQ(GetText(CommandField), "CQ");
    QTest::keyClick(ControlWidget(CommandField), Qt::Key_Up);
    HandleQueuedEvents();
    EXPECT_EQ(GetText(CommandField), "C");
}

TEST_F(WindowTest, TheCloseRequestOnlyQueuesAnEvent)
{
    MainWindowWidget()->close();
    EXPECT_TRUE(MainWindowWidget()->isVisible());
    const auto events = Drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, EventKind::Close);
    EXPECT_EQ(HandleEvent(events[0]), LoopEnd::WindowClosed);
}

// Two ticks fall due while the dialog is open (at 400 and 800 ms); it closes at 1,000 ms, well
// before the next one: none may be waiting afterwards.
TEST_F(WindowTest, TicksThatFallDueDuringADialogAreDropped)
{
    StartTimer(IdleTimer, 400ms);
    QTimer::singleShot(1000, Qt::PreciseTimer, MainWindowWidget(), [] {
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
    });
    MessageDialog("Skarvel: Meldung", "wait");
    const auto events = Drain();
    EXPECT_EQ(std::count_if(events.begin(), events.end(), [](Event e) { return e.kind == EventKind::Timer; }), 0);
    // Afterwards they come again.
    EXPECT_EQ(WaitWindowEvent(1s).kind, EventKind::Timer);
}

// While an exchange waits for a silent board the window goes on painting; the ticks that fall due
// meanwhile are kept, one per timer.
TEST_F(WindowTest, WhileTheBoardIsSilentTheWindowPaintsAndTicksWaitOnePerTimer)
{
    netio::Simulator silent({.port = 0, .neverReply = true});
    ASSERT_TRUE(silent.Start());
    CloseBoardConnection();
    Link.BoardConnection = OpenBoardConnection("127.0.0.1", silent.Port());
    Link.replyLimit = 500ms;
    StartTimer(IdleTimer, 40ms);
    StartTimer(PollTimer, 30ms);
    Drain();
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            paints += event->type() == QEvent::Paint;
            return false;
        }
    } counter;
    MainWindowWidget()->installEventFilter(&counter);
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, [] { MainWindowWidget()->update(); });
    repaint.start(20);
    EXPECT_EQ(ExchangeCommand("F").reply, "");
    EXPECT_GE(counter.paints, 5);
    const auto events = Drain();
    for (const int timer : {IdleTimer, PollTimer})
        EXPECT_EQ(std::count_if(events.begin(), events.end(),
                                [timer](Event e) { return e.kind == EventKind::Timer && e.number == timer; }), 1)
            << "timer " << timer;
    MainWindowWidget()->removeEventFilter(&counter);
}

TEST_F(WindowTest, WaitingWithNothingToDoReturnsNoEventAfterTheLimit)
{
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(WaitWindowEvent(200ms).kind, EventKind::None);
    EXPECT_GE(clock.elapsed(), 190);
    EXPECT_LT(clock.elapsed(), 1000);
}

TEST_F(WindowTest, TheEditorAppendsLinesAndKeepsOneColour)
{
    AppendLine(OutputEditor, "");
    AppendLine(OutputEditor, "second");
    EXPECT_EQ(EditorText(), "\nsecond");
    ClearOutput(OutputEditor);
    EXPECT_EQ(EditorText(), "");
    AppendLine(OutputEditor, "first");
    EXPECT_EQ(EditorText(), "first");

    SetTextColour(OutputEditor, {255, 0, 0});
    AppendLine(OutputEditor, "later");
    EXPECT_EQ(EditorColour(), QColor(255, 0, 0));
    SetTextColour(OutputEditor, {0, 0, 255});
    EXPECT_EQ(EditorColour(), QColor(0, 0, 255));
    EXPECT_EQ(Editor()->LineCount(), 2u);
}

// The core's roads (core_test.cpp) on the real widgets: the reference in red, from its top, once,
// wider than the editor; a reply replacing it in blue, the focus back in the field.
TEST_F(WindowTest, TheReferenceAndAReplyShowInTheirColoursOnTheRealWidgets)
{
    Click(ReferenceButton);
    Click(ReferenceButton);
    EXPECT_EQ(Editor()->LineCount(), 69u);
    EXPECT_EQ(EditorColour(), QColor(255, 0, 0));
    EXPECT_EQ(Editor()->Model().Top(), 0u);
    EXPECT_EQ(QApplication::focusWidget(), ControlWidget(CommandField));
    QCoreApplication::processEvents();
    EXPECT_GT(Editor()->horizontalScrollBar()->maximum(), 0);

    SetText(CommandField, "F");
    Click(SendButton);
    EXPECT_EQ(EditorText(), ">F\nF:020103");
    EXPECT_EQ(EditorColour(), QColor(0, 0, 255));
    EXPECT_TRUE(IsEnabled(SendButton));
    EXPECT_EQ(QApplication::focusWidget(), ControlWidget(CommandField));
}

TEST(Dialogs, TheInputDialogShowsThePresetAndReturnsTheAnswer)
{
    StartDesktop();
    DialogAnswerer answerer({Answer{"typed"}, Answer{std::nullopt}});
    EXPECT_EQ(InputDialog("Skarvel: Meldung", "Frage?", "vorgabe"), "typed");
    EXPECT_EQ(InputDialog("Skarvel: Meldung", "Frage?", "vorgabe"), "");
    ASSERT_EQ(answerer.seen.size(), 2u);
    EXPECT_EQ(answerer.seen[0].title, "Skarvel: Meldung");
    EXPECT_EQ(answerer.seen[0].text, "Frage?");
    EXPECT_EQ(answerer.seen[0].preset, "vorgabe");
}

TEST(Dialogs, TheInputDialogHasItsLayoutAndEscapeGivesEmptyText)
{
    StartDesktop();
    struct Seen {
        QRect label, edit, ok;
        bool okDefault = false, selection = true, closeBox = true, systemMenu = true;
        int cursor = -1;
        QString fieldName;
    } seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->property("looked").toBool())
            return;
        dialog->setProperty("looked", true);
        auto* edit = dialog->findChild<QLineEdit*>();
        seen.label = dialog->findChild<QLabel*>()->geometry();
        seen.edit = edit->geometry();
        seen.ok = dialog->findChild<QPushButton*>()->geometry();
        seen.okDefault = dialog->findChild<QPushButton*>()->isDefault();
        seen.selection = edit->hasSelectedText();
        seen.cursor = edit->cursorPosition();
        seen.closeBox = dialog->windowFlags() & Qt::WindowCloseButtonHint;
        seen.systemMenu = dialog->windowFlags() & Qt::WindowSystemMenuHint;
        seen.fieldName = QAccessible::queryAccessibleInterface(edit)->text(QAccessible::Name);
        QTest::keyClick(edit, Qt::Key_Escape);
    });
    poll.start(5);
    EXPECT_EQ(InputDialog("Skarvel: Meldung", "Frage?", "12345"), "");
    EXPECT_EQ(seen.label, QRect(10, 10, 280, 22));
    EXPECT_EQ(seen.edit, QRect(10, 32, 275, 21));
    EXPECT_EQ(seen.ok, QRect(110, 67, 80, 25));
    EXPECT_TRUE(seen.okDefault);
    EXPECT_FALSE(seen.selection);
    EXPECT_EQ(seen.cursor, 5);
    EXPECT_FALSE(seen.closeBox);
    EXPECT_FALSE(seen.systemMenu);
    EXPECT_EQ(seen.fieldName, "Frage?");
}

TEST(Dialogs, MessagesShowEachCarriageReturnPairAsABreakAndAnEmptyLine)
{
    StartDesktop();
    DialogAnswerer answerer;
    MessageDialog("Skarvel: Problem", "eins\r\rzwei");
    ASSERT_EQ(answerer.seen.size(), 1u);
    EXPECT_EQ(answerer.seen[0].title, "Skarvel: Problem");
    EXPECT_EQ(answerer.seen[0].text, "eins\n\nzwei");
}

TEST(Dialogs, TheConnectWindowShowsItsText)
{
    StartDesktop();
    OpenConnectWindow("Varnex-NET-IO: Meldung", "a\r\rb");
    QWidget* window = ConnectWindowWidget();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Varnex-NET-IO: Meldung");
    EXPECT_EQ(window->size(), QSize(250, 90));
    EXPECT_FALSE(window->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint
                                          | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    auto* label = window->findChild<QLabel*>();
    EXPECT_EQ(label->text(), "a\n\nb");
    EXPECT_EQ(label->geometry(), QRect(10, 10, 230, 70));
    EXPECT_TRUE(label->wordWrap());
    CloseConnectWindow();
    EXPECT_EQ(ConnectWindowWidget(), nullptr);
}

}  // namespace
