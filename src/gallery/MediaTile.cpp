#include "MediaTile.h"

#include "gallery/FilePath.h"
#include "gallery/PictureDecodePool.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// The player of a tile that was given none: videos have nowhere to go.
class NoDisplayPlayback final : public VideoPlayback {
public:
    bool HasDisplay() const override { return false; }
    bool PlayInDisplay(const std::string&) override { return false; }
    void StopPlayback() override {}
};

// The centred part of picture that fits box (device pixels); the copy owns
// its pixels, so the rest of the decoded picture is freed with it.
QImage CentredCrop(const QImage& picture, QSize box) {
    const int w = std::min(picture.width(), std::max(box.width(), 1));
    const int h = std::min(picture.height(), std::max(box.height(), 1));
    if (w == picture.width() && h == picture.height()) return picture;
    QImage crop = picture.copy((picture.width() - w) / 2, (picture.height() - h) / 2, w, h);
    crop.setDevicePixelRatio(picture.devicePixelRatio());
    return crop;
}

} // namespace

MediaTile::MediaTile(QWidget* parent) : QWidget(parent) {
    setAccessibleName(QStringLiteral("picture"));
    if (parent != nullptr) {
        parent->installEventFilter(this);
        setGeometry(parent->rect());
    }
}

MediaTile::~MediaTile() = default;

void MediaTile::SetPlayer(VideoPlayback* player) {
    if (player == Player_) return;
    if (Player_ != nullptr) Player_->StopPlayback();
    Player_ = player;
    if (player != OwnPlayer_.get()) OwnPlayer_.reset();
}

void MediaTile::Clear() {
    Shown_ = QImage();
    DecodedSize_ = QSize();
    ScaleDenominator_ = 1;
    LastFailure_ = DecodeFailure::None;
    IsVideo_ = false;
    UpdateOpaque();
    update();
}

void MediaTile::UpdateOpaque() {
    // A picture without transparency that covers the whole widget hides
    // whatever lies under it: Qt need not paint the frame and caption first.
    const qreal ratio = Shown_.isNull() ? 1.0 : Shown_.devicePixelRatio();
    const QSize device(static_cast<int>(std::lround(width() * ratio)),
                       static_cast<int>(std::lround(height() * ratio)));
    const bool covers = !Shown_.isNull() && !Shown_.hasAlphaChannel() &&
                        Shown_.width() >= device.width() && Shown_.height() >= device.height();
    setAttribute(Qt::WA_OpaquePaintEvent, covers);
}

void MediaTile::EndWhatShows() {
    ++Loads_;
    Decoding_ = false;
    hide();
    Clear();
    // Whatever played before ends here, whatever comes next.
    if (Player_ != nullptr) Player_->StopPlayback();
}

MediaLoad MediaTile::BeginLoad(const std::string& fileName) {
    EndWhatShows();
    if (!IsRegularFile(fileName)) {
        LastFailure_ = DecodeFailure::Unreadable;
        return MediaLoad::Failed;
    }
    const MediaKind kind = MediaKindOf(MediaExtension(fileName));
    if (kind == MediaKind::None) {
        LastFailure_ = DecodeFailure::Unreadable;
        return MediaLoad::Failed;
    }
    if (kind == MediaKind::Picture) return MediaLoad::Pending;

    IsVideo_ = true;
    if (Player_ == nullptr) {
        OwnPlayer_ = std::make_unique<NoDisplayPlayback>();
        Player_ = OwnPlayer_.get();
    }
    if (Player_->HasDisplay() && !Player_->PlayInDisplay(fileName)) return MediaLoad::Failed;
    show();
    return MediaLoad::Shown;
}

bool MediaTile::IsPictureToDecode(const std::string& fileName) {
    return MediaKindOf(MediaExtension(fileName)) == MediaKind::Picture && IsRegularFile(fileName);
}

bool MediaTile::ShowDecoded(BoxPicture picture) {
    EndWhatShows();
    return ShowPicture(std::move(picture));
}

