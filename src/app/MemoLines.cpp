#include "MemoLines.h"

#include <QPlainTextEdit>

#include <utility>

TMemoLines::TMemoLines(QPlainTextEdit* memo, QString marker, int limit)
    : Memo_(memo), Marker_(std::move(marker)), Limit_(limit) {
    Flusher_.setSingleShot(true);
    Flusher_.setInterval(0);
    QObject::connect(&Flusher_, &QTimer::timeout, [this] { Flush(); });
}

void TMemoLines::Add(const QString& line, bool counted) {
    if (counted && Limit_ > 0 && ++Counter_ >= Limit_) {
        Pending_ = QStringList{Marker_};
        Replace_ = true;
        Counter_ = 0;
    }
    Pending_.append(line);
    if (!Flusher_.isActive()) Flusher_.start();
}

void TMemoLines::SetText(const QString& text) {
    Pending_.clear();
    Replace_ = false;
    Flusher_.stop();
    Memo_->setPlainText(text);
}

void TMemoLines::Flush() {
    Flusher_.stop();
    if (Pending_.isEmpty()) return;
    const QString text = Pending_.join('\n');
    if (Replace_)
        Memo_->setPlainText(text);
    else
        Memo_->appendPlainText(text);
    Pending_.clear();
    Replace_ = false;
}
