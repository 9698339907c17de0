#include "ScreenCursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace {

// The one override this helper may have pushed; Default when none.
ScreenCursor gCurrent = ScreenCursor::Default;

} // namespace

Qt::CursorShape cursorShapeFor(ScreenCursor cursor) {
    switch (cursor) {
    case ScreenCursor::Hourglass:
        return Qt::WaitCursor;
    case ScreenCursor::AppStarting:
        return Qt::BusyCursor;
    case ScreenCursor::Default:
        break;
    }
    return Qt::ArrowCursor;
}

void setScreenCursor(ScreenCursor cursor) {
    if (cursor == gCurrent) return;
    if (cursor == ScreenCursor::Default) {
        QGuiApplication::restoreOverrideCursor();
    } else if (gCurrent == ScreenCursor::Default) {
        QGuiApplication::setOverrideCursor(QCursor(cursorShapeFor(cursor)));
    } else {
        QGuiApplication::changeOverrideCursor(QCursor(cursorShapeFor(cursor)));
    }
    gCurrent = cursor;
}

void restoreSavedCursor() {
    setScreenCursor(ScreenCursor::Default);
}

ScreenCursor screenCursor() {
    return gCurrent;
}
