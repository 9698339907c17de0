#include "BatchedLines.h"

#include <QPlainTextEdit>

#include <utility>

BatchedLines::BatchedLines(QPlainTextEdit* memo, QString marker, int limit)
    : Box_(memo), Marker_(std::move(marker)), Limit_(limit) {
    Flusher_.setSingleShot(true);
    Flusher_.setInterval(0);
    QObject::connect(&Flusher_, &QTimer::timeout, [this] { Flush(); });
}

void BatchedLines::Add(const QString& line, bool counted) {
    if (counted && Limit_ > 0 && ++Counter_ >= Limit_) {
        Pending_ = QStringList{Marker_};
        Replace_ = true;
        Counter_ = 0;
    }
    Pending_.append(line);
    if (!Flusher_.isActive()) Flusher_.start();
}

void BatchedLines::SetText(const QString& text) {
    Pending_.clear();
    Replace_ = false;
    Flusher_.stop();
    Box_->setPlainText(text);
}

void BatchedLines::Flush() {
    Flusher_.stop();
    if (Pending_.isEmpty()) return;
    const QString text = Pending_.join('\n');
    if (Replace_)
        Box_->setPlainText(text);
    else
        Box_->appendPlainText(text);
    Pending_.clear();
    Replace_ = false;
}
