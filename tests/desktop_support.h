// Helpers for tests of the real widgets on Qt's offscreen platform: answering the modal dialogs
// the program opens, and pumping events with a bound.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "seen_dialog.h"

// How to answer the next dialog: for an input dialog, the text to put in before accepting, or
// nothing to cancel with Escape; message boxes are always confirmed.
struct Answer {
    std::optional<std::string> text;
};

// Answers the program's modal dialogs in turn while it waits in them, and records what they showed.
class DialogAnswerer {
public:
    explicit DialogAnswerer(std::vector<Answer> answers = {}) : answers_(answers.begin(), answers.end())
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start(5);
    }

    std::vector<SeenDialog> seen;

private:
    void Poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        // Dialogs live on the stack: a new one may take an old one's address, so mark each.
        if (!modal || modal->property("answered").toBool())
            return;
        modal->setProperty("answered", true);
        SeenDialog dialog;
        dialog.title = modal->windowTitle().toStdString();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            dialog.text = box->text().toStdString();
            seen.push_back(dialog);
            QTimer::singleShot(0, box, [box] { box->accept(); });
            return;
        }
        auto* edit = modal->findChild<QLineEdit*>();
        auto* label = modal->findChild<QLabel*>();
        auto* dialogWidget = qobject_cast<QDialog*>(modal);
        if (!edit || !dialogWidget)
            return;
        dialog.input = true;
        dialog.text = label ? label->text().toStdString() : "";
        dialog.preset = edit->text().toStdString();
        seen.push_back(dialog);
        const Answer answer = answers_.empty() ? Answer{dialog.preset} : answers_.front();
        if (!answers_.empty())
            answers_.pop_front();
        QTimer::singleShot(0, dialogWidget, [dialogWidget, edit, answer] {
            if (!answer.text) {
                dialogWidget->reject();
                return;
            }
            edit->setText(QString::fromStdString(*answer.text));
            dialogWidget->findChild<QPushButton*>()->click();
        });
    }

    std::deque<Answer> answers_;
    QTimer timer_;
};

// Processes events until `done` or `limitMs` has passed; returns `done()`.
inline bool PumpUntil(const std::function<bool()>& done, int limitMs = 3000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}
