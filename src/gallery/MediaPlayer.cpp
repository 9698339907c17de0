#include "MediaPlayer.h"

#include "gallery/FilePath.h"

#include <QAbstractScrollArea>
#include <QAudioOutput>
#include <QEvent>
#include <QFile>
#include <QMediaMetaData>
#include <QMediaPlayer>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>
#include <QVideoFrame>
#include <QVideoSink>
#include <QVideoWidget>

#include <cerrno>
#include <cstring>
#include <exception>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace {

const char* const kUnknownError = "Unknown error code";
const char* const kNoDevice = "No MCI device open";

} // namespace

// The video widget a smart player puts inside its display. It stretches the
// pictures to its own size (the layout keeps the proportions), pans the
// display on a drag, and tells its player when the display takes it away.
class VideoHostWidget : public QVideoWidget {
public:
    VideoHostWidget(MediaPlayer* player, QWidget* display) : QVideoWidget(display), Player(player) {
        setAspectRatioMode(Qt::IgnoreAspectRatio);
        setAccessibleName(QStringLiteral("video"));
        setPalette(display->palette());
    }
    ~VideoHostWidget() override {
        if (Player != nullptr) Player->HostDestroyed(this);
    }

    MediaPlayer* Player; // cleared by a player that frees this host itself

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (Player != nullptr) {
            const QPoint pos = event->position().toPoint();
            Player->Guarded([&] { Player->HostMouseDown(pos); });
        }
        event->accept();
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (Player != nullptr) {
            const QPoint pos = event->position().toPoint();
            const Qt::MouseButtons buttons = event->buttons();
            Player->Guarded([&] { Player->HostMouseMove(pos, buttons); });
        }
        event->accept();
    }
};

// ---------------------------------------------------------------------------
// MediaPlayerBase

namespace {
// How long a device stopped in the middle of a file is left to wind down
// before it takes the next one.
constexpr int kSettleMs = 150;
} // namespace

MediaPlayerBase::MediaPlayerBase(QWidget* owner, MessageSink* messages)
    : QWidget(owner), Messages_(messages) {
    resize(240, 30);
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

MediaPlayerBase::~MediaPlayerBase() {
    ++Generation_;
    QObject::disconnect(SinkSize_);
    if (Device_ != nullptr) {
        // Freed here, while this object is whole: a signal the device sends
        // on its way out must not reach a half-destroyed player.
        Device_->disconnect(this);
        Device_->stop();
        Device_->setVideoOutput(nullptr);
        delete Device_;
        delete Audio_;
    }
}

void MediaPlayerBase::MakeDevice() {
    Device_ = new QMediaPlayer(this);
    Audio_ = new QAudioOutput(this);
    Device_->setAudioOutput(Audio_);
    if (DeviceDisplay_ != nullptr) Device_->setVideoOutput(DeviceDisplay_.data());
    // The device signals from inside its own calls; the work is done from
    // the event loop, and only for the file that is still open.
    connect(Device_, &QMediaPlayer::errorOccurred, this,
            [this](QMediaPlayer::Error, const QString& text) {
                Guarded([&] {
                    const std::string message = text.isEmpty() ? kUnknownError : text.toStdString();
                    Later([this, message] { DeviceError(message); });
                });
            });
    connect(
        Device_, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
            if (status == QMediaPlayer::EndOfMedia)
                Guarded([this] { Later([this] { MediaEnded(); }); });
            else if (status == QMediaPlayer::LoadedMedia || status == QMediaPlayer::BufferedMedia)
                Guarded([this] { Later([this] { ReadNaturalSize(); }); });
        });
    connect(Device_, &QMediaPlayer::metaDataChanged, this,
            [this] { Guarded([this] { Later([this] { ReadNaturalSize(); }); }); });
}

void MediaPlayerBase::Later(std::function<void()> f) {
    QMetaObject::invokeMethod(
        this,
        [this, generation = Generation_, f = std::move(f)] {
            if (generation == Generation_ && Open_) Guarded(f);
        },
        Qt::QueuedConnection);
}

bool MediaPlayerBase::Open() {
    if (Open_) Close();
    if (Device_ == nullptr) MakeDevice();
    ++Generation_;
    LastError_.clear();
    DeviceWidth_ = DeviceHeight_ = 0;
    ClearPicture();
    Describe(QString());
    if (FileName.empty() || !Device_->isAvailable()) {
        const QString text = Device_->errorString();
        return DeviceError(text.isEmpty() ? kUnknownError : text.toStdString());
    }
    Open_ = true;
    if (Settling_)
        PendingFile_ = FileName;
    else
        SetSource(FileName);
    return Open_;
}

