#include "app/BrowserAddressBox.h"

#include "app/EditComboBox.h"
#include "settings/RegistryStore.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCompleter>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QMouseEvent>
#include <QStandardPaths>
#include <QStyledItemDelegate>
#include <QTimer>

#include <algorithm>
#include <array>
#include <optional>

namespace {

// Addresses further down the list than this cannot be reached with the
// arrow keys, as the history keeps no more.
constexpr int kLastKeyRow = kTypedUrlCount - 1;

struct SpecialFolder {
    const char* Name;
    // Where the folder is: a standard location with a sub-folder, or a fixed
    // path; neither when the system has no such folder.
    std::optional<QStandardPaths::StandardLocation> Location;
    const char* Path;
    QFileIconProvider::IconType Icon;
};

using SP = QStandardPaths;
using IP = QFileIconProvider;
const std::array<SpecialFolder, 19> kSpecialFolders{{
    {"DESKTOP", SP::DesktopLocation, "", IP::Desktop},
    {"DESKTOP DIRECTORY", SP::DesktopLocation, "", IP::Desktop},
    {"MY DOCUMENTS", SP::DocumentsLocation, "", IP::Folder},
    {"MY COMPUTER", std::nullopt, "/", IP::Computer},
    {"RECYCLE BIN", SP::GenericDataLocation, "/Trash", IP::Trashcan},
    {"PROGRAMS", SP::ApplicationsLocation, "", IP::Folder},
    {"STARTMENU", SP::ApplicationsLocation, "", IP::Folder},
    {"STARTUP", SP::GenericConfigLocation, "/autostart", IP::Folder},
    {"FONTS", SP::FontsLocation, "", IP::Folder},
    {"TEMPLATES", SP::HomeLocation, "/Templates", IP::Folder},
    {"APPDATA", SP::GenericDataLocation, "", IP::Folder},
    // Nothing on this system stands for these.
    {"CONTROL PANEL", std::nullopt, "", IP::Folder},
    {"PRINTERS", std::nullopt, "", IP::Folder},
    {"PRINTHOOD", std::nullopt, "", IP::Folder},
    {"FAVORITES", std::nullopt, "", IP::Folder},
    {"RECENT", std::nullopt, "", IP::Folder},
    {"SENDTO", std::nullopt, "", IP::Folder},
    {"NETWORK NEIGHBORHOOD", std::nullopt, "", IP::Network},
    {"NETHOOD", std::nullopt, "", IP::Network},
}};

const SpecialFolder* FindSpecial(const QString& name) {
    const QString upper = name.toUpper();
    for (const SpecialFolder& f : kSpecialFolders)
        if (upper == QLatin1String(f.Name)) return &f;
    return nullptr;
}

QString FolderOf(const SpecialFolder& f) {
    if (f.Location) {
        const QString base = QStandardPaths::writableLocation(*f.Location);
        return base.isEmpty() ? QString() : base + QLatin1String(f.Path);
    }
    return QLatin1String(f.Path);
}

bool IsFileAddress(const QString& text) {
    return text.startsWith(QLatin1String("file://"), Qt::CaseInsensitive);
}

const QFileIconProvider& IconProvider() {
    static const QFileIconProvider provider;
    return provider;
}

// The icon of a file of that name's type, found from the name alone.
QIcon FileTypeIcon(const QString& name) {
    const QMimeType type = QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    const QIcon fallback = IconProvider().icon(QFileIconProvider::File);
    return QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName(), fallback));
}

QString IconWord(AddressIcon kind) {
    switch (kind) {
    case AddressIcon::SpecialFolder:
        return QStringLiteral("special folder");
    case AddressIcon::File:
        return QStringLiteral("file");
    case AddressIcon::Folder:
        return QStringLiteral("folder");
    case AddressIcon::WebPage:
        return QStringLiteral("web page");
    case AddressIcon::None:
        break;
    }
    return QStringLiteral("no address");
}

// Draws each list entry with the icon of its address before the text.
class AddressItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QIcon icon = IconOf(index.data(Qt::DisplayRole).toString());
        if (icon.isNull()) return;
        option->icon = icon;
        option->features |= QStyleOptionViewItem::HasDecoration;
        option->decorationSize = QSize(16, 16);
    }
};

bool IsEnter(const QKeyEvent& key) {
    return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
}

// The keys the open list leaves to the box.
bool IsListKey(const QKeyEvent& key) {
    switch (key.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Up:
    case Qt::Key_Down:
        return true;
    default:
        return false;
    }
}

} // namespace

QString SpecialFolderOf(const QString& name) {
    const SpecialFolder* f = FindSpecial(name);
    return f ? FolderOf(*f) : QString();
}

AddressIcon IconKindOf(const QString& text) {
    const QString folder = SpecialFolderOf(text);
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) return AddressIcon::SpecialFolder;
    if (text.isEmpty()) return AddressIcon::None;
    const QFileInfo info(text);
    if (IsFileAddress(text) || info.isFile()) return AddressIcon::File;
    if (info.isDir()) return AddressIcon::Folder;
    return AddressIcon::WebPage;
}

