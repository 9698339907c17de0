// The paint pacer: a window changed on every turn of the event loop is
// repainted only after a rest proportional to what its last repaint cost, and
// the last change is painted all the same.
#include <gtest/gtest.h>

#include "EventLoop.h"
#include "app/PaintPacer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QThread>
#include <QVBoxLayout>
#include <QWidget>

#include <vector>

namespace {

// A panel whose repaint costs at least 2 ms of CPU time, as a page of tiles
// does; it notes what each repaint showed, what it cost, and when it began
// and ended.
class SlowPanel : public QWidget {
public:
    struct Repaint {
        int Value;
        qint64 CostNs, BeginNs, EndNs;
    };
    int Value = 0;
    std::vector<Repaint> Repaints;
    QElapsedTimer Clock;

protected:
    void paintEvent(QPaintEvent*) override {
        const qint64 begin = Clock.nsecsElapsed();
        const qint64 cpu = PaintPacer::ThreadCpuNs();
        QPainter(this).drawText(rect(), QString::number(Value));
        while (PaintPacer::ThreadCpuNs() - cpu < 2'000'000) {
        }
        Repaints.push_back({Value, PaintPacer::ThreadCpuNs() - cpu, begin, Clock.nsecsElapsed()});
    }
};

} // namespace

TEST(PaintPacer, AWindowChangedOnEveryTurnRestsBetweenRepaintsAndShowsTheLastChange) {
    QWidget window;
    auto* panel = new SlowPanel;
    (new QVBoxLayout(&window))->addWidget(panel);
    window.resize(200, 100);
    new PaintPacer(&window);
    panel->Clock.start();
    window.show();
    ASSERT_TRUE(RunUntil([&] { return !panel->Repaints.empty(); }));
    // Showing paints without asking: only what follows is paced.
    panel->Repaints.clear();

    constexpr int kChanges = 60;
    for (int i = 1; i <= kChanges; ++i) {
        panel->Value = i;
        panel->update();
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(RunUntil([&] { return panel->Repaints.back().Value == kChanges; }));

    const auto& repaints = panel->Repaints;
    EXPECT_LT(repaints.size(), std::size_t(kChanges) / 2) << "repaints were not held back";
    for (std::size_t i = 1; i < repaints.size(); ++i) {
        const qint64 rest = repaints[i].BeginNs - repaints[i - 1].EndNs;
        EXPECT_GE(rest, PaintPacer::RestAfter(repaints[i - 1].CostNs)) << "repaint " << i;
    }
}

// A repaint that waits, as a flush through OpenGL waits for the screen's
// refresh, costs the thread nothing: the browser's frames are not held back.
TEST(PaintPacer, WaitingInARepaintIsNoCostToRestFor) {
    class WaitingPanel : public QWidget {
    public:
        int Repaints = 0;

    protected:
        void paintEvent(QPaintEvent*) override {
            QThread::msleep(20);
            ++Repaints;
        }
    };
    QWidget window;
    auto* panel = new WaitingPanel;
    (new QVBoxLayout(&window))->addWidget(panel);
    window.resize(200, 100);
    const auto* pacer = new PaintPacer(&window);
    window.show();
    ASSERT_TRUE(RunUntil([&] { return panel->Repaints > 0; }));
    const int before = panel->Repaints;
    panel->update();
    ASSERT_TRUE(RunUntil([&] { return panel->Repaints > before; }));
    EXPECT_LT(pacer->RestNs(), PaintPacer::RestAfter(20'000'000) / 4);
}

TEST(PaintPacer, CheapRepaintsBarelyRestAndNoneRestsLong) {
    EXPECT_EQ(PaintPacer::RestAfter(0), 0);
    // Painting takes at most a tenth of the thread while changes stream in.
    EXPECT_EQ(PaintPacer::RestAfter(100'000), 900'000);
    EXPECT_EQ(PaintPacer::RestAfter(3'000'000), 27'000'000);
    EXPECT_EQ(PaintPacer::RestAfter(2'000'000'000), PaintPacer::kLongestRestNs);
}
