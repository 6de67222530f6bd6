// The modal dialogs of the Qt front end, and the connect window.
#include "platform/shared/layout.h"
#include "platform/linux/desktop.h"
#include "utils/timing.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>

namespace {

// How long the connect window stays up without the program's icon.
constexpr std::chrono::milliseconds ConnectIconDelay = 200ms;

// The input dialog's client size where the window manager adds no frame we can measure (a
// Windows-like caption and border).
constexpr QSize InputDialogClientSize{294, 101};
constexpr int FrameFitTries = 50;   // at 20 ms each: a busy window manager may take a while

void SetGeometry(QWidget* control, Box box)
{
    control->setGeometry(box.left, box.top, box.width, box.height);
}

}  // namespace

std::string InputDialog(std::string_view title, std::string_view prompt, std::string_view preset)
{
    StartDesktop();
    GiveProgramIcon();
    // Owned by the main window where there is one, so that it gets the activation back afterwards.
    QDialog dialog(TheDesktop().mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    dialog.setWindowTitle(ToQt(title));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setFixedSize(InputDialogClientSize);
    dialog.setFont(GuiFont());

    auto* label = new QLabel(ToQt(prompt), &dialog);
    SetGeometry(label, InputDialogPrompt);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    FitTextToControl(label);
    auto* edit = new QLineEdit(ToQt(preset), &dialog);
    SetGeometry(edit, InputDialogField);
    edit->end(false);
    // A screen reader names the field by its prompt.
    label->setBuddy(edit);
    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    SetGeometry(ok, InputDialogOkButton);
    ok->setDefault(true);
    FitTextToControl(ok);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);

    // The window manager's frame is known only once the dialog is mapped: until then keep a
    // Windows-like client size, then fit the outer size and centre it.
    QTimer fitFrame;
    int fitTries = 0;
    QObject::connect(&fitFrame, &QTimer::timeout, &dialog, [&] {
        const QSize frame = dialog.frameGeometry().size() - dialog.size();
        if (!frame.isEmpty()) {
            dialog.setFixedSize(QSize(InputDialogWidth, InputDialogHeight) - frame);
            fitFrame.stop();
        } else if (++fitTries >= FrameFitTries) {
            fitFrame.stop();
        }
        CentreOnScreen(&dialog);
        dialog.raise();
        dialog.activateWindow();
    });
    fitFrame.start(20);
    // Showing the dialog focuses the field as if by Tab, which selects the preset: the caret goes
    // after the preset instead, with nothing selected.
    QTimer::singleShot(0, edit, [edit] {
        edit->setFocus(Qt::OtherFocusReason);
        edit->deselect();
        edit->end(false);
    });
    const EventQueue::ModalScope modal(WindowEvents());
    return dialog.exec() == QDialog::Accepted ? edit->text().toStdString() : std::string();
}

void MessageDialog(std::string_view title, std::string_view text)
{
    StartDesktop();
    GiveProgramIcon();
    QMessageBox box(QMessageBox::NoIcon, ToQt(title), ToShownText(text), QMessageBox::Ok, TheDesktop().mainWindow);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Ok)->setIcon(QIcon());   // a plain OK, as on every desktop
    box.setWindowModality(Qt::ApplicationModal);
    const EventQueue::ModalScope modal(WindowEvents());
    box.exec();
}

std::optional<std::string> ChooseFileToWrite(std::string_view title, std::string_view suggestedName,
                                             std::string_view appendQuestion)
{
    StartDesktop();
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QString chosen = QDir(folder).filePath(ToQt(suggestedName));
    const EventQueue::ModalScope modal(WindowEvents());
    for (;;) {
        chosen = QFileDialog::getSaveFileName(QApplication::activeWindow(), ToQt(title), chosen,
                                              QStringLiteral("Textdateien (*.txt);;Alle Dateien (*)"), nullptr,
                                              appendQuestion.empty() ? QFileDialog::Options()
                                                                     : QFileDialog::DontConfirmOverwrite);
        if (chosen.isEmpty())
            return std::nullopt;
        if (appendQuestion.empty() || !QFileInfo::exists(chosen))
            return chosen.toStdString();
        const QString question =
            ToShownText(appendQuestion).replace(QStringLiteral("{}"), QFileInfo(chosen).fileName());
        if (QMessageBox::question(QApplication::activeWindow(), ToQt(title), question) == QMessageBox::Yes)
            return chosen.toStdString();
    }
}

void OpenConnectWindow(std::string_view title, std::string_view text)
{
    StartDesktop();
    auto window = std::make_unique<QWidget>(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                                                         | Qt::MSWindowsFixedSizeDialogHint);
    window->setWindowTitle(ToQt(title));
    window->setFixedSize(ConnectWindowWidth, ConnectWindowHeight);
    window->setFont(GuiFont());
    auto* label = new QLabel(ToShownText(text), window.get());
    SetGeometry(label, ConnectWindowText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    // The icon is read only if the board keeps the window up for a while: at a quick connection,
    // it would only hold the main window back.
    QTimer::singleShot(ConnectIconDelay, window.get(), GiveProgramIcon);
    // Shown, and painted at the program's first wait (see WaitForSocket): centred meanwhile as
    // far as it can be before the window manager gives it its frame.
    CentreOnScreen(window.get());
    window->show();
    window->raise();
    window->activateWindow();
    FitTextToControl(label);
    TheDesktop().connectWindow = std::move(window);
    TheDesktop().connectWindowPainted = false;
}

void CloseConnectWindow()
{
    TheDesktop().connectWindow.reset();
}
