#include "AccessibleWalk.h"

#include <QAccessible>
#include <QWidget>

#include <unordered_set>

namespace {

// Roles of controls that are acted on or read.
bool NeedsName(QAccessible::Role role) {
    switch (role) {
    case QAccessible::Button:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::StaticText:
    case QAccessible::PageTab:
    case QAccessible::SpinBox:
    case QAccessible::Slider:
    case QAccessible::MenuItem:
    case QAccessible::Link:
    case QAccessible::ProgressBar:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
        return true;
    default:
        return false;
    }
}

void Walk(QAccessibleInterface* node, std::vector<std::string>& unnamed,
          std::unordered_set<QAccessibleInterface*>& seen) {
    if (node == nullptr || !node->isValid() || !seen.insert(node).second) return;
    if (node->state().invisible) return;
    if (NeedsName(node->role()) && node->text(QAccessible::Name).trimmed().isEmpty()) {
        const QObject* object = node->object();
        unnamed.push_back(std::to_string(int(node->role())) + " " +
                          (object != nullptr ? object->metaObject()->className() : "?") + " (" +
                          node->text(QAccessible::Value).toStdString() + ")");
    }
    for (int i = 0; i < node->childCount(); ++i)
        Walk(node->child(i), unnamed, seen);
}

} // namespace

std::vector<std::string> UnnamedAccessibleControls(QWidget* root) {
    std::vector<std::string> unnamed;
    std::unordered_set<QAccessibleInterface*> seen;
    Walk(QAccessible::queryAccessibleInterface(root), unnamed, seen);
    return unnamed;
}