QIcon IconOf(const QString& text) {
    switch (IconKindOf(text)) {
    case AddressIcon::SpecialFolder: {
        const SpecialFolder& f = *FindSpecial(text);
        if (f.Icon != QFileIconProvider::Folder) return IconProvider().icon(f.Icon);
        return IconProvider().icon(QFileInfo(FolderOf(f)));
    }
    case AddressIcon::File:
        return FileTypeIcon(IsFileAddress(text) ? text.mid(7) : text);
    case AddressIcon::Folder:
        return IconProvider().icon(QFileIconProvider::Folder);
    case AddressIcon::WebPage:
        return FileTypeIcon(QStringLiteral("page.htm"));
    case AddressIcon::None:
        break;
    }
    return {};
}

BrowserAddressBox::BrowserAddressBox(QWidget* parent, MessageSink* messages)
    : QComboBox(parent), Messages_(messages) {
    setEditable(true);
    // Enter is ours: the box would otherwise add the typed text itself.
    setInsertPolicy(QComboBox::NoInsert);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(12);
    setIconSize(QSize(16, 16));
    resize(145, 22);
    // Leaving the edit field with a listed text in it would pick that entry
    // and change the typed spelling; only Enter and the list choose.
    QObject::disconnect(lineEdit(), &QLineEdit::editingFinished, this, nullptr);
    setItemDelegate(new AddressItemDelegate(this));
    // The list's own handlers are already installed on it; these come first.
    view()->installEventFilter(this);
    view()->viewport()->installEventFilter(this);

    Icon_ = lineEdit()->addAction(QIcon(), QLineEdit::LeadingPosition);
    connect(this, &QComboBox::editTextChanged, this, [this] { ShowIcon(); });
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] {
        if (view()->isVisible()) hidePopup();
    });
    connect(this, &QComboBox::textActivated, this, [this] {
        if (ReleasedInList_) ListClicked();
    });

    UpdateCompleter();
    LoadTypedUrls();
    ShowIcon();
}

void BrowserAddressBox::SetAutoComplete(AutoCompleteMode v) {
    AutoComplete_ = v;
    UpdateCompleter();
}

void BrowserAddressBox::SetAutoSuggest(AutoSuggestMode v) {
    AutoSuggest_ = v;
    UpdateCompleter();
}

void BrowserAddressBox::SetFileOptions(unsigned v) {
    FileOptions_ = v & (FileSystem | UrlHistory | UrlMRU);
    UpdateCompleter();
}

void BrowserAddressBox::SetHasBorder(bool v) {
    HasBorder_ = v;
    UpdateFrame();
}

void BrowserAddressBox::SetHasDropDown(bool v) {
    HasDropDown_ = v;
    UpdateFrame();
}

void BrowserAddressBox::SetUrl(const QString& text) {
    Url_ = text;
    setEditText(text);
}

void BrowserAddressBox::LoadTypedUrls() {
    clear();
    RegistryStore reg(RegistryRoot::CurrentUser, Messages_);
    if (reg.OpenKey(kTypedUrlsKey, false)) {
        for (int k = 1; k <= kTypedUrlCount; ++k) {
            const std::string url = reg.ReadString("Url" + std::to_string(k));
            if (!url.empty()) addItem(QString::fromStdString(url));
        }
        reg.CloseKey();
    }
    setEditText(count() > 0 ? itemText(0) : QString());
}

void BrowserAddressBox::SaveTypedUrls() {
    RegistryStore reg(RegistryRoot::CurrentUser, Messages_);
    if (!reg.OpenKey(kTypedUrlsKey, true)) return;
    // An empty value after a short list marks its end.
    const int last = std::min(count() + 1, kTypedUrlCount);
    for (int k = 1; k <= last; ++k) {
        const QString url = k <= count() ? itemText(k - 1) : QString();
        reg.WriteString("Url" + std::to_string(k), url.toStdString());
    }
    reg.CloseKey();
}

void BrowserAddressBox::SetAccessibleName(const QString& name) {
    SetComboAccessibleName(*this, name);
    if (Completer_) Completer_->popup()->setAccessibleName(name + QStringLiteral(" suggestions"));
}

void BrowserAddressBox::hidePopup() {
    QComboBox::hidePopup();
    lineEdit()->setReadOnly(false);
    lineEdit()->selectAll();
}

void BrowserAddressBox::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        EnterInBox();
        break;
    case Qt::Key_Down:
        // The list opens with the edit field locked: the arrow keys walk the
        // list, and what they show is not to be typed over.
        lineEdit()->setReadOnly(true);
        lineEdit()->end(false);
        showPopup();
        break;
    case Qt::Key_Up:
        break;
    default:
        QComboBox::keyPressEvent(event);
        return;
    }
    event->accept();
}

