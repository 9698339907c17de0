#include "PaintPacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <algorithm>

#include <time.h>

qint64 PaintPacer::RestAfter(qint64 paintNs) {
    return std::clamp<qint64>(paintNs * kRestFactor, 0, kLongestRestNs);
}

namespace {

qint64 CpuClockNs(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

} // namespace

qint64 PaintPacer::ThreadCpuNs() {
    return CpuClockNs(CLOCK_THREAD_CPUTIME_ID);
}

PaintPacer::PaintPacer(QWidget* window) : QObject(window), Window_(window) {
    RestOver_.setSingleShot(true);
    // A coarse timer may fire up to 5 % early, and the rest would be cut short.
    RestOver_.setTimerType(Qt::PreciseTimer);
    connect(&RestOver_, &QTimer::timeout, this, [this] { Repaint(); });
    window->installEventFilter(this);
}

bool PaintPacer::eventFilter(QObject* watched, QEvent* event) {
    // Qt asks a top-level widget to repaint whatever changed in it by sending
    // it an update request; only ours pass through.
    if (watched != Window_ || event->type() != QEvent::UpdateRequest || Repainting_) return false;
    const qint64 rested = SinceRepaint_.isValid() ? SinceRepaint_.nsecsElapsed() : RestNs_;
    if (rested < RestNs_) {
        // Qt asks no more until a request has been served: the timer serves it.
        if (!RestOver_.isActive()) RestOver_.start(int((RestNs_ - rested + 999'999) / 1'000'000));
        return true;
    }
    Repaint();
    return true;
}

void PaintPacer::Repaint() {
    RestOver_.stop();
    QElapsedTimer took;
    took.start();
    const qint64 cpu = CpuClockNs(CLOCK_PROCESS_CPUTIME_ID);
    Repainting_ = true;
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(Window_, &request);
    Repainting_ = false;
    RestNs_ = RestAfter(std::min(took.nsecsElapsed(), CpuClockNs(CLOCK_PROCESS_CPUTIME_ID) - cpu));
    SinceRepaint_.start();
}
