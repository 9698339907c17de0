#include "AboutBox.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

AboutBox::AboutBox(QWidget* mainWindow) : QDialog(mainWindow) {
    setWindowTitle(QStringLiteral("About Tessellon"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    const auto line = [&](const QString& text, int pointSizeDelta) {
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignCenter);
        if (pointSizeDelta != 0) {
            QFont f = label->font();
            f.setPointSize(f.pointSize() + pointSizeDelta);
            f.setBold(true);
            label->setFont(f);
        }
        layout->addWidget(label);
        return label;
    };
    ProductName = line(QGuiApplication::applicationDisplayName(), 8);
    ProductName->setAccessibleName(QStringLiteral("product name"));
    Version = line(QStringLiteral("version 1.04 rev b"), 0);
    Version->setAccessibleName(QStringLiteral("version"));
    WebReference = line(QStringLiteral("A picture-gallery web crawler for Linux"), 0);
    Rights = line(QStringLiteral("Free software: use, study, share and improve it."), 0);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::close);
    layout->addWidget(ok, 0, Qt::AlignCenter);
}

void AboutBox::showEvent(QShowEvent* event) {
    ProductName->setText(QGuiApplication::applicationDisplayName());
    QDialog::showEvent(event);
}
