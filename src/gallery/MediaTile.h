#pragma once

// The media tile: a widget that loads a picture or a video file, chosen by its
// extension, for a box of a given size. Pictures are decoded into it (JPEG at
// the scale fitted to the box) and shown centred and clipped at the decoded
// size, never resampled; videos go to a player. The gallery's thumbnail tiles
// and the full-screen display are built on it.

#include "gallery/PictureDecoder.h"

#include <QImage>
#include <QLabel>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

// What a media tile asks of the player it hands videos to. The full-screen
// display supplies one that plays in its video panel; a tile that meets a
// video without one makes its own, which has no display and shows nothing.
class VideoPlayback {
public:
    virtual ~VideoPlayback() = default;
    // Whether videos have somewhere to be shown.
    virtual bool HasDisplay() const = 0;
    // Opens fileName (bytes, as the file system has it) in the display,
    // centred, starts playing and shows the display; false when the file
    // cannot be played.
    virtual bool PlayInDisplay(const std::string& fileName) = 0;
    // Stops and closes what plays and hides the display; harmless when
    // nothing plays.
    virtual void StopPlayback() = 0;
};

// How a load began: decided at once, or a picture being decoded.
enum class MediaLoad { Failed, Shown, Pending };

class MediaTile : public QWidget {
public:
    // Fills its parent, following the parent's size.
    explicit MediaTile(QWidget* parent = nullptr);
    ~MediaTile() override;

    // Loads a picture or video file for a box of boxWidth × boxHeight logical
    // pixels; true when the tile now shows it. fileName is the path's bytes
    // as the file system has them, whatever their encoding. The tile is hidden while it
    // loads and stays hidden when the load fails, and whatever it showed or
    // played before is gone either way. A video on a tile whose player has no
    // display counts as loaded and shows nothing.
    bool LoadMedia(const std::string& fileName, int boxWidth, int boxHeight);
    // As LoadMedia, except that a picture is decoded on the shared decoding
    // pool: the load is Pending, the tile stays hidden, and OnPictureLoaded
    // tells on the GUI thread, once the picture is in, whether the tile shows
    // it. Missing files, other extensions and videos are decided at once. A
    // later load replaces a pending one, whose picture is then dropped.
    MediaLoad StartLoadMedia(const std::string& fileName, int boxWidth, int boxHeight);
    std::function<void(bool shown)> OnPictureLoaded;
    // A picture of StartLoadMedia is being decoded.
    bool IsDecoding() const { return Decoding_; }

    // The file last loaded is a video.
    bool IsVideo() const { return IsVideo_; }

    // The player videos go to: the one supplied, else the tile's own once a
    // video came, else none.
    VideoPlayback* Player() const { return Player_; }
    // A player owned elsewhere; it must outlive the tile or be replaced.
    void SetPlayer(VideoPlayback* player);

    // The part of the decoded picture the tile keeps: the centred crop of the
    // box, in device pixels. Null when no picture is shown.
    const QImage& ShownPicture() const { return Shown_; }
    // The decoded picture's size before the crop, device pixels.
    QSize DecodedSize() const { return DecodedSize_; }
    // The JPEG decoding scale of the picture shown: 1, 2, 4 or 8.
    int ScaleDenominator() const { return ScaleDenominator_; }
    // Why the last picture was refused; None after a successful load.
    DecodeFailure LastFailure() const { return LastFailure_; }

    // What a decoding leaves for a tile: the part of the picture it shows
    // (null when the file was refused).
    struct BoxPicture {
        QImage Shown;
        QSize DecodedSize;
        int ScaleDenominator = 1;
        DecodeFailure Failure = DecodeFailure::Damaged;
    };
    // Whether StartLoadMedia would decode the file (a picture that is
    // there) rather than decide at once.
    static bool IsPictureToDecode(const std::string& fileName);
    // Decodes and crops for the box on the shared decoding pool; deliver
    // gets the result on the GUI thread from the event loop, unless receiver
    // is gone by then.
    static void DecodeForBoxLater(QObject* receiver, const std::string& fileName, QSize box,
                                  qreal ratio, std::function<void(BoxPicture)> deliver);
    // Replaces what the tile shows or plays with a picture decoded for its
    // box elsewhere; true when the tile now shows it.
    bool ShowDecoded(BoxPicture picture);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Decodes and crops for the box; touches no tile, so any thread may.
    static BoxPicture DecodeForBox(const std::string& fileName, QSize box, qreal ratio);
    // What was shown or played goes, a pending decoding is dropped, and the
    // tile hides.
    void EndWhatShows();
    // The start of every load: EndWhatShows, and anything but a picture is
    // decided (Pending for a picture).
    MediaLoad BeginLoad(const std::string& fileName);
    bool ShowPicture(BoxPicture picture);
    void Clear();
    void UpdateOpaque();

    QImage Shown_;
    QSize DecodedSize_;
    int ScaleDenominator_ = 1;
    DecodeFailure LastFailure_ = DecodeFailure::None;
    bool IsVideo_ = false;
    bool Decoding_ = false;
    quint64 Loads_ = 0; // loads begun; a decoding of an earlier one is stale
    VideoPlayback* Player_ = nullptr;
    std::unique_ptr<VideoPlayback> OwnPlayer_;
};

// The frame of a gallery tile: black, with its caption (the file name,
// "[on disk]", "not a thumb") drawn in a light colour, centred at the top, so
// that it can be read on the black. Its MediaTile child covers it.
class MediaTileFrame : public QLabel {
public:
    explicit MediaTileFrame(QWidget* parent = nullptr);

    static QColor CaptionColour();
};
