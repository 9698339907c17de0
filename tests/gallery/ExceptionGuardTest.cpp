// An exception never crosses the event loop: handlers catch at their
// boundary, and the application object reports what is left and goes on.
#include "gallery/ExceptionGuard.h"

#include "EventLoop.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

class RecordedMessages : public MessageSink {
public:
    void ShowMessage(std::string_view text) override { Texts.emplace_back(text); }
    std::vector<std::string> Texts;
};

// Throws from its event handler, as a faulty slot would.
class ThrowingObject : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) {
            ++Seen;
            if (ThrowSomethingElse) throw 42;
            throw std::runtime_error("tile vanished");
        }
        return QObject::event(e);
    }
    int Seen = 0;
    bool ThrowSomethingElse = false;
};

} // namespace

TEST(ExceptionGuard, RunGuardedTurnsExceptionsIntoMessages) {
    RecordedMessages messages;
    EXPECT_TRUE(RunGuarded([] {}, &messages));
    EXPECT_FALSE(RunGuarded([] { throw std::runtime_error("disk gone"); }, &messages));
    EXPECT_FALSE(RunGuarded([] { throw 7; }, &messages));
    EXPECT_FALSE(RunGuarded([] { throw std::logic_error("x"); }, nullptr)); // no sink: silent
    EXPECT_EQ(messages.Texts, (std::vector<std::string>{"Unexpected error: disk gone",
                                                        "Unexpected error: unknown exception"}));
}

TEST(ExceptionGuard, TheApplicationReportsWhatReachesTheEventLoopAndGoesOn) {
    auto* app = dynamic_cast<GuardedApplication*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    RecordedMessages messages;
    app->Messages = &messages;
    const int before = app->ExceptionsCaught();
    ThrowingObject target;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    ASSERT_TRUE(RunUntil([&] { return target.Seen == 1; }));
    target.ThrowSomethingElse = true;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    ASSERT_TRUE(RunUntil([&] { return target.Seen == 2; }));
    // Still alive, both reported, and events still flow.
    bool later = false;
    QMetaObject::invokeMethod(
        &target, [&] { later = true; }, Qt::QueuedConnection);
    EXPECT_TRUE(RunUntil([&] { return later; }));
    EXPECT_EQ(app->ExceptionsCaught() - before, 2);
    EXPECT_EQ(messages.Texts, (std::vector<std::string>{"Unexpected error: tile vanished",
                                                        "Unexpected error: unknown exception"}));
    app->Messages = nullptr;
}
