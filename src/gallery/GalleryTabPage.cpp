#include "GalleryTabPage.h"

#include "gallery/ExceptionGuard.h"
#include "gallery/HelpContext.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>
#include <map>
#include <optional>

namespace {

constexpr int kMarkerLeft = 2;
constexpr int kMarkerWidth = 9, kMarkerHeight = 4;
constexpr int kBigMarkerWidth = 25, kBigMarkerHeight = 17;
constexpr int kMarkerGap = 4; // between the marker's bottom and the tile's
constexpr int kButtonTop = 5, kButtonHeight = 24;
constexpr int kLabelTop = 32, kLabelLeft = 5;
constexpr int kGap = 3;

QString Hint(const QString& address) {
    // Plain text as rich text: an address with "<" must not become markup.
    return Qt::convertFromPlainText(address, Qt::WhiteSpaceNoWrap);
}

QString Stringify(const std::string& s) {
    return QString::fromStdString(s);
}

// A button's icon. The style reads each icon from image files, which costs
// more than the rest of a tab page: each is made once per style and shared by
// every page. The cache belongs to the application, so no icon outlives it.
QIcon ButtonIcon(QStyle* style, QStyle::StandardPixmap which) {
    struct Cache : QObject {
        QPointer<QStyle> Style;
        std::map<int, QIcon> Icons;
    };
    static QPointer<Cache> cache;
    if (cache.isNull()) {
        cache = new Cache;
        cache->setParent(QCoreApplication::instance());
    }
    if (cache->Style.data() != style) {
        cache->Style = style;
        cache->Icons.clear();
    }
    auto [it, added] = cache->Icons.try_emplace(int(which));
    if (added) it->second = style->standardIcon(which);
    return it->second;
}

// A tile reads as a button to screen readers and to tools driving the
// window: its press action is a left click.
class ThumbTileAccessible : public QAccessibleWidget {
public:
    explicit ThumbTileAccessible(ThumbTile* tile) : QAccessibleWidget(tile, QAccessible::Button) {}

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name != pressAction()) return;
        auto* tile = static_cast<ThumbTile*>(widget());
        if (tile->OnMouseDown) tile->OnMouseDown(*tile, Qt::LeftButton);
    }
};

QAccessibleInterface* TileAccessibleFactory(const QString&, QObject* object) {
    if (auto* tile = dynamic_cast<ThumbTile*>(object)) return new ThumbTileAccessible(tile);
    return nullptr;
}

void InstallTileAccessibleFactory() {
    static const bool installed = [] {
        QAccessible::installFactory(TileAccessibleFactory);
        return true;
    }();
    (void)installed;
}

// The marker paints its own fill: an opaque child widget over the picture
// would make Qt clip the picture to an uneven region on every paint.
class MarkerLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter(this).fillRect(rect(), palette().window());
        QLabel::paintEvent(event);
    }
};

// The address label: a click passes the page address on.
class PageAddressLabel : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
            OnClick)
            RunGuarded(OnClick, nullptr);
    }
};

} // namespace

QColor MarkerColour(MarkerState state) {
    switch (state) {
    case MarkerState::Unselected:
        return QColor(0xFF, 0x00, 0x00);
    case MarkerState::Selected:
        return QColor(0xFF, 0xFF, 0x00);
    case MarkerState::Requested:
        return QColor(0x80, 0x80, 0x00);
    case MarkerState::Downloading:
        return QColor(0xFF, 0xFF, 0xFF);
    case MarkerState::OnDisk:
        return QColor(0x00, 0xFF, 0x00);
    }
    return Qt::black;
}

QString TileDescription(const ThumbEntry& thumb) {
    if (thumb.NotAThumb) return QStringLiteral("not a thumb");
    if (thumb.OnDisk) return QStringLiteral("on disk");
    if (thumb.Marker == MarkerState::Downloading)
        return QStringLiteral("downloading ") + Stringify(thumb.MarkerText);
    if (thumb.Requested) return QStringLiteral("requested");
    if (thumb.Selected) return QStringLiteral("selected");
    return QStringLiteral("unselected");
}

QString ThumbFileName(const QString& address) {
    return address.mid(address.lastIndexOf('/') + 1);
}

// --- the picture and the tile ---

ThumbPicture::ThumbPicture(QWidget* tile, int tabId, int thumbPosition)
    : MediaTile(tile), TabId(tabId), ThumbPosition(thumbPosition) {}

