#include "app/EditComboBox.h"

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>

#include <memory>

void SetComboAccessibleName(QComboBox& box, const QString& name) {
    box.setAccessibleName(name);
    if (QLineEdit* edit = box.lineEdit()) edit->setAccessibleName(name);
    box.view()->setAccessibleName(name + QStringLiteral(" list"));
}

namespace {

bool IsEnter(const QKeyEvent& key) {
    return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
}

} // namespace

EditComboBox::EditComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    // Enter is ours: the box would otherwise add the typed text itself.
    setInsertPolicy(QComboBox::NoInsert);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(12);
    // Leaving the edit field with a listed text in it would count as a
    // choice of that entry; only Enter, a click or the arrow keys choose.
    QObject::disconnect(lineEdit(), &QLineEdit::editingFinished, this, nullptr);
    // No completion: Enter adds exactly what was typed.
    setCompleter(nullptr);
    view()->installEventFilter(this);
    connect(this, &QComboBox::textActivated, this,
            [this](const QString& text) { ItemChosen(text); });
}

void EditComboBox::AddItem(const QString& text) {
    if (text.isEmpty()) return;
    int found = -1;
    if (UniqueItems) {
        if (IgnoreCase) {
            const QString upper = text.toUpper();
            for (int i = 0; i < count() && found < 0; ++i)
                if (itemText(i).toUpper() == upper) found = i;
        } else {
            found = findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
        }
    }
    if (found < 0) {
        insertItem(0, text);
    } else if (found > 0) {
        const QString stored = itemText(found);
        removeItem(found);
        insertItem(0, stored);
    }
    setCurrentIndex(0);
    // setCurrentIndex leaves the edit field alone when item 0 already was
    // the current one.
    setEditText(itemText(0));
    if (currentText() != LastAnnounced_) {
        LastAnnounced_ = currentText();
        if (OnAddedItem) OnAddedItem();
    }
}

void EditComboBox::PasteItem() {
    // A one-line edit field decides what of the clipboard is pasted.
    auto edit = std::make_unique<QLineEdit>(parentWidget());
    edit->hide();
    edit->paste();
    const QString pasted = edit->text();
    edit.reset();
    if (!pasted.isEmpty()) AddItem(pasted);
}

void EditComboBox::keyPressEvent(QKeyEvent* event) {
    if (IsEnter(*event)) {
        AddItem(currentText());
        Typing_ = false;
    } else {
        Typing_ = true;
    }
    QComboBox::keyPressEvent(event);
}

void EditComboBox::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    if (OnContextPaste) OnContextPaste();
}

bool EditComboBox::eventFilter(QObject* watched, QEvent* event) {
    // Keys in the open list go to the list, not to the box: Enter there ends
    // typing as Enter in the box does, so the entry it chooses goes on top.
    // The list chooses on the shortcut check that comes before the key.
    const bool key = event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride;
    if (watched == view() && key && IsEnter(*static_cast<QKeyEvent*>(event))) Typing_ = false;
    return QComboBox::eventFilter(watched, event);
}

void EditComboBox::ItemChosen(const QString& text) {
    if (!Typing_) AddItem(text);
}
