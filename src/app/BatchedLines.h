#pragma once

// The lines of a read-only list box, added in batches. A scan reports
// thousands of links a second, and a text box lays out each line added on
// its own at once, visible or not; added together once per turn of the
// event loop, only what shows is laid out.

#include <QString>
#include <QStringList>
#include <QTimer>

class QPlainTextEdit;

class BatchedLines {
public:
    // Every limit-th line replaces the whole list by marker (the line itself
    // follows it); limit 0: no limit.
    BatchedLines(QPlainTextEdit* memo, QString marker = {}, int limit = 0);

    // counted: the line counts towards the limit.
    void Add(const QString& line, bool counted = true);
    // Replaces the list by text; lines not shown yet are dropped. The line
    // count goes on.
    void SetText(const QString& text);
    // Shows the lines added so far.
    void Flush();

private:
    QPlainTextEdit* Box_;
    QString Marker_;
    int Limit_;
    int Counter_ = 0;
    QStringList Pending_;
    bool Replace_ = false; // the pending lines replace the list
    QTimer Flusher_;
};
