#pragma once
// Paces the repainting of a window whose contents change faster than it is
// worth painting them. Qt repaints a window once per turn of the event loop
// in which anything in it changed. During a scan that is hundreds of times a
// second, and a repaint of the gallery costs about 3 ms of the GUI thread,
// the thread that also hands every finished download on: the transfers wait
// while it paints.
//
// After a repaint the pacer lets the next one start only when a rest of
// kRestFactor times the repaint's own cost has passed, so that painting
// takes at most a tenth of the GUI thread while changes stream in. Cheap
// repaints (a label, a caret) barely rest; an expensive one rests at most
// kLongestRestNs. The cost is the CPU time the process spent during the
// repaint, and at most the repaint's duration: Qt fills large areas on helper
// threads, which counts, while a flush that waits for the screen's next
// refresh, as one through OpenGL may, costs nothing, so the embedded
// browser's frames are not held back for it. A repaint held back is not
// lost: Qt keeps the region to paint, and the pacer asks for it once the rest
// is over.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QWidget;

class PaintPacer : public QObject {
public:
    static constexpr qint64 kRestFactor = 9;
    static constexpr qint64 kLongestRestNs = 50'000'000;

    // How long painting rests after a repaint that cost paintNs.
    static qint64 RestAfter(qint64 paintNs);
    // The CPU time of the calling thread so far.
    static qint64 ThreadCpuNs();

    // Paces window, a top-level widget, which owns the pacer.
    explicit PaintPacer(QWidget* window);

    // The rest after the last repaint.
    qint64 RestNs() const { return RestNs_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Repaint();

    QWidget* Window_;
    QTimer RestOver_;
    QElapsedTimer SinceRepaint_; // since the end of the last repaint
    qint64 RestNs_ = 0;
    bool Repainting_ = false;
};
