// The output editor against Qt's QPlainTextEdit (as the program had it), each in a process of its
// own so that their memory does not mix: memory per line at a day and a week of polling lines,
// the tick (set the colour, append a line, paint; CPU time) at a day and a week against the tick
// of an editor of 100 lines, copying a day's text with Ctrl+A Ctrl+C and clearing a week's.
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
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "globals.h"
#include "app/startup.h"
#include "bench_support.h"
#include "platform/linux/output.h"
#include "platform/linux/qt_access.h"
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

// The program's own control.
Editor OutputViewEditor(QRect geometry)
{
    auto* view = new OutputView(MainWindowWidget());
    view->setGeometry(geometry);
    view->show();
    return {view, [view](std::string_view line) { view->AppendLine(line); },
            [view](Rgb colour) { view->SetTextColour(QColor(colour.red, colour.green, colour.blue)); },
            [view] { view->Clear(); }};
}

// QPlainTextEdit set up and fed as the program did before it had a control of its own.
Editor PlainTextEditor(QRect geometry)
{
    auto* editor = new QPlainTextEdit(MainWindowWidget());
    editor->setGeometry(geometry);
    editor->setReadOnly(true);
    editor->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    editor->setLineWrapMode(QPlainTextEdit::NoWrap);
    editor->setUndoRedoEnabled(false);
    editor->show();
    struct State {
        long lines = 0;
        std::optional<Rgb> colour;
    };
    auto state = std::make_shared<State>();
    return {editor,
            [editor, state](std::string_view line) {
                const QString text = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
                if (state->lines++ > 0 && editor->document()->isEmpty()) {
                    QTextCursor cursor(editor->document());
                    cursor.movePosition(QTextCursor::End);
                    cursor.insertBlock();
                    cursor.insertText(text);
                    return;
                }
                editor->appendPlainText(text);
            },
            [editor, state](Rgb wanted) {
                if (state->colour == wanted)
                    return;
                QPalette palette = editor->palette();
                palette.setColor(QPalette::Text, QColor(wanted.red, wanted.green, wanted.blue));
                editor->setPalette(palette);
                state->colour = wanted;
            },
            [editor, state] {
                editor->clear();
                editor->setUndoRedoEnabled(false);
                state->lines = 0;
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

// The mean cost of a batch of ticks as the polling run has them, events and painting included.
double BatchTickMs(Editor& editor)
{
    constexpr int batchTicks = 200;
    const double started = CpuMs();
    for (int tick = 0; tick < batchTicks; ++tick) {
        editor.setColour(ReplyColour);
        editor.append(PolledLine);
        QCoreApplication::processEvents();
    }
    return (CpuMs() - started) / batchTicks;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Ticks on the large editor and on a small one of 100 lines, batch by batch in turn, so that both
// meet the same load from whatever else runs on the machine; the medians of the batches.
std::pair<double, double> TicksLargeAndSmall(Editor& large, Editor& small)
{
    std::vector<double> largeBatches, smallBatches;
    for (int round = 0; round < 7; ++round) {
        small.clear();
        for (int line = 0; line < 100; ++line)
            small.append(PolledLine);
        QCoreApplication::processEvents();
        smallBatches.push_back(BatchTickMs(small));
        largeBatches.push_back(BatchTickMs(large));
    }
    return {Median(largeBatches), Median(smallBatches)};
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
    // The program's own editor makes room for two of the kind measured, side by side.
    QWidget* window = MainWindowWidget();
    const QRect place = ControlWidget(OutputEditor)->geometry();
    ControlWidget(OutputEditor)->hide();
    window->setFixedSize(window->width() + place.width() + 10, window->height());
    const auto make = control == "view" ? OutputViewEditor : PlainTextEditor;
    Editor large = make(place);
    Editor small = make(place.translated(place.width() + 10, 0));
    large.setColour(ReplyColour);
    small.setColour(ReplyColour);
    QCoreApplication::processEvents();
    // Warms up fonts and caches before anything is measured.
    BatchTickMs(small);
    small.clear();
    QCoreApplication::processEvents();
    const double startMiB = ResidentMiB();

    long lines = 0;
    std::vector<double> smallTicks;
    for (const long size : {DayOfLines, weekOfLines}) {
        for (; lines < size; ++lines) {
            large.append(PolledLine);
            if (lines % 4096 == 0)
                QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
        const double perLine = (ResidentMiB() - startMiB) * 1024 * 1024 / static_cast<double>(lines);
        std::fprintf(out, "bytes%ld %.1f\n", size, perLine);
        const auto [largeTick, smallTick] = TicksLargeAndSmall(large, small);
        std::fprintf(out, "tick%ld %.4f\n", size, largeTick);
        smallTicks.push_back(smallTick);
        lines += 7 * 200;
        if (size == DayOfLines) {
            large.widget->setFocus();
            QGuiApplication::clipboard()->clear();
            const double copyMs = MillisecondsOf([&] {
                Key(large.widget, Qt::Key_A, Qt::ControlModifier);
                Key(large.widget, Qt::Key_C, Qt::ControlModifier);
            });
            const bool whole = QGuiApplication::clipboard()->text().size() >= DayOfLines * 9;
            std::fprintf(out, "copy %.1f%s\n", copyMs, whole ? "" : "(incomplete)");
            QGuiApplication::clipboard()->clear();
            Key(large.widget, Qt::Key_End, Qt::ControlModifier);
            QCoreApplication::processEvents();
        }
        std::fflush(out);
    }
    std::fprintf(out, "tick100 %.4f\n", Median(smallTicks));
    std::fprintf(out, "clear %.2f\n", MillisecondsOf([&] {
                     large.clear();
                     QCoreApplication::processEvents();
                 }));
    std::fprintf(out, "afterclear %.1f\n", ResidentMiB() - startMiB);
    // A second run after the first clear: memory must go back again, not stay at its peak.
    for (long line = 0; line < DayOfLines; ++line) {
        large.append(PolledLine);
        if (line % 4096 == 0)
            QCoreApplication::processEvents();
    }
    large.clear();
    QCoreApplication::processEvents();
    std::fprintf(out, "afterclear2 %.1f\n", ResidentMiB() - startMiB);
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
    row("... after a day more and clear (MiB)", "afterclear2", "");
    return 0;
}
