// The output editor against Qt's QPlainTextEdit (as the program had it), each in a process of its
// own so that their memory does not mix: memory per line at a day and a week of polling lines,
// the tick (set the colour, append a line, paint; CPU time) as the text grows, copying a day's text with
// Ctrl+A Ctrl+C and clearing a week's.
//   editor_bench [lines of a week]
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextCursor>

#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/globals.h"
#include "bench_support.h"
#include "platform/qt_access.h"
#include "ui/main_window.h"

namespace {

constexpr long DayOfLines = 345600;        // 4 Hz for 24 hours
constexpr long DefaultWeekOfLines = 2419200;
constexpr std::string_view PolledLine = "C:0A032A";

// One of the two controls behind the same three operations.
struct Editor {
    QWidget* widget = nullptr;
    std::function<void(std::string_view)> append;
    std::function<void(Rgb)> setColour;
    std::function<void()> clear;
};

// The program's own control, through the window operations.
Editor OutputViewEditor()
{
    return {ControlWidget(OutputEditor), [](std::string_view line) { AppendLine(OutputEditor, line); },
            [](Rgb colour) { SetTextColour(OutputEditor, colour); }, [] { ClearOutput(OutputEditor); }};
}

// QPlainTextEdit set up and fed as the program did before it had a control of its own.
Editor PlainTextEditor()
{
    QWidget* own = ControlWidget(OutputEditor);
    auto* editor = new QPlainTextEdit(MainWindowWidget());
    editor->setGeometry(own->geometry());
    own->hide();
    editor->setReadOnly(true);
    editor->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    editor->setLineWrapMode(QPlainTextEdit::NoWrap);
    editor->setUndoRedoEnabled(false);
    editor->show();
    static long lines = 0;
    static std::optional<Rgb> colour;
    return {editor,
            [editor](std::string_view line) {
                const QString text = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
                if (lines++ > 0 && editor->document()->isEmpty()) {
                    QTextCursor cursor(editor->document());
                    cursor.movePosition(QTextCursor::End);
                    cursor.insertBlock();
                    cursor.insertText(text);
                    return;
                }
                editor->appendPlainText(text);
            },
            [editor](Rgb wanted) {
                if (colour == wanted)
                    return;
                QPalette palette = editor->palette();
                palette.setColor(QPalette::Text, QColor(wanted.red, wanted.green, wanted.blue));
                editor->setPalette(palette);
                colour = wanted;
            },
            [editor] {
                editor->clear();
                editor->setUndoRedoEnabled(false);
                lines = 0;
            }};
}

double MillisecondsOf(const std::function<void()>& work)
{
    const auto started = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
}

// CPU time of the process (Qt paints some of it in pooled threads): what a tick costs the
// program, whatever else the machine runs meanwhile.
double CpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// A tick as the polling run has it, events and painting included: the median of a few batches'
// mean, so that a batch disturbed by another process does not count.
double TickMs(Editor& editor)
{
    constexpr int batchTicks = 200;
    std::vector<double> batches;
    for (int batch = 0; batch < 5; ++batch) {
        const double started = CpuMs();
        for (int tick = 0; tick < batchTicks; ++tick) {
            editor.setColour(G.ReplyColour);
            editor.append(PolledLine);
            QCoreApplication::processEvents();
        }
        batches.push_back((CpuMs() - started) / batchTicks);
    }
    std::sort(batches.begin(), batches.end());
    return batches[batches.size() / 2];
}

void Key(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(widget, &release);
}

// Runs in a child process: measures one control and writes "name value" lines to `out`.
void Measure(const std::string& control, long weekOfLines, FILE* out)
{
    StartOffscreenDesktop();
    SetInitialValues();
    BuildMainWindow();
    Editor editor = control == "view" ? OutputViewEditor() : PlainTextEditor();
    editor.setColour(G.ReplyColour);
    QCoreApplication::processEvents();
    const double startMiB = ResidentMiB();

    long lines = 0;
    for (const long size : {100L, DayOfLines, weekOfLines}) {
        for (; lines < size; ++lines) {
            editor.append(PolledLine);
            if (lines % 4096 == 0)
                QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
        const double perLine = (ResidentMiB() - startMiB) * 1024 * 1024 / static_cast<double>(lines);
        std::fprintf(out, "bytes%ld %.1f\n", size, perLine);
        std::fprintf(out, "tick%ld %.4f\n", size, TickMs(editor));
        lines += 1000;
        if (size == DayOfLines) {
            editor.widget->setFocus();
            QGuiApplication::clipboard()->clear();
            const double copyMs = MillisecondsOf([&] {
                Key(editor.widget, Qt::Key_A, Qt::ControlModifier);
                Key(editor.widget, Qt::Key_C, Qt::ControlModifier);
            });
            const bool whole = QGuiApplication::clipboard()->text().size() >= DayOfLines * 9;
            std::fprintf(out, "copy %.1f%s\n", copyMs, whole ? "" : "(incomplete)");
            QGuiApplication::clipboard()->clear();
            Key(editor.widget, Qt::Key_End, Qt::ControlModifier);
            QCoreApplication::processEvents();
        }
        std::fflush(out);
    }
    std::fprintf(out, "clear %.2f\n", MillisecondsOf([&] {
                     editor.clear();
                     QCoreApplication::processEvents();
                 }));
    std::fprintf(out, "afterclear %.1f\n", ResidentMiB() - startMiB);
    std::fflush(out);
}

// Runs one control in a child process and reads back what it measured.
std::map<std::string, std::string> RunChild(const std::string& control, long weekOfLines)
{
    int fds[2];
    if (pipe(fds) != 0)
        std::exit(1);
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        FILE* out = fdopen(fds[1], "w");
        Measure(control, weekOfLines, out);
        std::fclose(out);
        _exit(0);
    }
    close(fds[1]);
    std::map<std::string, std::string> results;
    FILE* in = fdopen(fds[0], "r");
    char name[64], value[64];
    while (std::fscanf(in, "%63s %63s", name, value) == 2)
        results[name] = value;
    std::fclose(in);
    waitpid(child, nullptr, 0);
    return results;
}

}  // namespace

