#pragma once

// Watches every event of the application for the main window: the Ctrl key
// switches the browser capture on while it is held (and off when the
// window loses focus, since the release may then go to another window),
// and a quit request
// that comes while the controller is shutting down is swallowed (the
// controller ends the application itself when its countdown is over).

#include <QObject>

class MainWindow;

class AppMessageFilter : public QObject {
public:
    explicit AppMessageFilter(MainWindow& form) : Form_(form) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MainWindow& Form_;
    bool HeldByCtrl_ = false; // the capture was switched on by the Ctrl key
};