ThumbTile::ThumbTile(QWidget* board, int tabId, int thumbPosition, const QString& thumbAddress,
                     const QString& fullSizeAddress)
    : MediaTileFrame(board), TabId(tabId) {
    InstallTileAccessibleFactory();
    setFixedSize(kTileSize, kTileSize);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setTextFormat(Qt::PlainText);
    const QString fileName = ThumbFileName(thumbAddress);
    if (thumbAddress.contains('/')) setText("\n\n\n" + fileName);
    const QString hint = Hint(fullSizeAddress);
    setToolTip(hint);
    SetHelpContext(this, kGalleryHelpContext);
    setAccessibleName(fileName);

    TileImage = new ThumbPicture(this, tabId, thumbPosition);
    // The picture shows once it is loaded; hidden from the start, it is not
    // shown with the tile only to be hidden again when its load begins.
    TileImage->hide();
    TileImage->setToolTip(hint);
    TileImage->setCursor(Qt::PointingHandCursor);

    Marker = new MarkerLabel(this);
    Marker->setFrameStyle(QFrame::Box | QFrame::Plain);
    Marker->setLineWidth(1);
    Marker->setAlignment(Qt::AlignCenter);
    Marker->setTextFormat(Qt::PlainText);
    // The marker is part of the tile for screen readers: the tile's
    // description says what it shows.
    Marker->setAccessibleName(QStringLiteral("marker"));
    ThumbEntry fresh;
    ShowState(fresh);
}

MediaLoad ThumbTile::LoadThumb(const std::string& file) {
    TileImage->OnPictureLoaded = [this](bool shown) {
        if (!shown) ShowNotAThumb();
        if (OnThumbLoaded) RunGuarded([&] { OnThumbLoaded(*this, shown); }, nullptr);
    };
    const MediaLoad load = TileImage->StartLoadMedia(file, kTileSize, kTileSize);
    if (load == MediaLoad::Failed) ShowNotAThumb();
    return load;
}

bool ThumbTile::ShowThumb(MediaTile::BoxPicture picture) {
    const bool shown = TileImage->ShowDecoded(std::move(picture));
    if (!shown) ShowNotAThumb();
    return shown;
}

void ThumbTile::ShowNotAThumb() {
    setText(QStringLiteral("not a thumb"));
    setAlignment(Qt::AlignCenter);
    TileImage->hide();
    Marker->hide();
    setAccessibleDescription(QStringLiteral("not a thumb"));
}

void ThumbTile::ShowOnDisk() {
    setText(text() + "\n\n[on disk]");
}

void ThumbTile::ShowState(const ThumbEntry& thumb) {
    const bool big = thumb.Marker == MarkerState::Downloading;
    const int w = big ? kBigMarkerWidth : kMarkerWidth;
    const int h = big ? kBigMarkerHeight : kMarkerHeight;
    Marker->setGeometry(kMarkerLeft, kTileSize - h - kMarkerGap, w, h);
    // A tile shows its state several times while it is made: each change of
    // palette or description goes round the widget's children and the
    // accessibility layer, so only what differs is set.
    const QColor colour = MarkerColour(thumb.Marker);
    if (Marker->palette().color(QPalette::Window) != colour ||
        Marker->palette().color(QPalette::WindowText) != Qt::black) {
        QPalette colours = Marker->palette();
        colours.setColor(QPalette::Window, colour);
        colours.setColor(QPalette::WindowText, Qt::black);
        Marker->setPalette(colours);
    }
    Marker->setText(big ? Stringify(thumb.MarkerText) : QString());
    const QString description = TileDescription(thumb);
    if (accessibleDescription() != description) setAccessibleDescription(description);
}

void ThumbTile::RepaintMarker() {
    Marker->hide();
    Marker->show();
}

void ThumbTile::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (OnMouseDown) {
        const Qt::MouseButton button = event->button();
        RunGuarded([&] { OnMouseDown(*this, button); }, nullptr);
    }
}

// --- the tab page ---

