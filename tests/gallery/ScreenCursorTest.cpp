// The screen cursor helper never leaves more than one override behind.
#include "gallery/ScreenCursor.h"

#include <gtest/gtest.h>

#include <QCursor>
#include <QGuiApplication>

TEST(ScreenCursor, UnmatchedSetsLeaveOneOverrideThatOneRestoreRemoves) {
    setScreenCursor(TScreenCursor::Hourglass);
    setScreenCursor(TScreenCursor::AppStarting);
    setScreenCursor(TScreenCursor::Hourglass);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    restoreSavedCursor();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(screenCursor(), TScreenCursor::Default);
    restoreSavedCursor(); // nothing left to restore: harmless
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(ScreenCursor, ShapesOfTheNamedCursors) {
    EXPECT_EQ(cursorShapeFor(TScreenCursor::Hourglass), Qt::WaitCursor);
    EXPECT_EQ(cursorShapeFor(TScreenCursor::AppStarting), Qt::BusyCursor);
    setScreenCursor(TScreenCursor::AppStarting);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BusyCursor);
    restoreSavedCursor();
}
