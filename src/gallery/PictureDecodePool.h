#pragma once

// Picture decoding off the GUI thread. A few low-priority worker threads do
// the decoding; each result travels back to the GUI thread through its event
// loop and is handed over there, unless whoever asked for it was destroyed
// meanwhile. The window never waits on a decode: a page of thumbnails that
// take long to decode, or that are built to, only keeps the workers busy.

#include <QObject>
#include <QThreadPool>

#include <functional>

class PictureDecodePool : public QObject {
public:
    // The pool the tiles share: made on first use, which must be on the GUI
    // thread, and owned by the application object.
    static PictureDecodePool& Shared();

    explicit PictureDecodePool(int threads, QObject* parent = nullptr);
    // Waits for the work that runs; results not yet handed over are dropped.
    ~PictureDecodePool() override;
    PictureDecodePool(const PictureDecodePool&) = delete;
    PictureDecodePool& operator=(const PictureDecodePool&) = delete;

    // Runs work on a worker thread, then deliver on this pool's thread (the
    // GUI thread) once work is done and the event loop comes round, unless
    // receiver has been destroyed by then. Called on the GUI thread; deliver
    // never runs before Run returns. work must touch nothing the GUI thread
    // owns: it gets its input by value and leaves its result where deliver
    // finds it. An exception thrown by work is dropped, and deliver still runs.
    void Run(QObject* receiver, std::function<void()> work, std::function<void()> deliver);

    // Work handed in whose delivery has not run or been dropped yet.
    int Pending() const { return Pending_; }

private:
    QThreadPool Threads_;
    int Pending_ = 0; // GUI thread only
};
