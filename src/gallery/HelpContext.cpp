#include "HelpContext.h"

#include <QVariant>
#include <QWidget>

namespace {
constexpr const char* kProperty = "helpContext";
}

void SetHelpContext(QWidget* widget, int context) {
    if (widget != nullptr) widget->setProperty(kProperty, context);
}

int HelpContextOf(const QWidget* widget) {
    for (; widget != nullptr; widget = widget->parentWidget()) {
        const QVariant v = widget->property(kProperty);
        if (v.isValid() && v.toInt() != 0) return v.toInt();
    }
    return 0;
}
