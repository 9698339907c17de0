// The screen cursor helper never leaves more than one override behind.
#include "gallery/ScreenCursor.h"

#include <gtest/gtest.h>

#include <QCursor>
#include <QGuiApplication>

TEST(ScreenCursor, UnmatchedSetsLeaveOneOverrideThatOneRestoreRemoves) {
    setScreenCursor(ScreenCursor::Hourglass);
    setScreenCursor(ScreenCursor::AppStarting);
    setScreenCursor(ScreenCursor::Hourglass);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    restoreSavedCursor();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(screenCursor(), ScreenCursor::Default);
    restoreSavedCursor(); // nothing left to restore: harmless
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(ScreenCursor, ShapesOfTheNamedCursors) {
    EXPECT_EQ(cursorShapeFor(ScreenCursor::Hourglass), Qt::WaitCursor);
    EXPECT_EQ(cursorShapeFor(ScreenCursor::AppStarting), Qt::BusyCursor);
    setScreenCursor(ScreenCursor::AppStarting);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BusyCursor);
    restoreSavedCursor();
}
