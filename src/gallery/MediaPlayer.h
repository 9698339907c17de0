#pragma once

// Video playback for the full-screen display and the tiles. MediaPlayerBase
// owns one media device (a QMediaPlayer with its audio output): it opens a
// file, plays, seeks, closes, and sends the pictures to a video widget.
// MediaPlayer lays the video out inside any widget: a margin, a zoom,
// natural size placed by alignment or fitted with the proportions kept, and
// drag-to-pan. Neither draws a button bar.
//
// The device works in the background: a file that cannot be played is
// reported after Open has returned, and the video's natural size arrives
// late, so the first layout of a video waits for it. Nothing is thrown: a
// failure becomes a message and a false result.

#include "common/Component.h"
#include "gallery/VideoLayout.h"

#include <QMetaObject>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QAudioOutput;
class QFile;
class QMediaPlayer;
class QVideoWidget;
class VideoHostWidget;

// Why OnNotify was raised: the playback ran to its end, or the device failed.
enum PlayerNotification { nvSuccessful, nvSuperseded, nvAborted, nvFailure };
enum PlayerMode { mpNotReady, mpStopped, mpPlaying, mpRecording, mpSeeking, mpPaused, mpOpen };

class MediaPlayerBase : public QWidget {
public:
    explicit MediaPlayerBase(QWidget* owner = nullptr, MessageSink* messages = nullptr);
    ~MediaPlayerBase() override;

    // --- settings ---
    bool AutoOpen = false;  // open in the display at the first resize of the player
    bool AutoRewind = true; // Play at the end starts over
    std::string FileName;   // the media file: its path's bytes
    void SetMessages(MessageSink* messages) { Messages_ = messages; }

    // --- events ---
    // Playback ended (nvSuccessful) or the device failed (nvFailure).
    std::function<void(MediaPlayerBase* sender, PlayerNotification value)> OnNotify;
    // The device failed with this text. Unset: the text goes to the messages.
    std::function<void(MediaPlayerBase* sender, const std::string& text)> OnDeviceError;

    // --- device ---
    // Opens FileName, closing first when open. False when the device refused
    // at once (the error is reported); a file it cannot play is reported later.
    bool Open();
    virtual void Close();
    // From the current position; at the end, with AutoRewind, from the start.
    bool Play();
    bool Pause();
    bool Stop();
    bool Seek(std::int64_t positionMs);

    bool IsOpen() const { return Open_; }
    PlayerMode Mode() const;
    std::int64_t Position() const;
    std::int64_t Length() const;
    bool HasVideo() const;
    // The video's size as the device reports it; 0 x 0 while not known.
    int DeviceNaturalWidth() const { return DeviceWidth_; }
    int DeviceNaturalHeight() const { return DeviceHeight_; }
    // Text of the last device error, empty when none since the last Open.
    const std::string& LastErrorText() const { return LastError_; }

    // The widget that shows the pictures; null for none.
    QVideoWidget* DeviceDisplay() const;
    void SetDeviceDisplay(QVideoWidget* display);

protected:
    // The natural size just became known (DeviceNaturalWidth/Height).
    virtual void NaturalSizeKnown() {}
    // Stores a size the device reported, once per opened file.
    void ReportNaturalSize(int width, int height);
    // A text for the user: the messages when set, else the log.
    void ShowMessage(const std::string& text) noexcept;
    // Runs f, turning anything it throws into a device error: the work of
    // slots and event handlers goes through here.
    void Guarded(const std::function<void()>& f) noexcept;
    // A device failure: reported, playback closed, result false.
    bool DeviceError(const std::string& text) noexcept;

private:
    void MakeDevice();
    // Runs f from the event loop unless the file was closed or replaced since.
    void Later(std::function<void()> f);
    void ReadNaturalSize();
    void MediaEnded();
    void ClearPicture();
    void Describe(const QString& text);
    void Notify(PlayerNotification value) noexcept;
    bool NeedsOpen();