bool MediaPlayerBase::SetSource(const std::string& file) {
    if (Stream_) {
        Device_->setSource(QUrl());
        Stream_.reset();
    }
    if (QtReaches(file)) {
        Device_->setSource(QUrl::fromLocalFile(QFile::decodeName(file.c_str())));
        return true;
    }
    // Every backend turns a file URL back into a text name, which would
    // not reach this one (not UTF-8): the device reads the file opened here
    // by its bytes instead, the URL only telling it the name.
    auto stream = std::make_unique<QFile>();
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || !stream->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        const std::string reason = std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return DeviceError(file + ": " + reason);
    }
    Stream_ = std::move(stream);
    Device_->setSourceDevice(Stream_.get(), FileUrl(file));
    return true;
}

void MediaPlayerBase::Close() {
    ++Generation_;
    PendingFile_.clear();
    PendingPlay_ = false;
    if (Open_ && Device_ != nullptr) {
        Device_->stop();
        Device_->setSource(QUrl());
        Stream_.reset();
        // Opening the next file in this same turn may leave it unplayed (the
        // pipeline is still winding down): it waits for the next turn.
        if (!Settling_) {
            Settling_ = true;
            QTimer::singleShot(kSettleMs, this, [this] { Guarded([this] { Settled(); }); });
        }
    }
    Open_ = false;
    DeviceWidth_ = DeviceHeight_ = 0;
    ClearPicture();
    Describe(QString());
}

bool MediaPlayerBase::NeedsOpen() {
    if (Open_) return true;
    return DeviceError(kNoDevice);
}

bool MediaPlayerBase::Play() {
    if (!NeedsOpen()) return false;
    const std::int64_t length = Length();
    const bool atEnd =
        Device_->mediaStatus() == QMediaPlayer::EndOfMedia || (length > 0 && Position() >= length);
    if (AutoRewind && atEnd) Device_->setPosition(0);
    if (!PendingFile_.empty())
        PendingPlay_ = true;
    else
        Device_->play();
    Describe(QStringLiteral("playing"));
    return true;
}

void MediaPlayerBase::Settled() {
    Settling_ = false;
    if (PendingFile_.empty() || !Open_ || Device_ == nullptr) return;
    const std::string file = std::move(PendingFile_);
    PendingFile_.clear();
    if (SetSource(file) && PendingPlay_) Device_->play();
    PendingPlay_ = false;
}

bool MediaPlayerBase::Pause() {
    if (!NeedsOpen()) return false;
    PendingPlay_ = false;
    Device_->pause();
    return true;
}

bool MediaPlayerBase::Seek(std::int64_t positionMs) {
    if (!NeedsOpen()) return false;
    Device_->setPosition(positionMs);
    return true;
}

PlayerMode MediaPlayerBase::Mode() const {
    if (!Open_) return mpNotReady;
    switch (Device_->playbackState()) {
    case QMediaPlayer::PlayingState:
        return mpPlaying;
    case QMediaPlayer::PausedState:
        return mpPaused;
    case QMediaPlayer::StoppedState:
        break;
    }
    return mpStopped;
}

std::int64_t MediaPlayerBase::Position() const {
    return Open_ ? Device_->position() : 0;
}

std::int64_t MediaPlayerBase::Length() const {
    return Open_ ? Device_->duration() : 0;
}

bool MediaPlayerBase::HasVideo() const {
    return Open_ && Device_->hasVideo();
}

void MediaPlayerBase::SetDeviceDisplay(QVideoWidget* display) {
    if (DeviceDisplay_ == display) return;
    QObject::disconnect(SinkSize_);
    DeviceDisplay_ = display;
    if (Device_ != nullptr) Device_->setVideoOutput(display);
    if (display != nullptr) {
        // Queued: the sink signals a new size while it still holds the lock
        // that reading the size takes.
        SinkSize_ = connect(
            display->videoSink(), &QVideoSink::videoSizeChanged, this,
            [this] {
                if (Open_) Guarded([this] { ReadNaturalSize(); });
            },
            Qt::QueuedConnection);
    }
}

void MediaPlayerBase::ReadNaturalSize() {
    if (DeviceWidth_ > 0 && DeviceHeight_ > 0) return;
    QSize size = Device_->metaData().value(QMediaMetaData::Resolution).toSize();
    if (size.isEmpty() && DeviceDisplay_ != nullptr)
        size = DeviceDisplay_->videoSink()->videoSize();
    if (!size.isEmpty()) ReportNaturalSize(size.width(), size.height());
}

