#include "LightPanel.h"

#include "app/ActivityLight.h"
#include "gallery/ExceptionGuard.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QMouseEvent>

#include <algorithm>

namespace {

class LightPanelAccessible : public QAccessibleWidget {
public:
    explicit LightPanelAccessible(LightPanel* panel)
        : QAccessibleWidget(panel, QAccessible::StaticText) {}

    // Asked each time: the panel may become a toggle after it was first seen.
    QAccessible::Role role() const override {
        return static_cast<LightPanel*>(widget())->IsToggle() ? QAccessible::CheckBox
                                                              : QAccessible::StaticText;
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        auto* panel = static_cast<LightPanel*>(widget());
        if (panel->IsToggle()) {
            s.checkable = true;
            s.checked = panel->IsChecked();
        }
        return s;
    }
    QStringList actionNames() const override {
        return static_cast<LightPanel*>(widget())->IsToggle() ? QStringList{toggleAction()}
                                                              : QStringList{};
    }
    void doAction(const QString& name) override {
        auto* panel = static_cast<LightPanel*>(widget());
        if (name == toggleAction() && panel->OnMouseDown) RunGuarded(panel->OnMouseDown, nullptr);
    }
};

QAccessibleInterface* LightPanelAccessibleFactory(const QString&, QObject* object) {
    if (auto* panel = dynamic_cast<LightPanel*>(object)) return new LightPanelAccessible(panel);
    return nullptr;
}

} // namespace

LightPanel::LightPanel(const QString& caption, QWidget* parent) : QFrame(parent) {
    static const bool factory = [] {
        QAccessible::installFactory(LightPanelAccessibleFactory);
        return true;
    }();
    (void)factory;
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Label_ = new QLabel(this);
    Label_->setTextFormat(Qt::PlainText);
    Light_ = new ActivityLight(this);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    SetCaption(caption);
}

// The caption starts 4 pixels in; the light ends 6 pixels before the
// right edge, 6 pixels after the caption (see resizeEvent).
QSize LightPanel::sizeHint() const {
    const QSize caption = Label_->sizeHint();
    return {caption.width() + Light_->width() + 12,
            std::max({24, caption.height() + 2 * frameWidth(), Light_->height() + 4})};
}

void LightPanel::SetCaption(const QString& caption) {
    Label_->setText(caption);
    updateGeometry();
    // Screen readers get the caption without its trailing blanks.
    const QString name = caption.trimmed();
    setAccessibleName(name);
    Label_->setAccessibleName(name);
}

void LightPanel::SetChecked(bool checked) {
    if (checked == Checked_) return;
    Checked_ = checked;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
}

QString LightPanel::Caption() const {
    return Label_->text();
}

void LightPanel::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (OnMouseDown) RunGuarded(OnMouseDown, nullptr);
}

void LightPanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    const int d = Light_->width();
    Light_->move(width() - d - 6, (height() - d) / 2);
    Label_->setGeometry(4, 0, width() - d - 12, height());
}
