#pragma once

// A sunken panel with a caption and an activity light at its right end; a
// mouse press anywhere on it is reported. The main window's "browser
// capture", "getting pages" and "getting pics" panels.

#include <QFrame>
#include <QString>

#include <functional>

class QLabel;
class ActivityLight;

class LightPanel : public QFrame {
public:
    LightPanel(const QString& caption, QWidget* parent = nullptr);

    void SetCaption(const QString& caption);
    QString Caption() const;
    ActivityLight* Light() const { return Light_; }
    QLabel* CaptionLabel() const { return Label_; }

    std::function<void()> OnMouseDown;

    // A panel that switches something on and off (the browser capture) is
    // a toggle for screen readers, checked while on; a press toggles it.
    void SetToggle(bool toggle) { Toggle_ = toggle; }
    bool IsToggle() const { return Toggle_; }
    void SetChecked(bool checked);
    bool IsChecked() const { return Checked_; }

    // Room for the whole caption and the light; never less.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* Label_;
    ActivityLight* Light_;
    bool Toggle_ = false;
    bool Checked_ = false;
};
