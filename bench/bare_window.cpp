// The yardstick of bench/startup.sh: a bare Qt Widgets window with the main window's controls
// (the same kinds, texts, tooltips, places and font), and nothing else: no sound, no settings,
// no board, no icon or translations. It shows itself and waits to be ended.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

namespace {

struct Control {
    enum Kind { Title, Field, Button, Toggle, Output } kind;
    int left, top, width, height;
    const char* text;
    const char* tooltip;
};

constexpr Control Controls[] = {
    {Control::Title, 10, 10, 400, 20, "Konsole für direkte Befehle an das Varnex-NET-IO-Board", ""},
    {Control::Field, 10, 40, 200, 20, "", "Konsolenbefehl hier eingeben und anschließend 'Befehl Senden' anklicken"},
    {Control::Button, 220, 40, 90, 20, "Befehl Senden", "Konsolenbefehl absenden"},
    {Control::Button, 320, 40, 90, 20, "Befehlsübersicht", "Übersicht der möglichen Konsolen-Befehle"},
    {Control::Output, 10, 70, 400, 200, "", "Hier erscheinen Ihre Konsolenbefehle"},
    {Control::Button, 230, 310, 180, 20, "Varnex-Homepage", "Zu Varnex (Varnex-NET-IO)"},
    {Control::Button, 230, 280, 180, 20, "Brannholt-Homepage", "Zu Brannholt (Skarvel)"},
    {Control::Button, 10, 280, 180, 20, "Varnex-Board via HTTP", "per HTTP-Zugriff auf das Varnex-NET-IO-Board"},
    {Control::Button, 10, 310, 180, 20, "'Q'=Anzahl der Einträge abfragen", "Varnex: Ausführung von Q-Befehl"},
    {Control::Toggle, 10, 340, 180, 20, "Polling-Modus", "Varnex: permanente, zyklische Datenabfrage"},
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QWidget window(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                                | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    window.setWindowTitle(QStringLiteral("Bare Qt window"));
    window.setFixedSize(420, 370);
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("Arial"), font.family()});
    font.setPixelSize(11);
    window.setFont(font);
    for (const Control& control : Controls) {
        QWidget* widget = nullptr;
        const QString text = QString::fromUtf8(control.text);
        switch (control.kind) {
        case Control::Title: {
            auto* label = new QLabel(text, &window);
            QFont title(QStringLiteral("Arial"));
            title.setPixelSize(16);
            title.setBold(true);
            label->setFont(title);
            label->setAlignment(Qt::AlignCenter);
            widget = label;
            break;
        }
        case Control::Field: widget = new QLineEdit(&window); break;
        case Control::Button:
        case Control::Toggle: {
            auto* button = new QPushButton(text, &window);
            button->setCheckable(control.kind == Control::Toggle);
            widget = button;
            break;
        }
        case Control::Output: widget = new QPlainTextEdit(&window); break;
        }
        widget->setGeometry(control.left, control.top, control.width, control.height);
        widget->setToolTip(QString::fromUtf8(control.tooltip));
    }
    window.show();
    return application.exec();
}
