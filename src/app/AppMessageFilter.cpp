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
        if (key->key() == Qt::Key_Control && !key->isAutoRepeat())
            Form_.SetCapture(event->type() == QEvent::KeyPress);
        break;
    }
    case QEvent::Quit:
        if (Form_.Gallery().Closing) return true;
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
