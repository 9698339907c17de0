#pragma once

// The scan start-address box: an editable combo box whose list is a
// most-recent-first history without duplicates. An address reaches the top
// when the user presses Enter on it, picks it from the list or pastes it;
// typing alone adds nothing, so partial texts never enter the history.

#include <QComboBox>
#include <QString>

#include <functional>

// Names a combo box and its edit field alike: on Linux a screen reader asks
// the focused edit field, and Qt reports a combo box's current text as its
// name unless one is set.
void SetComboAccessibleName(QComboBox& box, const QString& name);

class EditComboBox : public QComboBox {
public:
    explicit EditComboBox(QWidget* parent = nullptr);

    // An added text already in the list is moved to the top, not inserted.
    bool UniqueItems = true;
    // The duplicate search ignores letter case.
    bool IgnoreCase = true;
    // Kept for the owner only: the list is never sorted.
    bool Sorted = false;

    // The top entry changed through AddItem.
    std::function<void()> OnAddedItem;
    // The user asked for the context menu: the owner pastes (see PasteItem).
    // When unset the request is ignored.
    std::function<void()> OnContextPaste;

    // Puts text on top of the list (moving an equal entry, which keeps its
    // spelling) and selects it; raises OnAddedItem when the box then shows a
    // text other than the one last announced. An empty text is ignored.
    void AddItem(const QString& text);
    // AddItem with the clipboard's text as a one-line edit field would paste
    // it; an empty clipboard adds nothing.
    void PasteItem();

    // A key other than Enter was pressed since the last Enter.
    bool Typing() const { return Typing_; }
    void SetAccessibleName(const QString& name) { SetComboAccessibleName(*this, name); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A list entry was chosen (click, Enter in the open list, arrow keys on
    // the closed box): it moves to the top unless the user was typing.
    void ItemChosen(const QString& text);

    bool Typing_ = false;
    QString LastAnnounced_;
};