void MediaPlayerBase::ReportNaturalSize(int width, int height) {
    if (width <= 0 || height <= 0 || (DeviceWidth_ > 0 && DeviceHeight_ > 0)) return;
    DeviceWidth_ = width;
    DeviceHeight_ = height;
    NaturalSizeKnown();
}

void MediaPlayerBase::ClearPicture() {
    // The sink keeps the last picture of the previous file, and its size,
    // until the next file sends one.
    if (DeviceDisplay_ != nullptr) DeviceDisplay_->videoSink()->setVideoFrame(QVideoFrame());
}

void MediaPlayerBase::Describe(const QString& text) {
    if (DeviceDisplay_ != nullptr) DeviceDisplay_->setAccessibleDescription(text);
}

void MediaPlayerBase::MediaEnded() {
    Describe(QStringLiteral("ended"));
    Notify(nvSuccessful);
}

void MediaPlayerBase::Notify(PlayerNotification value) noexcept {
    if (!OnNotify) return;
    try {
        OnNotify(this, value);
    } catch (const std::exception& e) {
        ShowMessage(e.what());
    } catch (...) {
        ShowMessage(kUnknownError);
    }
}

void MediaPlayerBase::ShowMessage(const std::string& text) noexcept {
    try {
        if (Messages_ != nullptr)
            Messages_->ShowMessage(text);
        else
            qWarning("%s", text.c_str());
    } catch (...) {
        // A sink that fails has nowhere left to report to.
    }
}

void MediaPlayerBase::Guarded(const std::function<void()>& f) noexcept {
    try {
        f();
    } catch (const std::exception& e) {
        ShowMessage(e.what());
    } catch (...) {
        ShowMessage(kUnknownError);
    }
}

bool MediaPlayerBase::DeviceError(const std::string& text) noexcept {
    try {
        const bool wasOpen = Open_;
        if (wasOpen) Close();
        LastError_ = text;
        Describe(QString::fromStdString(text));
        if (wasOpen) Notify(nvFailure);
        if (OnDeviceError)
            OnDeviceError(this, text);
        else
            ShowMessage(text);
    } catch (const std::exception& e) {
        ShowMessage(e.what());
    } catch (...) {
        ShowMessage(text);
    }
    return false;
}

// ---------------------------------------------------------------------------
// MediaPlayer

MediaPlayer::MediaPlayer(QWidget* owner, MessageSink* messages)
    : MediaPlayerBase(owner, messages) {}

MediaPlayer::~MediaPlayer() {
    if (Display_ != nullptr) Display_->removeEventFilter(this);
    if (Host_ != nullptr) {
        SetDeviceDisplay(nullptr);
        Host_->Player = nullptr;
        delete Host_;
    }
}

QVideoWidget* MediaPlayer::VideoHost() const {
    return Host_;
}

void MediaPlayer::SetDisplay(QWidget* display) {
    if (display == nullptr) {
        Close();
        return;
    }
    if (display == Display_) return;
    if (Display_ != nullptr) Display_->removeEventFilter(this);
    if (Host_ != nullptr) {
        SetDeviceDisplay(nullptr);
        Host_->Player = nullptr;
        delete Host_;
        Host_ = nullptr;
    }
    Display_ = display;
    display->installEventFilter(this);
    Host_ = new VideoHostWidget(this, display);
    FillDisplay();
    Host_->show();
    SetDeviceDisplay(Host_);
    if (LaidOut_) Relayout();
}

void MediaPlayer::HostDestroyed(VideoHostWidget* host) {
    if (host != Host_) return;
    SetDeviceDisplay(nullptr);
    Host_ = nullptr;
}

void MediaPlayer::FillDisplay() {
    if (Host_ != nullptr && Display_ != nullptr) Host_->setGeometry(Display_->rect());
}

bool MediaPlayer::OpenInDisplay() {
    Layout_.ForgetNaturalWidth();
    if (FileName.empty()) return false;
    if (!IsRegularFile(FileName)) {
        ShowMessage(FileName + " is not available.");
        return false;
    }
    if (Display_ == nullptr || Host_ == nullptr) {
        ShowMessage("Error: the SmartMediaPlayer.Display property has not been set.");
        return false;
    }
    Display_->hide();
    if (!Open()) return false;
    LaidOut_ = true;
    // Hidden until the natural size is known: the first pictures would be
    // stretched over the whole display.
    Host_->hide();
    LayoutVideo(Display_->width(), Display_->height());
    Display_->show();
    return true;
}

bool MediaPlayer::Relayout() {
    return Display_ != nullptr && LayoutVideo(Display_->width(), Display_->height());
}

