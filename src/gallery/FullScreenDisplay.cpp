#include "FullScreenDisplay.h"

#include "gallery/ScreenCursor.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QScreen>
#include <QVBoxLayout>
#include <QtDebug>

#include <exception>

namespace {

void PaintBlack(QWidget* widget, const QColor& text = Qt::blue) {
    QPalette colours = widget->palette();
    colours.setColor(QPalette::Window, Qt::black);
    colours.setColor(QPalette::WindowText, text);
    widget->setPalette(colours);
    widget->setAutoFillBackground(true);
}

// A line of text across the window: a fixed height, and any width, however
// long its text, so that a long name never widens the window past its screen.
QLabel* MakeLine(QWidget* parent, int height, Qt::Alignment alignment,
                 const QString& accessibleName) {
    auto* line = new QLabel(parent);
    PaintBlack(line);
    line->setFixedHeight(height);
    line->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    line->setAlignment(alignment | Qt::AlignVCenter);
    line->setTextFormat(Qt::PlainText);
    line->setAccessibleName(accessibleName);
    return line;
}

// Input handlers are the hook owners' code; nothing they throw may cross
// Qt's event delivery.
template <typename F> void Guarded(const char* what, F&& f) noexcept {
    try {
        f();
    } catch (const std::exception& e) {
        qWarning("full-screen display: %s failed: %s", what, e.what());
    } catch (...) {
        qWarning("full-screen display: %s failed", what);
    }
}

} // namespace

std::optional<NavigateAction> NavigateActionForKey(int key, const QString& text) {
    switch (key) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return naNext;
    case Qt::Key_Backspace:
        return naPrevious;
    default:
        break;
    }
    // By the character typed, so that the keypad's keys count too.
    if (text == QLatin1String("+")) return naNextTab;
    if (text == QLatin1String("-")) return naPreviousTab;
    return std::nullopt;
}

QString FullScreenDisplay::HelpText() {
    return QStringLiteral(
        "  [SPACE] or left-click = next pic      [BACKSPACE] or right-click = prev pic   "
        "[+] = next page   [-] = prev page   ESC=exit  ");
}

FullScreenDisplay::FullScreenDisplay(QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Window | Qt::FramelessWindowHint), MainWindow_(mainWindow) {
    setWindowTitle(QStringLiteral("Full-screen display"));
    setAccessibleName(QStringLiteral("Full-screen display"));
    // A second window of the application: closing it never ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFocusPolicy(Qt::StrongFocus);
    PaintBlack(this);
    resize(696, 480);

    HelpLine_ = MakeLine(this, 25, Qt::AlignRight, QStringLiteral("key help"));
    HelpLine_->setText(HelpText());
    NameLine_ = MakeLine(this, 29, Qt::AlignLeft, QStringLiteral("picture name"));

    Client_ = new QWidget(this);
    Client_->setAccessibleName(QStringLiteral("picture area"));
    Media_ = new MediaTile(Client_);
    VideoPanel_ = new QWidget(Client_);
    VideoPanel_->setAccessibleName(QStringLiteral("video"));
    PaintBlack(VideoPanel_);
    VideoPanel_->hide();
    auto* overlay = new QGridLayout(Client_);
    overlay->setContentsMargins(0, 0, 0, 0);
    overlay->addWidget(VideoPanel_, 0, 0);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(HelpLine_);
    column->addWidget(Client_, 1);
    column->addWidget(NameLine_);
}

// A player still playing is closed by its own destruction.
FullScreenDisplay::~FullScreenDisplay() = default;

void FullScreenDisplay::SetVideoPlayer(VideoPlayback* player) {
    Media_->SetPlayer(player);
}

QScreen* FullScreenDisplay::TargetScreen() const {
    QScreen* target = MainWindow_ != nullptr ? MainWindow_->screen() : screen();
    return target != nullptr ? target : QGuiApplication::primaryScreen();
}

QRect FullScreenDisplay::TargetScreenGeometry() const {
    QScreen* target = TargetScreen();
    return target != nullptr ? target->geometry() : QRect(0, 0, 696, 480);
}

void FullScreenDisplay::ShowMedia(const QString& name, const std::string& path) {
    NameLine_->setText(name);
    NameLine_->setAccessibleDescription(name);
    NameLine_->repaint();

    // On the screen first, so that the picture is decoded for its pixel ratio.
    if (!isVisible() && TargetScreen() != nullptr) setScreen(TargetScreen());
    const QRect screenArea = TargetScreenGeometry();
    AfterLoad(Media_->LoadMedia(path, screenArea.width(), screenArea.height()));

    if (!isVisible()) {
        ApplyComments();
        // Without a window manager, showFullScreen() alone keeps the old size.
        setGeometry(screenArea);
        setWindowModality(Qt::ApplicationModal);
        showFullScreen();
        activateWindow();
        setFocus(Qt::OtherFocusReason);
    }
}

void FullScreenDisplay::AfterLoad(bool loaded) {
    const bool video = loaded && Media_->IsVideo() && Media_->Player() != nullptr &&
                       Media_->Player()->HasDisplay();
    if (video) {
        VideoPanel_->show();
        VideoPanel_->raise();
    } else {
        VideoPanel_->hide();
    }
    // No pointer over a picture; an arrow over a video, which may be panned.
    setCursor(video ? Qt::ArrowCursor : Qt::BlankCursor);
}

bool FullScreenDisplay::Navigate(NavigateAction action) {
    if (!NavigateHook_) return false;
    QString name;
    std::string path;
    if (!NavigateHook_(action, name, path)) return false;
    ShowMedia(name, path);
    return true;
}

void FullScreenDisplay::GalleryKey(QKeyEvent* event) {
    if (const auto action = NavigateActionForKey(event->key(), event->text())) Navigate(*action);
}

void FullScreenDisplay::GalleryClick(Qt::MouseButton button) {
    if (button == Qt::LeftButton)
        Navigate(naNext);
    else if (button == Qt::RightButton)
        Navigate(naPrevious);
}

void FullScreenDisplay::SetShowComments(bool show) {
    ShowComments_ = show;
    ApplyComments();
}

void FullScreenDisplay::ApplyComments() {
    HelpLine_->setVisible(ShowComments_);
    NameLine_->setVisible(ShowComments_);
}

void FullScreenDisplay::Exit() {
    restoreSavedCursor();
    close();
}

void FullScreenDisplay::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        Exit();
        return;
    }
    Guarded("key", [&] {
        if (KeyHandler_)
            KeyHandler_(event);
        else
            GalleryKey(event);
    });
}

void FullScreenDisplay::mousePressEvent(QMouseEvent* event) {
    const Qt::MouseButton button = event->button();
    Guarded("click", [&] {
        if (ClickHandler_)
            ClickHandler_(button);
        else
            GalleryClick(button);
    });
}

void FullScreenDisplay::closeEvent(QCloseEvent* event) {
    if (Media_->Player() != nullptr) Media_->Player()->StopPlayback();
    VideoPanel_->hide();
    unsetCursor();
    QWidget::closeEvent(event);
}
