#pragma once

// A round light whose colour tells what a part of the program is doing:
// gray idle, maroon/red pages, green/lime files, olive/yellow exiting,
// blue/black capture on/off. Screen readers get the colour's name as the
// light's description.

#include <QColor>
#include <QString>
#include <QWidget>

namespace LightColour {
inline const QColor Gray{128, 128, 128};
inline const QColor Maroon{128, 0, 0};
inline const QColor Red{255, 0, 0};
inline const QColor Green{0, 128, 0};
inline const QColor Lime{0, 255, 0};
inline const QColor Olive{128, 128, 0};
inline const QColor Yellow{255, 255, 0};
inline const QColor Blue{0, 0, 255};
inline const QColor Black{0, 0, 0};
} // namespace LightColour

// "gray", "maroon", ... for the colours above; the hex form for others.
QString LightColourName(const QColor& colour);

class ActivityLight : public QWidget {
public:
    explicit ActivityLight(QWidget* parent = nullptr, int diameter = 11);

    QColor Colour() const { return Colour_; }
    void SetColour(const QColor& colour);
    // White outline instead of black (the capture light).
    void SetWhitePen(bool white);
    // The blinking pairs swap: maroon/red, green/lime, olive/yellow.
    void Blink();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor Colour_ = LightColour::Gray;
    bool WhitePen_ = false;
    int Diameter_;
};
