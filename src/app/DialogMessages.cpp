#include "DialogMessages.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QString>

#include <cstdio>

bool DialogMessages::Confirm(std::string_view question) {
    const QString text = QString::fromUtf8(question.data(), qsizetype(question.size()));
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    if (Quiet) return false;
    return QMessageBox::question(
               QApplication::activeWindow(), QGuiApplication::applicationDisplayName(), text,
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void DialogMessages::ShowMessage(std::string_view text) {
    // A "\r\n" of the core's texts is one line break here.
    QString message = QString::fromUtf8(text.data(), qsizetype(text.size()));
    message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    std::fprintf(stderr, "%s\n", message.toUtf8().constData());
    if (Quiet) return;
    QMessageBox::information(QApplication::activeWindow(),
                             QGuiApplication::applicationDisplayName(), message);
}
