// Every text inside its fixed control, and one scale for the whole window, under whatever fonts,
// dpi and scaling the environment gives: ctest runs these cases with Liberation and with only
// DejaVu fonts, at 96, 144 and 192 dpi, with Qt's scaling on, off and forced.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetricsF>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionButton>

#include "globals.h"
#include "app/startup.h"
#include "desktop_support.h"
#include "platform/linux/qt_access.h"
#include "ui/main_window.h"

namespace {

constexpr int Readable = 9;        // pixels: no text gets smaller
constexpr int TitlePixels = 15;    // 11 points at 96 dpi

// Whether the desktop has Arial or its metric twin, for which the layout was made.
bool ArialLike(const QFont& font)
{
    const QString family = QFontInfo(font).family();
    return family == "Arial" || family == "Liberation Sans";
}

// Where the style draws a button's text: what lies outside is cut off.
QRect ButtonTextArea(const QPushButton* button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    return button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
}

void ExpectButtonFits(const QPushButton* button)
{
    SCOPED_TRACE(button->text().toStdString());
    const QFontMetricsF metrics(button->font());
    const QRect area = ButtonTextArea(button);
    EXPECT_LE(metrics.horizontalAdvance(button->text()), area.width());
    EXPECT_LE(metrics.height(), area.height());
    EXPECT_GE(button->font().pixelSize(), Readable);
}

// The label's text as the label lays it out; `lines` gets its line count where asked for.
QRectF LaidOut(const QLabel* label, int* lines = nullptr)
{
    const QFontMetricsF metrics(label->font());
    const QRectF box(QPointF(), QSizeF(label->contentsRect().width(), 1000));
    const QRectF used = metrics.boundingRect(box, label->wordWrap() ? Qt::TextWordWrap : 0, label->text());
    if (lines)
        *lines = static_cast<int>(std::lround(used.height() / metrics.lineSpacing()));
    return used;
}

void ExpectLabelFits(const QLabel* label)
{
    SCOPED_TRACE(label->text().toStdString());
    const QRectF used = LaidOut(label);
    EXPECT_LE(used.width(), label->contentsRect().width());
    EXPECT_LE(used.height(), label->contentsRect().height());
    EXPECT_GE(label->font().pixelSize(), Readable);
}

class FitTest : public testing::Test {
protected:
    void SetUp() override
    {
        SetInitialValues();
        StartDesktop();
    }
    void TearDown() override { EndDesktop(); }
};

TEST_F(FitTest, EveryMainWindowTextFitsAndTheTitleKeepsTheLayoutsScale)
{
    ASSERT_TRUE(BuildMainWindow());
    QWidget* window = MainWindowWidget();
    EXPECT_EQ(window->size(), QSize(MainWindowWidth, MainWindowHeight));
    const bool arial = ArialLike(window->font());
    for (const ControlSpec& control : MainWindowControls) {
        QWidget* widget = ControlWidget(control.number);
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            ExpectButtonFits(button);
            if (arial) {
                EXPECT_EQ(button->font(), window->font()) << control.text << " at " << button->font().pixelSize() << " px";
            }
        }
    }
    auto* title = qobject_cast<QLabel*>(ControlWidget(TitleText));
    ExpectLabelFits(title);
    EXPECT_TRUE(title->font().bold());
    // Given in the layout's own pixels, whatever the screen's dpi: larger never, smaller only to fit.
    EXPECT_LE(title->font().pixelSize(), TitlePixels);
    if (arial) {
        EXPECT_EQ(title->font().pixelSize(), TitlePixels);
    }
}

TEST_F(FitTest, TheConnectWindowShowsAllItsLinesAlsoForALongHostName)
{
    const std::string shortHost = "192.168.0.90";
    const std::string longHost = "netio-board-07.werkstatt.example-firma.de";
    ASSERT_EQ(longHost.size(), 41u);
    for (const std::string& host : {shortHost, longHost}) {
        SCOPED_TRACE(host);
        OpenConnectWindow("Varnex-NET-IO: Meldung",
                          "Verbindungsaufbau zum Varnex-NET-IO-Board...\r\rIP/DNS: " + host + "\r\rPort: 64400");
        auto* label = ConnectWindowWidget()->findChild<QLabel*>();
        ExpectLabelFits(label);
        int lines = 0;
        LaidOut(label, &lines);
        // Five lines; a long name may wrap once.
        if (host == shortHost) {
            EXPECT_EQ(lines, 5);
        } else {
            EXPECT_TRUE(lines == 5 || lines == 6) << lines;
        }
        CloseConnectWindow();
    }
}

TEST_F(FitTest, TheInputDialogsPromptAndButtonFit)
{
    for (const char* prompt : {"IP oder DNS (192.168.0.90 / netio.dyndns.org)?",
                               "Polling-Befehl eingeben! (z. B. 'C'=Uhrzeit)"}) {
        SCOPED_TRACE(prompt);
        bool looked = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || looked)
                return;
            looked = true;
            ExpectLabelFits(dialog->findChild<QLabel*>());
            ExpectButtonFits(dialog->findChild<QPushButton*>());
            dialog->reject();
        });
        poll.start(5);
        InputDialog("Skarvel: Meldung", prompt, "");
        EXPECT_TRUE(looked);
    }
}

}  // namespace
