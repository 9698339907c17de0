#include "LightPanel.h"

#include "app/ActivityLight.h"
#include "gallery/ExceptionGuard.h"

#include <QLabel>
#include <QMouseEvent>

TLightPanel::TLightPanel(const QString& caption, QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Label_ = new QLabel(this);
    Label_->setTextFormat(Qt::PlainText);
    Light_ = new TActivityLight(this);
    SetCaption(caption);
}

void TLightPanel::SetCaption(const QString& caption) {
    Label_->setText(caption);
    // Screen readers get the caption without its trailing blanks.
    const QString name = caption.trimmed();
    setAccessibleName(name);
    Label_->setAccessibleName(name);
}

QString TLightPanel::Caption() const {
    return Label_->text();
}

void TLightPanel::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (OnMouseDown) RunGuarded(OnMouseDown, nullptr);
}

void TLightPanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    const int d = Light_->width();
    Light_->move(width() - d - 6, (height() - d) / 2);
    Label_->setGeometry(4, 0, width() - d - 12, height());
}
