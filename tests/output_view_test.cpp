// The Qt output editor through its real control on the offscreen platform: what it paints, Qt's
// wheel, keys and mouse reaching the output model, the clipboard, the context menu with its save
// dialog, and what a screen reader is given. The model's own rules are output_model_test's.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "window_fixture.h"

namespace {

class OutputViewTest : public MainWindowTest {
protected:
    using MainWindowTest::Click;
    QWidget* Viewport() { return Editor()->viewport(); }
    const OutputModel& Model() { return Editor()->Model(); }

    void AppendLines(const QStringList& lines)
    {
        for (const QString& line : lines)
            AppendLine(OutputEditor, line.toStdString());
        QCoreApplication::processEvents();
    }

    QStringList Numbered(const QString& text, int count)
    {
        QStringList lines;
        for (int i = 0; i < count; ++i)
            lines << text.arg(i, 3, 10, QLatin1Char('0'));
        return lines;
    }

    // The middle of a character's left half, where a click puts the cursor before it.
    QPoint PointBefore(std::size_t line, int column)
    {
        const QRect rect = Editor()->CharacterRect({line, column});
        return {rect.left() + 1, rect.center().y()};
    }

    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = {})
    {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, at, Viewport()->mapToGlobal(at), button, buttons, modifiers);
        QApplication::sendEvent(Viewport(), &event);
    }

    void Click(QPoint at, Qt::KeyboardModifiers modifiers = {})
    {
        Mouse(QEvent::MouseButtonPress, at, Qt::LeftButton, modifiers);
        Mouse(QEvent::MouseButtonRelease, at, Qt::NoButton, modifiers);
    }

    void Keys(const std::vector<QKeyCombination>& keys)
    {
        for (const QKeyCombination key : keys)
            QTest::keyClick(Editor(), key.key(), key.keyboardModifiers());
    }

    // What Ctrl+C puts on the clipboard now.
    QString Copied()
    {
        QGuiApplication::clipboard()->clear();
        Keys({Qt::CTRL | Qt::Key_C});
        return QGuiApplication::clipboard()->text();
    }

    // Opens the context menu and hands it to `use` while it is open.
    // Opens the context menu by a right click, or by `open`, and uses it while it is up.
    void WithContextMenu(const std::function<void(QMenu*)>& use, const std::function<void()>& open = {})
    {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                seen = true;
                use(menu);
                menu->close();
            }
        });
        if (open) {
            open();
        } else {
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 10), Viewport()->mapToGlobal(QPoint(20, 10)));
            QApplication::sendEvent(Viewport(), &event);
        }
        EXPECT_TRUE(seen);
    }

    QImage Shot() { return Viewport()->grab().toImage(); }
};

// Whether the picture holds a pixel of exactly that colour.
bool Shows(const QImage& shot, QColor colour)
{
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (shot.pixelColor(x, y) == colour)
                return true;
    return false;
}

TEST_F(OutputViewTest, ColoursStayReadableOnADarkThemeAndRecolourWhatIsShown)
{
    QPalette dark = MainWindowWidget()->palette();
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    MainWindowWidget()->setPalette(dark);
    AppendLines({"C:0A032A", "\tW"});

    // Before the first colour the theme's own colours show; the tab runs to the stop half an inch
    // (48 pixels) into the text, as in a rich edit.
    QImage shot = Shot();
    EXPECT_EQ(shot.pixelColor(1, 1), QColor(30, 30, 30));
    const int second = Editor()->CharacterRect({1, 0}).center().y();
    int firstInk = -1;
    for (int x = 0; x < shot.width() && firstInk < 0; ++x)
        if (shot.pixelColor(x, second).lightness() > 90)
            firstInk = x;
    EXPECT_GE(firstInk, 4 + 48 - 1);
    EXPECT_LE(firstInk, 4 + 48 + 3);

    // A colour is the whole text's, on white, the lines shown before included.
    for (const Rgb colour : {Rgb{0, 0, 255}, Rgb{255, 0, 0}}) {
        SetTextColour(OutputEditor, colour);
        shot = Shot();
        EXPECT_EQ(shot.pixelColor(1, 1), QColor(Qt::white));
        EXPECT_TRUE(Shows(shot, QColor(colour.red, colour.green, colour.blue)));
        EXPECT_FALSE(Shows(shot, colour.red ? QColor(0, 0, 255) : QColor(230, 230, 230)));
    }
}

