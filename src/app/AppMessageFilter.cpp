#include "app/AppMessageFilter.h"

#include "app/MainWindow.h"

#include <QEvent>
#include <QKeyEvent>

bool AppMessageFilter::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        // A key event reaches the filter once per object on its way up;
        // setting the same state again changes nothing.
        if (key->key() == Qt::Key_Control && !key->isAutoRepeat()) {
            HeldByCtrl_ = event->type() == QEvent::KeyPress;
            Form_.SetCapture(HeldByCtrl_);
        }
        break;
    }
    case QEvent::WindowDeactivate:
    case QEvent::ApplicationDeactivate:
        // The Ctrl release will not reach this window: a capture the key
        // switched on ends here (one switched on by its panel stays).
        if (HeldByCtrl_ && (watched == &Form_ || event->type() == QEvent::ApplicationDeactivate)) {
            HeldByCtrl_ = false;
            Form_.SetCapture(false);
        }
        break;
    case QEvent::Quit:
        if (Form_.Gallery().Closing) return true;
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