MediaTile::BoxPicture MediaTile::DecodeForBox(const std::string& fileName, QSize box, qreal ratio) {
    BoxPicture result;
    const DecodedPicture picture = PictureDecoder::Decode(fileName, box, ratio);
    result.Failure = picture.Failure;
    if (!picture.Ok()) return result;
    const qreal imageRatio = picture.Image.devicePixelRatio();
    const QSize deviceBox(static_cast<int>(std::lround(box.width() * imageRatio)),
                          static_cast<int>(std::lround(box.height() * imageRatio)));
    result.Shown = CentredCrop(picture.Image, deviceBox);
    result.DecodedSize = picture.Image.size();
    result.ScaleDenominator = picture.ScaleDenominator;
    return result;
}

bool MediaTile::ShowPicture(BoxPicture picture) {
    if (picture.Shown.isNull()) {
        LastFailure_ = picture.Failure;
        return false;
    }
    Shown_ = std::move(picture.Shown);
    DecodedSize_ = picture.DecodedSize;
    ScaleDenominator_ = picture.ScaleDenominator;
    UpdateOpaque();
    show();
    update();
    return true;
}

bool MediaTile::LoadMedia(const std::string& fileName, int boxWidth, int boxHeight) {
    const MediaLoad begun = BeginLoad(fileName);
    if (begun != MediaLoad::Pending) return begun == MediaLoad::Shown;
    return ShowPicture(DecodeForBox(fileName, QSize(boxWidth, boxHeight), devicePixelRatioF()));
}

MediaLoad MediaTile::StartLoadMedia(const std::string& fileName, int boxWidth, int boxHeight) {
    const MediaLoad begun = BeginLoad(fileName);
    if (begun != MediaLoad::Pending) return begun;
    Decoding_ = true;
    const quint64 load = Loads_;
    DecodeForBoxLater(this, fileName, QSize(boxWidth, boxHeight), devicePixelRatioF(),
                      [this, load](BoxPicture picture) {
                          if (load != Loads_) return; // a later load replaced this one
                          Decoding_ = false;
                          const bool shown = ShowPicture(std::move(picture));
                          if (OnPictureLoaded) OnPictureLoaded(shown);
                      });
    return MediaLoad::Pending;
}

void MediaTile::DecodeForBoxLater(QObject* receiver, const std::string& fileName, QSize box,
                                  qreal ratio, std::function<void(BoxPicture)> deliver) {
    // Written by the worker, read here once the delivery has come through
    // the event queue.
    auto picture = std::make_shared<BoxPicture>();
    PictureDecodePool::Shared().Run(
        receiver,
        [picture, fileName, box, ratio] { *picture = DecodeForBox(fileName, box, ratio); },
        [picture, deliver = std::move(deliver)] { deliver(std::move(*picture)); });
}

void MediaTile::paintEvent(QPaintEvent*) {
    if (Shown_.isNull()) return;
    // Centred in device pixels, so that at ratio 1 every position is whole
    // and one picture pixel lands on one screen pixel.
    const qreal ratio = Shown_.devicePixelRatio();
    const int x = static_cast<int>(std::lround(width() * ratio) - Shown_.width()) / 2;
    const int y = static_cast<int>(std::lround(height() * ratio) - Shown_.height()) / 2;
    QPainter painter(this);
    painter.drawImage(QPointF(x / ratio, y / ratio), Shown_);
}

bool MediaTile::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
        UpdateOpaque();
    }
    return QWidget::eventFilter(watched, event);
}

MediaTileFrame::MediaTileFrame(QWidget* parent) : QLabel(parent) {
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::black);
    colours.setColor(QPalette::WindowText, CaptionColour());
    setPalette(colours);
    setAutoFillBackground(true);
    setAlignment(Qt::AlignHCenter | Qt::AlignTop);
}

QColor MediaTileFrame::CaptionColour() {
    return QColor(0xE0, 0xE0, 0xE0);
}
