#pragma once

// Walks the accessibility tree under a widget, as a screen reader or a tool
// driving the program over AT-SPI would see it.

#include <string>
#include <vector>

class QWidget;

// Every visible control under root (root included) that a user can act on
// or read but that has no accessible name, as "role class (text)" lines.
std::vector<std::string> UnnamedAccessibleControls(QWidget* root);
