#pragma once

// Reaching elements of the page shown in a web view as a user would: where
// an element lies, and waiting until a new document takes input events.

#include "EventLoop.h"

#include <QPoint>
#include <QTest>
#include <QVariant>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <memory>

// The centre of the element with the given id, in the view's coordinates.
inline QPoint Centre(QWebEngineView* view, const QString& id) {
    QVariant result;
    view->page()->runJavaScript(
        QStringLiteral("(function(){var r=document.getElementById('%1').getBoundingClientRect();"
                       "return [r.left+r.width/2, r.top+r.height/2];})()")
            .arg(id),
        [&](const QVariant& v) { result = v; });
    EXPECT_TRUE(RunUntil([&] { return result.isValid(); }));
    const QVariantList xy = result.toList();
    return xy.size() == 2 ? QPoint(xy[0].toInt(), xy[1].toInt()) : QPoint();
}

// A new document may miss the first input events: clicks on a blank spot
// until the page (whose script sets window.probed on a click) has seen one.
inline void WaitForInput(QWebEngineView* view, QPoint blank) {
    auto ready = std::make_shared<bool>(false);
    auto asked = std::make_shared<bool>(false);
    ASSERT_TRUE(RunUntil([&] {
        if (!*asked && !*ready) {
            *asked = true;
            QTest::mouseClick(view->focusProxy(), Qt::LeftButton, {}, blank);
            view->page()->runJavaScript(QStringLiteral("window.probed === true"),
                                        [ready, asked](const QVariant& v) {
                                            *ready = v.toBool();
                                            *asked = false;
                                        });
        }
        return *ready;
    }));
}