bool MediaPlayer::LayoutVideo(int clientWidth, int clientHeight) {
    if (Host_ == nullptr || Display_ == nullptr || !LaidOut_) return false;
    if (!Layout_.Measured()) {
        // Sound only, or the device has not told the size yet: NaturalSizeKnown
        // lays the video out when it does.
        if (DeviceNaturalWidth() <= 0 || DeviceNaturalHeight() <= 0) return false;
        Layout_.SetNaturalSize(DeviceNaturalWidth(), DeviceNaturalHeight());
        // Where the device puts the picture until a layout moves it.
        Host_->setGeometry(0, 0, Layout_.NaturalWidth(), Layout_.NaturalHeight());
        Host_->show();
    }
    const QRect now = Host_->geometry();
    const auto rect = Layout_.Place(clientWidth, clientHeight,
                                    VideoRect{now.x(), now.y(), now.width(), now.height()});
    if (!rect) return false;
    bool canResize = true;
    if (OnNewMediaSize) {
        try {
            OnNewMediaSize(this, rect->Width, rect->Height, Layout_.Zoom, canResize);
        } catch (const std::exception& e) {
            canResize = false;
            ShowMessage(e.what());
        } catch (...) {
            canResize = false;
        }
    }
    if (!canResize) return false;
    Host_->setGeometry(rect->Left, rect->Top, rect->Width, rect->Height);
    return true;
}

void MediaPlayer::Close() {
    MediaPlayerBase::Close();
    FillDisplay();
    if (Host_ != nullptr) Host_->show();
    LaidOut_ = false;
    Layout_.ForgetNaturalWidth();
}

void MediaPlayer::NaturalSizeKnown() {
    if (LaidOut_ && !Layout_.Measured()) Relayout();
}

void MediaPlayer::SetTruncate(bool truncate) {
    Layout_.Truncate = truncate;
    if (!LaidOut_) return;
    // Shrinking helps only a natural-size video whose size is known; a fitted
    // one, or one still waiting for its size, keeps its zoom.
    const bool canShrink = Layout_.Align == alignNone && Layout_.SizeKnown() &&
                           Display_ != nullptr && Host_ != nullptr;
    if (!canShrink) {
        Relayout();
        return;
    }
    while (!Relayout() && Layout_.Zoom >= 2)
        --Layout_.Zoom;
}

void MediaPlayer::SetDisplayMargin(std::uint16_t margin) {
    Layout_.Margin = margin;
}

void MediaPlayer::SetDisplayVPos(VideoVerticalPos pos) {
    Layout_.VPos = pos;
    if (LaidOut_) Relayout();
}

void MediaPlayer::SetDisplayHPos(VideoHorizontalPos pos) {
    Layout_.HPos = pos;
    if (LaidOut_) Relayout();
}

void MediaPlayer::SetDisplayAlign(VideoAlign align) {
    Layout_.Align = align;
    Layout_.ForgetLastClient();
    if (LaidOut_) Relayout();
}

void MediaPlayer::SetDisplayZoom(int zoom) {
    if (zoom <= 0) return;
    const int old = Layout_.Zoom;
    Layout_.Zoom = zoom;
    // While the size is still awaited the new zoom waits with it.
    if (LaidOut_ && Layout_.SizeKnown() && !Relayout()) Layout_.Zoom = old;
}

void MediaPlayer::resizeEvent(QResizeEvent* event) {
    MediaPlayerBase::resizeEvent(event);
    if (AutoOpen && !AutoOpened_) {
        AutoOpened_ = true;
        Guarded([this] { OpenInDisplay(); });
    }
}

bool MediaPlayer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Display_ && event->type() == QEvent::Resize) {
        Guarded([this] {
            if (LaidOut_)
                Relayout();
            else
                FillDisplay();
        });
    }
    return MediaPlayerBase::eventFilter(watched, event);
}

void MediaPlayer::HostMouseDown(const QPoint& pos) {
    DragOrigin_ = pos;
}

void MediaPlayer::HostMouseMove(const QPoint& pos, Qt::MouseButtons buttons) {
    if (!(buttons & Qt::LeftButton)) return;
    // Only a scrolling display pans; any other ignores the drag.
    if (auto* area = qobject_cast<QAbstractScrollArea*>(Display_.data())) {
        QScrollBar* h = area->horizontalScrollBar();
        QScrollBar* v = area->verticalScrollBar();
        h->setValue(h->value() + pos.x() - DragOrigin_.x());
        v->setValue(v->value() + pos.y() - DragOrigin_.y());
    }
    DragOrigin_ = pos;
}

QVideoWidget* MediaPlayerBase::DeviceDisplay() const {
    return DeviceDisplay_;
}