TEST_F(OutputViewTest, TheMouseSelectsAndCopiesExactlyWhatIsMarked)
{
    AppendLines({"Client zu NET-IO \tQ", "NET-IO zu Client \tQ:05", "ä€\u0081 Ende", "", "C:0A032A"});
    EXPECT_EQ(Copied(), "");   // nothing selected, nothing copied

    Mouse(QEvent::MouseButtonPress, PointBefore(0, 10), Qt::LeftButton);
    Mouse(QEvent::MouseMove, PointBefore(2, 4), Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, PointBefore(2, 4), Qt::NoButton);
    EXPECT_EQ(Copied(), "NET-IO \tQ\nNET-IO zu Client \tQ:05\nä€\u0081 ");

    // A double click takes the word by Qt's rule, a third click the line; a shift-click
    // stretches from where the selection began.
    QTest::mouseDClick(Viewport(), Qt::LeftButton, {}, PointBefore(4, 4));
    EXPECT_EQ(Copied(), "0A032A");
    Click(PointBefore(4, 4));
    EXPECT_EQ(Copied(), "C:0A032A");
    Click(PointBefore(1, 0));
    Click(PointBefore(3, 0), Qt::ShiftModifier);
    EXPECT_EQ(Copied(), "NET-IO zu Client \tQ:05\nä€\u0081 Ende\n");

    // Dragging below the view scrolls it and takes the lines that come into sight.
    ClearOutput(OutputEditor);
    AppendLines(Numbered("Zeile %1", 60));
    Focus(OutputEditor);
    Keys({Qt::CTRL | Qt::Key_Home});
    Mouse(QEvent::MouseButtonPress, PointBefore(0, 0), Qt::LeftButton);
    Mouse(QEvent::MouseMove, QPoint(20, Viewport()->height() + 10), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return Model().Top() >= 5; }));
    Mouse(QEvent::MouseButtonRelease, QPoint(20, Viewport()->height() + 10), Qt::NoButton);
    EXPECT_TRUE(Copied().startsWith("Zeile 000\nZeile 001\n"));
    EXPECT_GT(Copied().count('\n'), Model().Rows() + 4);

    // Lines that come while the button is down, and while the selection it made stands, leave the
    // view where it is.
    Keys({Qt::CTRL | Qt::Key_End});
    const int top = Editor()->verticalScrollBar()->value();
    Mouse(QEvent::MouseButtonPress, PointBefore(top + 1, 0), Qt::LeftButton);
    AppendLines(Numbered("Neu %1", 2));
    Mouse(QEvent::MouseMove, PointBefore(top + 2, 3), Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, PointBefore(top + 2, 3), Qt::NoButton);
    AppendLines(Numbered("Neu %1", 2));
    EXPECT_EQ(Editor()->verticalScrollBar()->value(), top);
}

// Qt's key sequences reach the model's moves, and the scroll bars show the model's place.
TEST_F(OutputViewTest, TheKeyboardSelectsLinesCharactersAndPages)
{
    const QStringList lines = Numbered("NET-IO zu Client \tC:%1", 100);
    AppendLines(lines);
    Focus(OutputEditor);
    const int rows = Model().Rows();
    EXPECT_EQ(Editor()->verticalScrollBar()->value(), 100 - rows);

    Keys({Qt::CTRL | Qt::Key_Home, Qt::SHIFT | Qt::Key_Down, Qt::SHIFT | Qt::Key_End});
    EXPECT_EQ(Copied(), lines[0] + "\n" + lines[1]);
    EXPECT_EQ(Editor()->verticalScrollBar()->value(), 0);
    Keys({Qt::Key_Home, Qt::SHIFT | Qt::Key_Right, Qt::SHIFT | Qt::Key_Right, Qt::SHIFT | Qt::Key_Right,
          Qt::SHIFT | Qt::Key_Left});
    EXPECT_EQ(Copied(), "NE");
    Keys({Qt::CTRL | Qt::Key_Home, Qt::SHIFT | Qt::Key_PageDown});
    EXPECT_EQ(Copied(), lines.mid(0, rows).join('\n') + "\n");
    Keys({Qt::CTRL | Qt::Key_End, Qt::SHIFT | Qt::Key_Up});
    EXPECT_EQ(Copied(), "\n" + lines[99]);
    EXPECT_EQ(Editor()->verticalScrollBar()->value(), 100 - rows);
    Keys({Qt::CTRL | Qt::Key_A});
    EXPECT_EQ(Copied(), QtText(EditorText()));
}