int main(int argc, char** argv)
{
    const long week = argc > 1 ? std::atol(argv[1]) : DefaultWeekOfLines;
    std::printf("Each control in a process of its own; %ld lines of \"%s\" for a week.\n", week,
                std::string(PolledLine).c_str());
    auto plain = RunChild("plain", week);
    auto view = RunChild("view", week);

    const auto row = [&](const char* label, const std::string& key, const char* goal) {
        std::printf("%-34s %16s %16s   %s\n", label, plain[key].c_str(), view[key].c_str(), goal);
    };
    std::printf("%-34s %16s %16s   %s\n", "", "QPlainTextEdit", "OutputView", "goal");
    const std::string weekKey = std::to_string(week);
    row("bytes per line at 100", "bytes100", "");
    row("bytes per line at a day", "bytes" + std::to_string(DayOfLines), "<= 40");
    row("bytes per line at a week", "bytes" + weekKey, "<= 40");
    row("tick at 100 lines (ms)", "tick100", "view <= QPlainTextEdit");
    row("tick at a day (ms)", "tick" + std::to_string(DayOfLines), "");
    row("tick at a week (ms)", "tick" + weekKey, "<= 1.2 x tick at 100");
    const auto ratio = [&](std::map<std::string, std::string>& of) {
        const double first = std::atof(of["tick100"].c_str());
        return first > 0 ? std::atof(of["tick" + weekKey].c_str()) / first : 0.0;
    };
    std::printf("%-34s %16.2f %16.2f   %s\n", "tick at a week / tick at 100", ratio(plain), ratio(view), "<= 1.2");
    row("Ctrl+A Ctrl+C of a day (ms)", "copy", "< 1000");
    row("clear after a week (ms)", "clear", "< 10");
    row("memory left after clear (MiB)", "afterclear", "");
    return 0;
}