    MessageSink* Messages_;
    QMediaPlayer* Device_ = nullptr;
    QAudioOutput* Audio_ = nullptr;
    QPointer<QVideoWidget> DeviceDisplay_;
    QMetaObject::Connection SinkSize_;
    bool Open_ = false;
    unsigned Generation_ = 0; // counts opens and closes
    // A device stopped in the middle of a file needs a turn of the event
    // loop before it takes the next one: until then the next file and
    // whether it is to play wait here.
    bool Settling_ = false;
    std::string PendingFile_; // empty when none waits
    bool PendingPlay_ = false;
    void Settled();
    // Gives the device a file; false, reported, when it cannot be opened.
    bool SetSource(const std::string& file);
    // The file the device reads, for a name Qt does not reach; it goes
    // only once the device has let go of it.
    std::unique_ptr<QFile> Stream_;
    int DeviceWidth_ = 0;
    int DeviceHeight_ = 0;
    std::string LastError_;
};

class MediaPlayer : public MediaPlayerBase {
public:
    explicit MediaPlayer(QWidget* owner = nullptr, MessageSink* messages = nullptr);
    ~MediaPlayer() override;

    // The widget the video is shown in. Null closes the device and keeps the
    // display. A display has the video host put inside it and is laid out
    // again whenever it is resized.
    QWidget* Display() const { return Display_; }
    void SetDisplay(QWidget* display);
    // The video widget inside the display, named "video"; its description is
    // "playing", "ended" or the device's error text.
    QVideoWidget* VideoHost() const;

    // Opens FileName and lays the video out in the display. False, with a
    // message, for a missing file or no display; false when the device
    // refused at once.
    bool OpenInDisplay();
    // Computes and applies the video's place in a display of the given client
    // size; false when nothing was applied (not laid out, size not known yet,
    // refused by the settings or by OnNewMediaSize).
    bool LayoutVideo(int clientWidth, int clientHeight);
    void Close() override;

    // --- settings; each lays the video out again when LaidOut ---
    bool Truncate() const { return Layout_.Truncate; }
    // Off: the zoom shrinks percent by percent until the video fits.
    void SetTruncate(bool truncate);
    std::uint16_t DisplayMargin() const { return Layout_.Margin; }
    void SetDisplayMargin(std::uint16_t margin);
    VideoVerticalPos DisplayVPos() const { return Layout_.VPos; }
    void SetDisplayVPos(VideoVerticalPos pos);
    VideoHorizontalPos DisplayHPos() const { return Layout_.HPos; }
    void SetDisplayHPos(VideoHorizontalPos pos);
    VideoAlign DisplayAlign() const { return Layout_.Align; }
    void SetDisplayAlign(VideoAlign align);
    int DisplayZoom() const { return Layout_.Zoom; }
    // 0 or less is ignored; a zoom the layout refuses gives the old one back.
    void SetDisplayZoom(int zoom);

    // Asked before a new video size is applied; may set canResize false.
    std::function<void(MediaPlayer* sender, int newMediaWidth, int newMediaHeight, int zoom,
                       bool& canResize)>
        OnNewMediaSize;

    // --- state ---
    bool LaidOut() const { return LaidOut_; }
    int NaturalWidth() const { return Layout_.NaturalWidth(); }
    int NaturalHeight() const { return Layout_.NaturalHeight(); }
    int AspectPercent() const { return Layout_.AspectPercent(); }
    int LastClientWidth() const { return Layout_.LastClientWidth(); }
    int LastClientHeight() const { return Layout_.LastClientHeight(); }

protected:
    void NaturalSizeKnown() override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class VideoHostWidget;
    bool Relayout();
    void HostDestroyed(VideoHostWidget* host);
    void HostMouseDown(const QPoint& pos);
    void HostMouseMove(const QPoint& pos, Qt::MouseButtons buttons);
    void FillDisplay();

    QPointer<QWidget> Display_;
    VideoHostWidget* Host_ = nullptr; // lives in the display, freed with it or with this player
    VideoLayout Layout_;
    bool LaidOut_ = false;
    bool AutoOpened_ = false;
    QPoint DragOrigin_;
};
