#pragma once

// The embedded browser's address box. It shows an icon for what the typed
// address names (a special folder, a file, a folder or a web page), offers
// completion from the addresses typed before, keeps that history in the
// settings store where the browser settings live, and reports the address
// the user chose through OnUrlSelected.

#include <QComboBox>
#include <QString>

#include <functional>

class MessageSink;
class QAction;
class QCompleter;
class QIcon;

// Inline completion of the typed address: as the user settings say, on or off.
enum AutoCompleteMode { acDefault, acForceOn, acForceOff };
// The list of suggestions under the address: as the user settings say, on or off.
enum AutoSuggestMode { asDefault, asForceOn, asForceOff };
// Sources of completion, combined as a bit set.
enum CompletionSource : unsigned { FileSystem = 1, UrlHistory = 2, UrlMRU = 4 };

// What the icon beside an address stands for.
enum class AddressIcon { None, SpecialFolder, File, Folder, WebPage };

// The key of the typed-address history under the user's root, and the
// number of addresses it holds ("Url1" to "Url25").
inline constexpr const char* kTypedUrlsKey = "Software\\Microsoft\\Internet Explorer\\TypedURLs";
inline constexpr int kTypedUrlCount = 25;

// The folder a special name stands for ("MY COMPUTER", "DESKTOP", "RECYCLE
// BIN", ... in any letter case); empty when the name is not special or the
// system has no such folder.
QString SpecialFolderOf(const QString& name);
// Which icon the address shows: a special folder that exists; a file that
// exists or a "file://" address; a folder that exists; any other non-empty
// text is a web page. Looks at the file system but never opens a file.
AddressIcon IconKindOf(const QString& text);
// The icon itself (16 × 16 in the box and the list).
QIcon IconOf(const QString& text);

class BrowserAddressBox : public QComboBox {
public:
    // Loads the typed-address history; messages hears of an unreadable
    // settings file.
    explicit BrowserAddressBox(QWidget* parent = nullptr, MessageSink* messages = nullptr);

    // --- completion ---
    AutoCompleteMode AutoComplete() const { return AutoComplete_; }
    void SetAutoComplete(AutoCompleteMode v);
    AutoSuggestMode AutoSuggest() const { return AutoSuggest_; }
    void SetAutoSuggest(AutoSuggestMode v);
    // CompletionSource bits; none means no completion.
    unsigned FileOptions() const { return FileOptions_; }
    void SetFileOptions(unsigned v);

    // Put before a typed address without "://" that is no existing file.
    QString DefaultProtocol;
    // An address chosen by keyboard writes the list back to the history.
    bool AddToHistory = true;

    // --- look ---
    bool HasBorder() const { return HasBorder_; }
    void SetHasBorder(bool v);
    bool HasDropDown() const { return HasDropDown_; }
    void SetHasDropDown(bool v);
    // Where the icon goes; kept for the owner, the edit field places its icon itself.
    int IconLeft = 4;
    int IconTop = 3;

    // An address was chosen: Enter in the box or in the open list, or a
    // click on a list entry. The text is the box's text as typed, without
    // DefaultProtocol.
    std::function<void(const QString& url)> OnUrlSelected;

    // Shows text and makes it the current address; no event, the list stays.
    void SetUrl(const QString& text);
    // The address last chosen or set.
    const QString& Url() const { return Url_; }

    // The list := the history's addresses in order, empty ones skipped; the
    // box shows the first. A missing history leaves both empty.
    void LoadTypedUrls();
    // Writes the first 25 entries as "Url1" ... and, when there are fewer
    // than 25, one empty value after them.
    void SaveTypedUrls();

    AddressIcon IconKind() const { return IconKind_; }
    void SetAccessibleName(const QString& name);

    void hidePopup() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void EnterInBox();
    void KeyInList(const QKeyEvent& key);
    void ChoiceMade(const QString& typed);
    void ListClicked();
    void ShowIcon();
    void UpdateCompleter();
    void UpdateFrame();

    MessageSink* Messages_;
    AutoCompleteMode AutoComplete_ = acDefault;
    AutoSuggestMode AutoSuggest_ = asDefault;
    unsigned FileOptions_ = 0;
    bool HasBorder_ = true;
    bool HasDropDown_ = true;
    QString Url_;
    QAction* Icon_;
    AddressIcon IconKind_ = AddressIcon::None;
    QCompleter* Completer_ = nullptr;
    // A mouse button came up inside the open list during the current event.
    bool ReleasedInList_ = false;
};
