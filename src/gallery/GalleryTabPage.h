#pragma once

// The widgets of a gallery tab: a silver scrolling board with a row of seven
// buttons, a label with the page address, and a tile per thumbnail that has
// arrived. A tile frames its picture and carries a small coloured marker
// telling where the thumbnail stands. What the buttons and clicks do is the
// gallery controller's; these classes only show and report.

#include "gallery/GalleryModel.h"
#include "gallery/MediaTile.h"

#include <QColor>
#include <QLabel>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QPushButton;
class QScrollArea;

inline constexpr int kTileSize = 110;

// The marker's colour for each state: red, yellow, olive, white, lime.
QColor MarkerColour(MarkerState state);
// What a tile tells a screen reader about its thumbnail: "unselected",
// "selected", "requested", "downloading 42%", "on disk" or "not a thumb".
QString TileDescription(const ThumbEntry& thumb);
// The last segment of an address: a tile's name.
QString ThumbFileName(const QString& address);

// The picture of a tile.
class ThumbPicture : public MediaTile {
public:
    ThumbPicture(QWidget* tile, int tabId, int thumbPosition);
    int TabId = 0;
    int ThumbPosition = 0; // the thumbnail's index in its tab's Thumbs
};

// A tile: 110 × 110, black, its caption light on the black, the picture over
// it and the marker at its bottom left.
class ThumbTile : public MediaTileFrame {
public:
    ThumbTile(QWidget* board, int tabId, int thumbPosition, const QString& thumbAddress,
              const QString& fullSizeAddress);

    int TabId = 0;
    int Cell = 0; // the tile's place in its page's grid
    QLabel* Marker;
    ThumbPicture* TileImage;
    int ThumbPosition() const { return TileImage->ThumbPosition; }

    // Loads the thumbnail file, its picture decoded off the GUI thread
    // (Pending until OnThumbLoaded); when it cannot be shown the tile says
    // "not a thumb". file is the path's bytes.
    MediaLoad LoadThumb(const std::string& file);
    // Shows a thumbnail decoded for the tile elsewhere, or "not a thumb";
    // true when it shows the picture. OnThumbLoaded does not follow.
    bool ShowThumb(MediaTile::BoxPicture picture);
    void ShowNotAThumb();
    // Appends "[on disk]" under the file name.
    void ShowOnDisk();
    // The marker's colour, size and text, and the description that follows.
    void ShowState(const ThumbEntry& thumb);
    // Hides and shows the marker again, so that it is drawn anew.
    void RepaintMarker();

    // A mouse button went down on the tile or its picture.
    std::function<void(ThumbTile& tile, Qt::MouseButton button)> OnMouseDown;
    // A pending LoadThumb ended: the tile shows its picture, or not.
    std::function<void(ThumbTile& tile, bool shown)> OnThumbLoaded;

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// The tab page: what the page control shows for one gallery tab.
class GalleryTabPage : public QWidget {
public:
    enum TabButton {
        GetAll,
        GetSelected,
        SelectAll,
        UnselectAll,
        Throw,
        Close,
        Reload,
        ButtonCount
    };

    GalleryTabPage(int tabId, const QString& pageAddress);

    int TabId() const { return TabId_; }
    // The address label's caption without the two blanks on each side.
    QString PageAddress() const;

    // Builds the tile of a thumbnail in a cell of the grid, replacing one the
    // position had; the board grows to hold it. The grid's column count
    // follows the board's visible width, and every tile moves when that
    // changes; pageWidth stands in for it until the page has been shown.
    ThumbTile* AddTile(int position, int cell, int pageWidth, const QString& thumbAddress,
                       const QString& fullSizeAddress);
    // AddTile and the tile's LoadThumb, except on a page that has never been
    // shown: there a picture file is decoded as the tile would (Pending
    // until OnThumbLoaded), but its tile is made only when the page is first
    // shown or Tile asks for it, showing what was decoded. Most tabs of a
    // scan are closed unseen, and their tiles would cost the window more
    // than their pictures.
    MediaLoad PlaceThumb(int position, int cell, int pageWidth, const QString& thumbAddress,
                         const QString& fullSizeAddress, const std::string& file);
    // The tile of a thumbnail position, the page's waiting tiles made first;
    // null when it has none.
    ThumbTile* Tile(int position);
    // The tile of a thumbnail position if it has been made.
    ThumbTile* MadeTile(int position) const;
    // Tiles made or waiting.
    int TileCount() const;

    QScrollArea* Board() const { return Board_; }
    QWidget* BoardContents() const { return Contents_; }
    QLabel* AddressLabel() const { return AddressLabel_; }
    QPushButton* Button(TabButton which) const { return Buttons_[which]; }

    // A button was pressed; the tab's Id is its tag.
    std::function<void(TabButton which, int tabId)> OnButton;
    std::function<void(const QString& pageAddress)> OnAddressClick;
    std::function<void(ThumbTile& tile, Qt::MouseButton button)> OnTileMouseDown;
    // The pending load of a thumbnail position ended; one that has been
    // replaced since does not report.
    std::function<void(int position, bool shown)> OnThumbLoaded;
    // A waiting tile has been made: it should show its thumbnail's state
    // ("[on disk]" included).
    std::function<void(ThumbTile& tile)> OnTileMade;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct WaitingTile;
    void MakeWaitingTiles();
    // Takes a position's tile, made or waiting, away.
    void DropTile(int position);

    // Puts every tile in its cell for a board of the given width and sizes
    // the board to the buttons, the label and the tiles.
    void LayOutTiles(int width);

    int TabId_;
    int LayoutWidth_ = 0; // the width the tiles are laid out for; 0 until shown
    QSize FixedPartSize_; // what the buttons and the label need
    QScrollArea* Board_;
    QWidget* Contents_;
    QLabel* AddressLabel_;
    std::array<QPushButton*, ButtonCount> Buttons_{};
    std::vector<ThumbTile*> Tiles_; // by thumbnail position
    // Tiles not made yet, by thumbnail position; none once the page has
    // been shown.
    std::vector<std::shared_ptr<WaitingTile>> Waiting_;
    bool Shown_ = false;    // shown once: tiles are made as thumbnails come
    int LastPageWidth_ = 0; // PlaceThumb's latest, for the waiting tiles
};