GalleryTabPage::GalleryTabPage(int tabId, const QString& pageAddress) : TabId_(tabId) {
    SetHelpContext(this, kGalleryHelpContext);
    Board_ = new QScrollArea(this);
    Board_->setFrameShape(QFrame::NoFrame);
    Board_->setWidgetResizable(true);
    Contents_ = new QWidget;
    QPalette silver = Contents_->palette();
    silver.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    Contents_->setPalette(silver);
    Contents_->setAutoFillBackground(true);
    Board_->setWidget(Contents_);
    auto* fill = new QVBoxLayout(this);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(Board_);

    struct ButtonDef {
        const char* Caption;
        int Left, Width;
        QStyle::StandardPixmap Icon;
    };
    static constexpr std::array<ButtonDef, ButtonCount> kButtons{{
        {"get all", 6, 70, QStyle::SP_BrowserReload},
        {"get selected", 80, 90, QStyle::SP_BrowserReload},
        {"select all", 174, 80, QStyle::SP_DialogApplyButton},
        {"unselect all", 258, 90, QStyle::SP_DialogNoButton},
        {"throw", 352, 80, QStyle::SP_DialogCancelButton},
        {"close", 446, 60, QStyle::SP_DialogCloseButton},
        {"reload", 530, 70, QStyle::SP_BrowserReload},
    }};
    for (int i = 0; i < ButtonCount; ++i) {
        const ButtonDef& def = kButtons[std::size_t(i)];
        auto* button = new QPushButton(QString::fromLatin1(def.Caption), Contents_);
        button->setIcon(ButtonIcon(style(), def.Icon));
        button->setGeometry(def.Left, kButtonTop, def.Width, kButtonHeight);
        button->setProperty("tag", tabId);
        button->setFocusPolicy(Qt::TabFocus);
        const auto which = TabButton(i);
        QObject::connect(button, &QPushButton::clicked, this, [this, which, button] {
            if (OnButton)
                RunGuarded([&] { OnButton(which, button->property("tag").toInt()); }, nullptr);
        });
        Buttons_[std::size_t(i)] = button;
    }

    auto* label = new PageAddressLabel(Contents_);
    label->setTextFormat(Qt::PlainText);
    label->setText("  " + pageAddress + "  ");
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setCursor(Qt::WhatsThisCursor);
    label->move(kLabelLeft, kLabelTop);
    label->adjustSize();
    label->setAccessibleName(QStringLiteral("page address"));
    label->setAccessibleDescription(pageAddress);
    label->OnClick = [this] {
        if (OnAddressClick) OnAddressClick(PageAddress());
    };
    AddressLabel_ = label;

    const int right =
        std::max(kButtons.back().Left + kButtons.back().Width, label->geometry().right() + 1);
    FixedPartSize_ = QSize(right + kGap, kLabelTop + label->height() + kGap);
    Contents_->setMinimumSize(FixedPartSize_);
    // The visible width changes with the window and with the scroll bar.
    Board_->viewport()->installEventFilter(this);
}

bool GalleryTabPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Board_->viewport() && event->type() == QEvent::Resize)
        RunGuarded([&] { LayOutTiles(Board_->viewport()->width()); }, nullptr);
    return QWidget::eventFilter(watched, event);
}

void GalleryTabPage::LayOutTiles(int width) {
    const bool sameColumns = LayoutWidth_ > 0 && TileColumns(width) == TileColumns(LayoutWidth_);
    LayoutWidth_ = width;
    if (sameColumns) return;
    QSize needed = FixedPartSize_;
    for (ThumbTile* tile : Tiles_) {
        if (tile == nullptr) continue;
        const TileOrigin origin = TileOriginAt(tile->Cell, width);
        tile->move(origin.Left, origin.Top);
        needed =
            needed.expandedTo(QSize(origin.Left + kTileSize + kGap, origin.Top + kTileSize + kGap));
    }
    // A scroll area does not size itself to its children: the board reaches
    // the last tile and a gap, and no further.
    if (needed != Contents_->minimumSize()) Contents_->setMinimumSize(needed);
}

QString GalleryTabPage::PageAddress() const {
    const QString caption = AddressLabel_->text();
    return caption.mid(2, caption.size() - 4);
}

ThumbTile* GalleryTabPage::AddTile(int position, int cell, int pageWidth,
                                   const QString& thumbAddress, const QString& fullSizeAddress) {
    if (position >= int(Tiles_.size())) Tiles_.resize(std::size_t(position) + 1, nullptr);
    // A thumbnail that could not be shown may arrive again: its new tile
    // takes the old one's cell.
    DropTile(position);
    auto* tile = new ThumbTile(Contents_, TabId_, position, thumbAddress, fullSizeAddress);
    tile->Cell = cell;
    const TileOrigin origin = TileOriginAt(cell, LayoutWidth_ > 0 ? LayoutWidth_ : pageWidth);
    tile->move(origin.Left, origin.Top);
    tile->OnMouseDown = [this](ThumbTile& t, Qt::MouseButton button) {
        if (OnTileMouseDown) OnTileMouseDown(t, button);
    };
    tile->OnThumbLoaded = [this](ThumbTile& t, bool shown) {
        if (MadeTile(t.ThumbPosition()) == &t && OnThumbLoaded)
            OnThumbLoaded(t.ThumbPosition(), shown);
    };
    Tiles_[std::size_t(position)] = tile;
    const QSize needed = Contents_->minimumSize().expandedTo(
        QSize(origin.Left + kTileSize + kGap, origin.Top + kTileSize + kGap));
    if (needed != Contents_->minimumSize()) Contents_->setMinimumSize(needed);
    tile->show();
    return tile;
}

