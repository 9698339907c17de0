#pragma once

#include <Qt>

// The application-wide "screen cursor" that long operations change and later
// restore: an hourglass during a long walk, an arrow with hourglass while the
// browser loads. Qt keeps a stack of override cursors, where one unmatched
// set would leave a busy cursor for good; this helper holds at most one
// override, so setting a second cursor replaces the first and restoring is
// always complete.
enum class ScreenCursor { Default, Hourglass, AppStarting };

// Makes cursor the screen cursor; Default removes the override.
void setScreenCursor(ScreenCursor cursor);
// Back to the cursor the main window saved at creation (no override).
void restoreSavedCursor();
// The override in force, Default when there is none.
ScreenCursor screenCursor();
// The Qt cursor shape a screen cursor stands for.
Qt::CursorShape cursorShapeFor(ScreenCursor cursor);
