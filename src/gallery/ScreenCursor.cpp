#include "ScreenCursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace {

// The one override this helper may have pushed; Default when none.
TScreenCursor gCurrent = TScreenCursor::Default;

} // namespace

Qt::CursorShape cursorShapeFor(TScreenCursor cursor) {
    switch (cursor) {
    case TScreenCursor::Hourglass:
        return Qt::WaitCursor;
    case TScreenCursor::AppStarting:
        return Qt::BusyCursor;
    case TScreenCursor::Default:
        break;
    }
    return Qt::ArrowCursor;
}

void setScreenCursor(TScreenCursor cursor) {
    if (cursor == gCurrent) return;
    if (cursor == TScreenCursor::Default) {
        QGuiApplication::restoreOverrideCursor();
    } else if (gCurrent == TScreenCursor::Default) {
        QGuiApplication::setOverrideCursor(QCursor(cursorShapeFor(cursor)));
    } else {
        QGuiApplication::changeOverrideCursor(QCursor(cursorShapeFor(cursor)));
    }
    gCurrent = cursor;
}

void restoreSavedCursor() {
    setScreenCursor(TScreenCursor::Default);
}

TScreenCursor screenCursor() {
    return gCurrent;
}
