// For tests only: the Qt widgets behind the numbered controls, to look at and click them.
#pragma once

class QWidget;

QWidget* ControlWidget(int number);
QWidget* MainWindowWidget();
QWidget* ConnectWindowWidget();
