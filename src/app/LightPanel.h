#pragma once

// A sunken panel with a caption and an activity light at its right end; a
// mouse press anywhere on it is reported. The main window's "browser
// capture", "getting pages" and "getting pics" panels.

#include <QFrame>
#include <QString>

#include <functional>

class QLabel;
class TActivityLight;

class TLightPanel : public QFrame {
public:
    TLightPanel(const QString& caption, QWidget* parent = nullptr);

    void SetCaption(const QString& caption);
    QString Caption() const;
    TActivityLight* Light() const { return Light_; }
    QLabel* CaptionLabel() const { return Label_; }

    std::function<void()> OnMouseDown;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* Label_;
    TActivityLight* Light_;
};
