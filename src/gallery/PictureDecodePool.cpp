#include "PictureDecodePool.h"

#include "gallery/ExceptionGuard.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

#include <algorithm>

namespace {

// Enough workers that one slow picture does not hold up the page, few
// enough that decoding does not crowd out the GUI thread. The workers also
// ask for a low priority, where the scheduler has priorities to give.
int WorkerCount() {
    return std::clamp(QThread::idealThreadCount(), 2, 4);
}

} // namespace

PictureDecodePool& PictureDecodePool::Shared() {
    static QPointer<PictureDecodePool> shared;
    if (shared.isNull())
        shared = new PictureDecodePool(WorkerCount(), QCoreApplication::instance());
    return *shared;
}

PictureDecodePool::PictureDecodePool(int threads, QObject* parent) : QObject(parent) {
    Threads_.setMaxThreadCount(std::max(threads, 1));
    Threads_.setThreadPriority(QThread::LowPriority);
    Threads_.setObjectName(QStringLiteral("picture decoding"));
}

PictureDecodePool::~PictureDecodePool() {
    Threads_.clear();
    Threads_.waitForDone();
    // Deliveries already posted go with this object's pending events.
}

void PictureDecodePool::Run(QObject* receiver, std::function<void()> work,
                            std::function<void()> deliver) {
    ++Pending_;
    // Made here and only looked at on this thread: the worker just carries
    // it back.
    QPointer<QObject> target(receiver);
    Threads_.start([this, target, work = std::move(work), deliver = std::move(deliver)] {
        try {
            work();
        } catch (...) {
            // The result stays as deliver's owner made it: a refusal.
        }
        QMetaObject::invokeMethod(
            this,
            [this, target, deliver] {
                --Pending_;
                if (!target.isNull()) RunGuarded(deliver, nullptr);
            },
            Qt::QueuedConnection);
    });
}
