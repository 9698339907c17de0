#include "ActivityLight.h"

#include <QPainter>

#include <array>
#include <utility>

namespace {

const std::array<std::pair<const QColor*, const char*>, 9> kNames{{
    {&LightColour::Gray, "gray"},
    {&LightColour::Maroon, "maroon"},
    {&LightColour::Red, "red"},
    {&LightColour::Green, "green"},
    {&LightColour::Lime, "lime"},
    {&LightColour::Olive, "olive"},
    {&LightColour::Yellow, "yellow"},
    {&LightColour::Blue, "blue"},
    {&LightColour::Black, "black"},
}};

} // namespace

QString LightColourName(const QColor& colour) {
    for (const auto& [c, name] : kNames)
        if (*c == colour) return QString::fromLatin1(name);
    return colour.name();
}

ActivityLight::ActivityLight(QWidget* parent, int diameter) : QWidget(parent), Diameter_(diameter) {
    setFixedSize(diameter, diameter);
    setAccessibleDescription(LightColourName(Colour_));
}

void ActivityLight::SetColour(const QColor& colour) {
    if (colour == Colour_) return;
    Colour_ = colour;
    setAccessibleDescription(LightColourName(colour));
    update();
}

void ActivityLight::SetWhitePen(bool white) {
    WhitePen_ = white;
    update();
}

void ActivityLight::Blink() {
    using namespace LightColour;
    static const std::array<std::pair<QColor, QColor>, 3> kPairs{
        {{Maroon, Red}, {Green, Lime}, {Olive, Yellow}}};
    for (const auto& [a, b] : kPairs) {
        if (Colour_ == a) return SetColour(b);
        if (Colour_ == b) return SetColour(a);
    }
}

QSize ActivityLight::sizeHint() const {
    return {Diameter_, Diameter_};
}

void ActivityLight::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(WhitePen_ ? Qt::white : Qt::black);
    painter.setBrush(Colour_);
    painter.drawEllipse(QRectF(0.5, 0.5, Diameter_ - 1.0, Diameter_ - 1.0));
}