// The menu copies, offered only with something selected, and selects all. "Ausgabe speichern …":
// Qt's save dialog suggests a dated name in the documents folder; the file holds the output as
// shown, UTF-8 with LF; nothing else is left beside it. A folder that cannot be written gives the
// program's message and no file.
TEST_F(OutputViewTest, TheContextMenuCopiesSelectsAllAndSavesThroughTheSaveDialog)
{
    AppendLines({"Befehle für das Varnex-NET-IO-Board", "", "NET-IO zu Client \tS1:Seite 2"});
    QGuiApplication::clipboard()->clear();
    WithContextMenu([](QMenu* menu) {
        const QList<QAction*> actions = menu->actions();
        ASSERT_EQ(actions.size(), 7);
        EXPECT_EQ(actions[0]->text(), "Kopieren");
        EXPECT_FALSE(actions[0]->isEnabled());
        EXPECT_EQ(actions[1]->text(), "Alles auswählen");
        EXPECT_EQ(actions[3]->text(), "Ausgabe speichern …");
        EXPECT_EQ(actions[4]->text(), "Mitschnitt starten …");
        EXPECT_EQ(actions[5]->text(), "Board-Übersicht …");
        // The key that does the same stands beside it, as menus show it.
        EXPECT_EQ(actions[5]->shortcut(), QKeySequence(Qt::Key_F2));
        EXPECT_TRUE(actions[5]->isShortcutVisibleInContextMenu());
        EXPECT_EQ(actions[6]->text(), "Jetzt verbinden");
        actions[1]->trigger();
    });
    // The program's entries are commands for its loop.
    Drain();
    WithContextMenu([](QMenu* menu) { menu->actions()[5]->trigger(); });
    const std::vector<Event> events = Drain();
    EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](Event e) {
        return e.kind == EventKind::Action && e.number == OverviewAction;
    }));
    // From the keyboard (Shift+F10, as the menu key) the menu opens at the caret, not the pointer.
    Editor()->setFocus();
    QTest::keyClick(Editor(), Qt::Key_End, Qt::ControlModifier);
    QPoint menuAt;
    WithContextMenu([&](QMenu* menu) { menuAt = menu->pos(); },
                    [&] { QTest::keyClick(Editor(), Qt::Key_F10, Qt::ShiftModifier); });
    const QPoint caret = Viewport()->mapToGlobal(Editor()->CharacterRect(Editor()->Model().Cursor()).bottomLeft());
    EXPECT_LE((menuAt - caret).manhattanLength(), 2) << menuAt.x() << "," << menuAt.y();
    Keys({Qt::CTRL | Qt::Key_A});
    WithContextMenu([](QMenu* menu) { menu->actions()[0]->trigger(); });
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QtText(EditorText()));

    const auto folder = std::filesystem::temp_directory_path() / ("skarvel-save-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::vector<std::string> suggested, messages;
    std::filesystem::path target;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal->property("answered").toBool())
            return;
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            suggested.push_back(dialog->windowTitle().toStdString() + "|" + dialog->directory().absolutePath().toStdString()
                                + "|" + dialog->selectedFiles().value(0).section('/', -1).toStdString());
            // Typed as a user types it: selectFile leaves a name field that has the focus alone.
            if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit"))
                name->setText(QString::fromStdString(target.string()));
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages.push_back(box->windowTitle().toStdString() + "|" + box->text().toStdString());
        }
        modal->setProperty("answered", true);
        QTimer::singleShot(0, modal, [modal] { static_cast<QDialog*>(modal)->accept(); });
    });
    answer.start(10);
    const auto save = [&](const std::filesystem::path& to) {
        target = to;
        WithContextMenu([](QMenu* menu) { menu->actions().value(3)->trigger(); });
    };

    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const bool madeDocuments = !QDir(documents).exists() && QDir().mkpath(documents);
    save(folder / "Ausgabe.txt");
    if (madeDocuments)
        QDir(documents).removeRecursively();
    ASSERT_EQ(suggested.size(), 1u);
    const QString pattern = "^Ausgabe speichern\\|" + QRegularExpression::escape(QDir(documents).absolutePath())
                            + "\\|Skarvel-Ausgabe-20\\d\\d-\\d\\d-\\d\\d-\\d{6}\\.txt$";
    EXPECT_TRUE(QRegularExpression(pattern).match(QString::fromStdString(suggested[0])).hasMatch()) << suggested[0];
    std::ifstream file(folder / "Ausgabe.txt", std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    EXPECT_EQ(bytes, "Befehle f\xC3\xBCr das Varnex-NET-IO-Board\n\nNET-IO zu Client \tS1:Seite 2\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
    EXPECT_TRUE(messages.empty());

    // Not even the superuser may create a file there.
    save("/sys/skarvel-output.txt");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].starts_with("Skarvel: Problem|Die Ausgabe kann nicht gespeichert werden!\n\n")) << messages[0];
    EXPECT_FALSE(std::filesystem::exists("/sys/skarvel-output.txt"));
    std::filesystem::remove_all(folder);
}