bool BrowserAddressBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view() &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)) {
        auto& key = *static_cast<QKeyEvent*>(event);
        if (IsListKey(key)) {
            // The list would act on the shortcut check before the key comes;
            // claiming the key there keeps it for KeyInList.
            if (event->type() == QEvent::ShortcutOverride)
                event->accept();
            else
                KeyInList(key);
            return true;
        }
    }
    if (Completer_ && watched == Completer_->popup() && event->type() == QEvent::KeyPress &&
        IsEnter(*static_cast<QKeyEvent*>(event))) {
        // Enter on a suggestion takes it into the box first; the suggestion
        // list would pass the key on to the edit field before that.
        const QModelIndex suggestion = Completer_->popup()->currentIndex();
        Completer_->popup()->hide();
        if (suggestion.isValid()) setEditText(suggestion.data(Qt::DisplayRole).toString());
        EnterInBox();
        return true;
    }
    if (watched == view()->viewport() && event->type() == QEvent::MouseButtonRelease) {
        // The list answers the release by choosing the entry under the
        // pointer (textActivated) within this same event.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        ReleasedInList_ = view()->viewport()->rect().contains(mouse->position().toPoint());
        if (ReleasedInList_) QTimer::singleShot(0, this, [this] { ReleasedInList_ = false; });
    }
    return QComboBox::eventFilter(watched, event);
}

void BrowserAddressBox::EnterInBox() {
    const QString typed = currentText();
    if (typed.isEmpty()) return;
    Url_ = typed;
    if (!DefaultProtocol.isEmpty() && !Url_.contains(QLatin1String("://")) &&
        !QFileInfo(Url_).isFile())
        Url_ = DefaultProtocol + Url_;
    // On top even when listed already: the history is the order of typing.
    insertItem(0, Url_);
    // Inserting into an empty list would show the new entry.
    if (currentText() != typed) setEditText(typed);
    ChoiceMade(typed);
}

void BrowserAddressBox::KeyInList(const QKeyEvent& key) {
    const int row = view()->currentIndex().row();
    const bool alt = key.modifiers() & Qt::AltModifier;
    const auto select = [this](int to) {
        setCurrentIndex(to);
        view()->setCurrentIndex(model()->index(to, modelColumn()));
        lineEdit()->end(false);
    };
    if (IsEnter(key)) {
        if (row < 0 || row >= count()) {
            hidePopup();
            return;
        }
        const QString item = itemText(row);
        removeItem(row);
        insertItem(0, item);
        setCurrentIndex(0);
        setEditText(item);
        Url_ = item;
        hidePopup();
        ChoiceMade(item);
        return;
    }
    switch (key.key()) {
    case Qt::Key_Escape:
        hidePopup();
        break;
    case Qt::Key_Down:
        if (alt)
            hidePopup();
        else if (row < kLastKeyRow && row + 1 < count())
            select(row + 1);
        break;
    case Qt::Key_Up:
        if (alt)
            hidePopup();
        else if (row > 0)
            select(row - 1);
        break;
    }
}

void BrowserAddressBox::ChoiceMade(const QString& typed) {
    if (AddToHistory) SaveTypedUrls();
    if (OnUrlSelected) OnUrlSelected(typed);
}

void BrowserAddressBox::ListClicked() {
    ReleasedInList_ = false;
    Url_ = currentText();
    ShowIcon();
    lineEdit()->setReadOnly(false);
    lineEdit()->selectAll();
    // A pick with the mouse is no typed address: the history stays as it is.
    if (OnUrlSelected) OnUrlSelected(currentText());
}

void BrowserAddressBox::ShowIcon() {
    IconKind_ = IconKindOf(currentText());
    Icon_->setIcon(IconOf(currentText()));
    Icon_->setText(IconWord(IconKind_));
    Icon_->setToolTip(Icon_->text());
    Icon_->setVisible(IconKind_ != AddressIcon::None);
}

void BrowserAddressBox::UpdateCompleter() {
    const bool suggest = AutoSuggest_ != asForceOff;
    const bool inlineCompletion = AutoComplete_ == acForceOn;
    // Completion draws on the typed history, which is what this list holds;
    // FileSystem alone offers nothing.
    const bool fromHistory = (FileOptions_ & (UrlHistory | UrlMRU)) != 0;
    if (!fromHistory || (!suggest && !inlineCompletion)) {
        setCompleter(nullptr);
        delete Completer_;
        Completer_ = nullptr;
        return;
    }
    if (!Completer_) {
        Completer_ = new QCompleter(model(), this);
        Completer_->setCaseSensitivity(Qt::CaseInsensitive);
        Completer_->popup()->setAccessibleName(accessibleName() + QStringLiteral(" suggestions"));
        // After the completer's own filter, so it comes first.
        Completer_->popup()->installEventFilter(this);
        setCompleter(Completer_);
    }
    Completer_->setCompletionMode(suggest ? QCompleter::PopupCompletion
                                          : QCompleter::InlineCompletion);
    // Suggestions match anywhere, so that a host name finds its addresses.
    Completer_->setFilterMode(suggest ? Qt::MatchContains : Qt::MatchStartsWith);
}

void BrowserAddressBox::UpdateFrame() {
    setFrame(HasBorder_);
    setStyleSheet(HasDropDown_
                      ? QString()
                      : QStringLiteral("QComboBox::drop-down { width: 0px; border: none; }"
                                       "QComboBox::down-arrow { image: none; width: 0px; }"));
}
