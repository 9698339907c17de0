#pragma once

// The about box: the application's title, a version line, a web reference
// and a rights line, and an "OK" button. Shown without waiting.

#include <QDialog>

class QLabel;

class AboutBox : public QDialog {
public:
    explicit AboutBox(QWidget* mainWindow);

    QLabel* ProductName;
    QLabel* Version;
    QLabel* WebReference;
    QLabel* Rights;

protected:
    // The title line follows the application title each time.
    void showEvent(QShowEvent* event) override;
};