TEST_F(OutputViewTest, AFocusFrameShowsWhileTheEditorHasTheFocus)
{
    const QColor highlight = Editor()->palette().color(QPalette::Highlight);
    const auto edge = [this] { return Editor()->grab().toImage().pixelColor(0, Editor()->height() / 2); };
    EXPECT_NE(edge(), highlight);
    Focus(ReferenceButton);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), Editor());
    EXPECT_EQ(edge(), highlight);
    QTest::keyClick(Editor(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), ControlWidget(ReferenceButton));
    EXPECT_NE(edge(), highlight);
}

// Its name, role, read-only state and inserted lines are heard over AT-SPI end to end
// (e2e/screen_reader.sh); here, what that test does not ask.
TEST_F(OutputViewTest, ScreenReadersWalkTheTextLineByLineAndSelectThroughIt)
{
    AppendLines({"", "Client zu NET-IO \tQ", "ä€\u0081", "C:0A032A"});
    QAccessibleInterface* editor = QAccessible::queryAccessibleInterface(Editor());
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->state().multiLine);
    QAccessibleTextInterface* text = editor->textInterface();
    ASSERT_NE(text, nullptr);
    ASSERT_EQ(text->characterCount(), QtText(EditorText()).size());

    // Walking the text line by line meets every line once, with its break.
    QStringList seen;
    int start = 0, end = 0;
    for (int offset = 0; offset < text->characterCount() && seen.size() < 5; offset = end) {
        seen << text->textAtOffset(offset, QAccessible::LineBoundary, &start, &end);
        ASSERT_EQ(start, offset);
    }
    EXPECT_EQ(seen, QStringList({"\n", "Client zu NET-IO \tQ\n", "ä€\u0081\n", "C:0A032A"}));
    EXPECT_EQ(text->textBeforeOffset(2, QAccessible::LineBoundary, &start, &end), "\n");
    EXPECT_EQ(text->textAfterOffset(2, QAccessible::LineBoundary, &start, &end), "ä€\u0081\n");

    // A selection made through the interface is the editor's own.
    text->setSelection(0, 1, 7);
    EXPECT_EQ(Copied(), "Client");
}

}  // namespace
