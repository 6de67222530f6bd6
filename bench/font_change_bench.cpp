// A change of font (or of dpi) at a week of polling lines: what it costs to know the widest line
// again, through the output model with a measure of its own (every UTF-16 unit 7 pixels wide)
// and through the Qt view on the offscreen platform (setFont, then the events and the painting
// it brings), beside measuring every line as the views did before. Goal: well under 100 ms.
//   font_change_bench [lines]
#include <QApplication>
#include <QFont>
#include <QTextLayout>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "app/startup.h"
#include "bench_support.h"
#include "platform/shared/layout.h"
#include "platform/linux/output.h"
#include "platform/linux/qt_access.h"
#include "platform/shared/output_model.h"
#include "ui/main_window.h"

namespace {

constexpr long DefaultWeekOfLines = 2419200;
constexpr std::string_view PolledLine = "C:0A032A";
// A run of polling opens with a longer line, as the program writes it.
constexpr std::string_view RunLine = "*** Starte Polling mit Befehls-Sequenz 'C' ***";

class FixedMeasure final : public OutputMeasure {
public:
    int unit = 7;
    int Width(std::u16string_view line) const override { return static_cast<int>(line.size()) * unit; }
    int ColumnX(std::u16string_view, int column) const override { return column * unit; }
    int ColumnAt(std::u16string_view, int x) const override { return x / unit; }
    int Step(std::u16string_view, int column, OutputMove move) const override
    {
        return move == OutputMove::NextChar || move == OutputMove::NextWord ? column + 1 : column - 1;
    }
};

double MillisecondsOf(const std::function<void()>& work)
{
    const auto started = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
}

void Fill(long lines, const std::function<void(std::string_view)>& append)
{
    append(RunLine);
    for (long line = 1; line < lines; ++line) {
        append(PolledLine);
        if (line % 4096 == 0 && QCoreApplication::instance())
            QCoreApplication::processEvents();
    }
}

// The model alone: Remeasure against a walk over every line with the same measure.
void ModelFontChange(long lines)
{
    FixedMeasure measure;
    OutputModel model;
    model.SetMetrics(16, 4);
    model.SetViewSize(600, 400);
    Fill(lines, [&](std::string_view line) { model.Append(line, measure); });
    measure.unit = 9;
    const double remeasured = MillisecondsOf([&] { model.Remeasure(measure); });
    std::uint32_t widest = 0;
    const double everyLine = MillisecondsOf([&] {
        for (std::size_t line = 0; line < model.LineCount(); ++line)
            widest = std::max(widest, static_cast<std::uint32_t>(measure.Width(model.LineText(line))));
    });
    std::printf("model, %ld lines:   font change %8.3f ms   (every line measured: %8.1f ms)   widest %u = %u\n",
                lines, remeasured, everyLine, model.Widest(), widest);
}

// The Qt view of the main window: setFont and the events and painting it brings, beside laying
// out every line once as the view did before.
void ViewFontChange(long lines)
{
    StartOffscreenDesktop();
    SetInitialValues();
    BuildMainWindow();
    auto* view = static_cast<OutputView*>(ControlWidget(OutputEditor));
    Fill(lines, [](std::string_view line) { AppendLine(OutputEditor, line); });
    QCoreApplication::processEvents();
    QFont font = view->font();
    for (const double scale : {1.5, 1.0 / 1.5}) {
        if (font.pixelSize() > 0)
            font.setPixelSize(static_cast<int>(std::lround(font.pixelSize() * scale)));
        else
            font.setPointSizeF(font.pointSizeF() * scale);
        const double changed = MillisecondsOf([&] {
            view->setFont(font);
            QCoreApplication::processEvents();
        });
        std::printf("Qt view, %ld lines: font change %8.3f ms   (line height %d, widest %u)\n", lines, changed,
                    view->Model().LineHeight(), view->Model().Widest());
    }
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setTabStopDistance(OutputTabStop);
    std::uint32_t widest = 0;
    const double everyLine = MillisecondsOf([&] {
        for (std::size_t line = 0; line < view->LineCount(); ++line) {
            QTextLayout layout(view->LineText(line), font, view->viewport());
            layout.setTextOption(option);
            layout.beginLayout();
            layout.createLine().setLineWidth(8e6);
            layout.endLayout();
            widest = std::max(widest, static_cast<std::uint32_t>(std::ceil(layout.lineAt(0).naturalTextWidth())));
        }
    });
    std::printf("Qt view, %ld lines: every line laid out as before: %.1f ms (widest %u)\n", lines, everyLine, widest);
}

}  // namespace

int main(int argc, char** argv)
{
    const long lines = argc > 1 ? std::atol(argv[1]) : DefaultWeekOfLines;
    ModelFontChange(lines);
    ViewFontChange(lines);
    return 0;
}
