// The output editor through its real control on the offscreen platform: what it draws, where its
// view goes as lines arrive, selecting and copying with mouse and keyboard, and what a screen
// reader is given.
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

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>

#include "ui/polling.h"
#include "window_fixture.h"

namespace {

class OutputViewTest : public MainWindowTest {
protected:
    QWidget* Viewport() { return Editor()->viewport(); }

    void AppendLines(const QStringList& lines)
    {
        for (const QString& line : lines)
            AppendLine(OutputEditor, line.toStdString());
        QCoreApplication::processEvents();
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

    void Drag(QPoint from, QPoint to)
    {
        Mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
        Mouse(QEvent::MouseMove, to, Qt::LeftButton);
        Mouse(QEvent::MouseButtonRelease, to, Qt::NoButton);
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

    // Opens the context menu at a point and hands it to `use` while it is open.
    void WithContextMenu(QPoint at, const std::function<void(QMenu*)>& use)
    {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                seen = true;
                use(menu);
                menu->close();
            }
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, Viewport()->mapToGlobal(at));
        QApplication::sendEvent(Viewport(), &event);
        EXPECT_TRUE(seen);
    }

    QImage Shot() { return Viewport()->grab().toImage(); }
};

double Luminance(QColor colour)
{
    const auto linear = [](double channel) {
        channel /= 255.0;
        return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.red()) + 0.7152 * linear(colour.green()) + 0.0722 * linear(colour.blue());
}

double Contrast(QColor a, QColor b)
{
    const double first = Luminance(a), second = Luminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

// The ink of a picture: the pixel that stands out most from its background, the top left corner.
QColor Ink(const QImage& shot)
{
    const QColor background = shot.pixelColor(1, 1);
    QColor ink = background;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (Contrast(shot.pixelColor(x, y), background) > Contrast(ink, background))
                ink = shot.pixelColor(x, y);
    return ink;
}

TEST_F(OutputViewTest, ColoursStayReadableOnADarkThemeAndRecolourWhatIsShown)
{
    QPalette dark = MainWindowWidget()->palette();
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    MainWindowWidget()->setPalette(dark);
    AppendLines({"C:0A032A", "\tW"});

    // Before the first colour the theme's own colours show.
    QImage shot = Shot();
    EXPECT_EQ(shot.pixelColor(1, 1), QColor(30, 30, 30));
    // The tab runs to the stop half an inch (48 pixels) into the text, as in a rich edit.
    const int second = Editor()->CharacterRect({1, 0}).center().y();
    int firstInk = -1;
    for (int x = 0; x < shot.width() && firstInk < 0; ++x)
        if (Contrast(shot.pixelColor(x, second), QColor(30, 30, 30)) > 2)
            firstInk = x;
    EXPECT_GE(firstInk, 4 + 48 - 1);
    EXPECT_LE(firstInk, 4 + 48 + 3);

    SetTextColour(OutputEditor, {0, 0, 255});
    shot = Shot();
    EXPECT_EQ(shot.pixelColor(1, 1), QColor(Qt::white));
    EXPECT_EQ(Ink(shot), QColor(0, 0, 255));   // the lines shown before turn blue too
    EXPECT_GE(Contrast(Ink(shot), shot.pixelColor(1, 1)), 4.5);

    SetTextColour(OutputEditor, {255, 0, 0});
    shot = Shot();
    EXPECT_EQ(Ink(shot), QColor(255, 0, 0));
    EXPECT_GE(Contrast(Ink(shot), shot.pixelColor(1, 1)), 3.0);
}

TEST_F(OutputViewTest, TheViewFollowsTheNewestLineOnlyWhileAtTheBottom)
{
    QStringList lines;
    for (int i = 0; i < 100; ++i)
        lines << QStringLiteral("C:%1").arg(i, 6, 16, QLatin1Char('0'));
    AppendLines(lines);
    const int rows = Editor()->Model().Rows();
    ASSERT_GT(rows, 3);
    EXPECT_EQ(Editor()->Model().Top(), 100u - rows);

    // The user scrolls up with the wheel: new lines no longer move the view.
    QWheelEvent wheel(QPointF(50, 50), Viewport()->mapToGlobal(QPointF(50, 50)), {}, {0, 120}, Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(Viewport(), &wheel);
    const std::size_t scrolled = Editor()->Model().Top();
    ASSERT_LT(scrolled, 100u - rows);
    AppendLines({"C:later"});
    EXPECT_EQ(Editor()->Model().Top(), scrolled);

    // Back at the bottom it follows again.
    Focus(OutputEditor);
    Keys({Qt::CTRL | Qt::Key_End});
    AppendLines({"C:newest"});
    EXPECT_EQ(Editor()->Model().Top(), 102u - rows);

    // The reference opens at its heading and stays there while replies come in below.
    Click(ReferenceButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(Editor()->Model().Top(), 0u);
    EXPECT_EQ(Editor()->horizontalScrollBar()->value(), 0);
    EXPECT_GT(Editor()->horizontalScrollBar()->maximum(), 0);
    SetTextColour(OutputEditor, G.ReplyColour);
    AppendLines({"C:0A032A"});
    EXPECT_EQ(Editor()->Model().Top(), 0u);

    // A cleared view is at its bottom: a new run's lines show as they come.
    ClearOutput(OutputEditor);
    AppendLines(lines);
    EXPECT_EQ(Editor()->Model().Top(), 100u - rows);
}

TEST_F(OutputViewTest, TheMouseSelectsAndCopiesExactlyWhatIsMarked)
{
    AppendLines({"Client zu NET-IO \tQ", "NET-IO zu Client \tQ:05", "ä€\u0081 Ende", "", "C:0A032A"});
    EXPECT_EQ(Copied(), "");   // nothing selected, nothing copied

    Drag(PointBefore(0, 10), PointBefore(2, 4));
    EXPECT_EQ(Copied(), "NET-IO \tQ\nNET-IO zu Client \tQ:05\nä€\u0081 ");

    // A selection stays while lines come in below it.
    AppendLines({"C:0A032B", "C:0A032C"});
    EXPECT_EQ(Copied(), "NET-IO \tQ\nNET-IO zu Client \tQ:05\nä€\u0081 ");

    // A double click takes the word; a shift-click stretches from where the selection began.
    QTest::mouseDClick(Viewport(), Qt::LeftButton, {}, PointBefore(4, 4));
    EXPECT_EQ(Copied(), "0A032A");
    Mouse(QEvent::MouseButtonPress, PointBefore(1, 0), Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, PointBefore(1, 0), Qt::NoButton);
    Mouse(QEvent::MouseButtonPress, PointBefore(3, 0), Qt::LeftButton, Qt::ShiftModifier);
    Mouse(QEvent::MouseButtonRelease, PointBefore(3, 0), Qt::NoButton, Qt::ShiftModifier);
    EXPECT_EQ(Copied(), "NET-IO zu Client \tQ:05\nä€\u0081 Ende\n");

    // Dragging below the view scrolls it and takes the lines that come into sight.
    ClearOutput(OutputEditor);
    QStringList lines;
    for (int i = 0; i < 60; ++i)
        lines << QStringLiteral("Zeile %1").arg(i);
    AppendLines(lines);
    Focus(OutputEditor);
    Keys({Qt::CTRL | Qt::Key_Home});
    Mouse(QEvent::MouseButtonPress, PointBefore(0, 0), Qt::LeftButton);
    Mouse(QEvent::MouseMove, QPoint(20, Viewport()->height() + 10), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return Editor()->Model().Top() >= 5; }));
    Mouse(QEvent::MouseButtonRelease, QPoint(20, Viewport()->height() + 10), Qt::NoButton);
    EXPECT_TRUE(Copied().startsWith("Zeile 0\nZeile 1\n"));
    EXPECT_GT(Copied().count('\n'), Editor()->Model().Rows() + 4);
}

TEST_F(OutputViewTest, TheKeyboardSelectsLinesCharactersAndPages)
{
    QStringList lines;
    for (int i = 0; i < 100; ++i)
        lines << QStringLiteral("NET-IO zu Client \tC:%1").arg(i, 3, 10, QLatin1Char('0'));
    AppendLines(lines);
    Focus(OutputEditor);
    const int rows = Editor()->Model().Rows();

    Keys({Qt::CTRL | Qt::Key_Home, Qt::SHIFT | Qt::Key_Down, Qt::SHIFT | Qt::Key_End});
    EXPECT_EQ(Copied(), lines[0] + "\n" + lines[1]);
    EXPECT_EQ(Editor()->Model().Top(), 0u);
    Keys({Qt::Key_Home, Qt::SHIFT | Qt::Key_Right, Qt::SHIFT | Qt::Key_Right, Qt::SHIFT | Qt::Key_Right,
          Qt::SHIFT | Qt::Key_Left});
    EXPECT_EQ(Copied(), "NE");
    Keys({Qt::Key_End, Qt::SHIFT | Qt::Key_Left});
    EXPECT_EQ(Copied(), "1");

    // A page down selects a page of lines and brings its end into sight; a page up goes back.
    Keys({Qt::CTRL | Qt::Key_Home, Qt::SHIFT | Qt::Key_PageDown});
    EXPECT_EQ(Copied(), lines.mid(0, rows).join('\n') + "\n");
    Keys({Qt::SHIFT | Qt::Key_PageDown});
    EXPECT_GE(Editor()->Model().Top(), static_cast<std::size_t>(rows));
    Keys({Qt::SHIFT | Qt::Key_PageUp});
    EXPECT_EQ(Copied(), lines.mid(0, rows).join('\n') + "\n");

    Keys({Qt::CTRL | Qt::Key_End, Qt::SHIFT | Qt::Key_Up});
    EXPECT_EQ(Copied(), "\n" + lines[99]);
    EXPECT_EQ(Editor()->Model().Top(), 100u - rows);

    Keys({Qt::CTRL | Qt::Key_A});
    EXPECT_EQ(Copied(), Q(EditorText()));

    // Tab leaves the editor, as the window's order has it.
    QTest::keyClick(Editor(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), ControlWidget(FirmwareSiteButton));
}

TEST_F(OutputViewTest, TheContextMenuCopiesAndSelectsAll)
{
    AppendLines({"Befehle für das Varnex-NET-IO-Board", "", "NET-IO zu Client \tS1:Seite 2"});
    WithContextMenu(QPoint(20, 10), [](QMenu* menu) {
        const QList<QAction*> actions = menu->actions();
        ASSERT_EQ(actions.size(), 4);   // and, apart, saving (its own test)
        EXPECT_EQ(actions[0]->text(), "Kopieren");
        EXPECT_FALSE(actions[0]->isEnabled());
        EXPECT_EQ(actions[1]->text(), "Alles auswählen");
        EXPECT_TRUE(actions[1]->isEnabled());
        actions[1]->trigger();
    });
    QGuiApplication::clipboard()->clear();
    WithContextMenu(QPoint(20, 10), [](QMenu* menu) {
        EXPECT_TRUE(menu->actions()[0]->isEnabled());
        menu->actions()[0]->trigger();
    });
    EXPECT_EQ(QGuiApplication::clipboard()->text(), Q(EditorText()));
}

// "Ausgabe speichern …": Qt's save dialog suggests a dated name in the documents folder; the file
// holds the output as shown, a line per line, UTF-8 with LF; nothing else is left beside it. A
// folder that cannot be written gives the program's message and no file.
TEST_F(OutputViewTest, TheContextMenuSavesTheOutputThroughTheSaveDialog)
{
    AppendLines({"Befehle für das Varnex-NET-IO-Board", "", "NET-IO zu Client \tS1:Seite 2"});
    const auto folder = std::filesystem::temp_directory_path() / ("skarvel-save-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder);
    std::vector<std::string> suggested, messages;
    std::filesystem::path target;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<QFileDialog*>(modal); dialog && !dialog->property("answered").toBool()) {
            dialog->setProperty("answered", true);
            suggested.push_back(dialog->windowTitle().toStdString() + "|" + dialog->directory().absolutePath().toStdString()
                                + "|" + dialog->selectedFiles().value(0).section('/', -1).toStdString());
            dialog->selectFile(QString::fromStdString(target.string()));
            QTimer::singleShot(0, dialog, [dialog] { static_cast<QDialog*>(dialog)->accept(); });
        } else if (auto* box = qobject_cast<QMessageBox*>(modal); box && !box->property("answered").toBool()) {
            box->setProperty("answered", true);
            messages.push_back(box->windowTitle().toStdString() + "|" + box->text().toStdString());
            QTimer::singleShot(0, box, [box] { box->accept(); });
        }
    });
    answer.start(10);
    const auto save = [&](const std::filesystem::path& to) {
        target = to;
        WithContextMenu(QPoint(20, 10), [](QMenu* menu) {
            QAction* action = menu->actions().value(3);
            ASSERT_TRUE(action);
            EXPECT_EQ(action->text(), "Ausgabe speichern …");
            action->trigger();
        });
    };

    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const bool madeDocuments = !QDir(documents).exists() && QDir().mkpath(documents);
    save(folder / "Ausgabe.txt");
    if (madeDocuments)
        QDir(documents).removeRecursively();
    ASSERT_EQ(suggested.size(), 1u);
    EXPECT_TRUE(QRegularExpression("^Ausgabe speichern\\|.*\\|Skarvel-Ausgabe-20\\d\\d-\\d\\d-\\d\\d-\\d{6}\\.txt$")
                    .match(QString::fromStdString(suggested[0])).hasMatch())
        << suggested[0];
    EXPECT_NE(suggested[0].find("|" + QDir(documents).absolutePath().toStdString() + "|"), std::string::npos) << suggested[0];
    std::ifstream file(folder / "Ausgabe.txt", std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    EXPECT_EQ(bytes, "Befehle f\xC3\xBCr das Varnex-NET-IO-Board\n\nNET-IO zu Client \tS1:Seite 2\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
    EXPECT_TRUE(messages.empty());

    // Not even the superuser may create a file there.
    save("/sys/skarvel-output.txt");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].starts_with("Skarvel: Problem|Die Ausgabe kann nicht gespeichert werden!\n\n")) << messages[0];
    EXPECT_GT(messages[0].size(), std::string_view("Skarvel: Problem|Die Ausgabe kann nicht gespeichert werden!\n\n").size());
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

TEST_F(OutputViewTest, ScreenReadersGetANamedReadOnlyTextLineByLine)
{
    AppendLines({"", "Client zu NET-IO \tQ", "ä€\u0081", "C:0A032A"});
    QAccessibleInterface* editor = QAccessible::queryAccessibleInterface(Editor());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(QAccessible::Name), "Ausgabe");
    EXPECT_EQ(editor->role(), QAccessible::EditableText);
    EXPECT_TRUE(editor->state().readOnly);
    EXPECT_TRUE(editor->state().multiLine);
    QAccessibleTextInterface* text = editor->textInterface();
    ASSERT_NE(text, nullptr);
    const QString shown = Q(EditorText());
    ASSERT_EQ(text->characterCount(), shown.size());
    EXPECT_EQ(text->text(0, text->characterCount()), shown);
    EXPECT_EQ(text->text(5, 12), shown.mid(5, 7));

    // Walking the text line by line meets every line once, with its break.
    QStringList seen;
    int start = 0, end = 0;
    for (int offset = 0; offset < text->characterCount(); offset = end) {
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