// A thumbnail whose tile waits for its page to be shown.
struct GalleryTabPage::WaitingTile {
    int Cell = 0;
    QString ThumbAddress, FullSizeAddress;
    std::optional<MediaTile::BoxPicture> Picture; // once decoded
    // Made while its picture was decoding: the tile takes the picture.
    QPointer<ThumbTile> Made;
};

MediaLoad GalleryTabPage::PlaceThumb(int position, int cell, int pageWidth,
                                     const QString& thumbAddress, const QString& fullSizeAddress,
                                     const std::string& file) {
    if (Shown_ || !MediaTile::IsPictureToDecode(file))
        return AddTile(position, cell, pageWidth, thumbAddress, fullSizeAddress)->LoadThumb(file);
    DropTile(position);
    LastPageWidth_ = pageWidth;
    if (position >= int(Waiting_.size())) Waiting_.resize(std::size_t(position) + 1);
    auto waiting = std::make_shared<WaitingTile>();
    waiting->Cell = cell;
    waiting->ThumbAddress = thumbAddress;
    waiting->FullSizeAddress = fullSizeAddress;
    Waiting_[std::size_t(position)] = waiting;

    MediaTile::DecodeForBoxLater(
        this, file, QSize(kTileSize, kTileSize), devicePixelRatioF(),
        [this, waiting, position](MediaTile::BoxPicture picture) {
            bool shown = false;
            if (position < int(Waiting_.size()) && Waiting_[std::size_t(position)] == waiting) {
                shown = !picture.Shown.isNull();
                waiting->Picture = std::move(picture);
            } else if (!waiting->Made.isNull() && MadeTile(position) == waiting->Made) {
                shown = waiting->Made->ShowThumb(std::move(picture));
            } else {
                return; // replaced
            }
            if (OnThumbLoaded) RunGuarded([&] { OnThumbLoaded(position, shown); }, nullptr);
        });
    return MediaLoad::Pending;
}

void GalleryTabPage::MakeWaitingTiles() {
    std::vector<std::shared_ptr<WaitingTile>> waiting;
    waiting.swap(Waiting_);
    for (std::size_t position = 0; position < waiting.size(); ++position) {
        WaitingTile* w = waiting[position].get();
        if (w == nullptr) continue;
        ThumbTile* tile =
            AddTile(int(position), w->Cell, LastPageWidth_, w->ThumbAddress, w->FullSizeAddress);
        if (!w->Picture)
            w->Made = tile;
        else
            tile->ShowThumb(std::move(*w->Picture));
        if (OnTileMade) RunGuarded([&] { OnTileMade(*tile); }, nullptr);
    }
}

void GalleryTabPage::DropTile(int position) {
    if (position < int(Waiting_.size())) Waiting_[std::size_t(position)].reset();
    if (position >= int(Tiles_.size())) return;
    if (ThumbTile* old = Tiles_[std::size_t(position)]) {
        old->hide();
        old->deleteLater();
        Tiles_[std::size_t(position)] = nullptr;
    }
}

void GalleryTabPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (Shown_) return;
    Shown_ = true;
    RunGuarded([this] { MakeWaitingTiles(); }, nullptr);
}

ThumbTile* GalleryTabPage::Tile(int position) {
    if (position >= 0 && position < int(Waiting_.size()) && Waiting_[std::size_t(position)])
        MakeWaitingTiles();
    return MadeTile(position);
}

ThumbTile* GalleryTabPage::MadeTile(int position) const {
    if (position < 0 || position >= int(Tiles_.size())) return nullptr;
    return Tiles_[std::size_t(position)];
}

int GalleryTabPage::TileCount() const {
    const auto made = std::count_if(Tiles_.begin(), Tiles_.end(), [](auto* t) { return t; });
    const auto waiting =
        std::count_if(Waiting_.begin(), Waiting_.end(), [](const auto& w) { return bool(w); });
    return int(made + waiting);
}
