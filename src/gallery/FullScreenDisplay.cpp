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

std::optional<TNavigateAction> NavigateActionForKey(int key, const QString& text) {
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

QString TImgDisp::HelpText() {
    return QStringLiteral(
        "  [SPACE] or left-click = next pic      [BACKSPACE] or right-click = prev pic   "
        "[+] = next page   [-] = prev page   ESC=exit  ");
}

TImgDisp::TImgDisp(QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Window | Qt::FramelessWindowHint), MainWindow_(mainWindow) {
    setWindowTitle(QStringLiteral("Full-screen display"));
    setAccessibleName(QStringLiteral("Full-screen display"));
    // A second window of the application: closing it never ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFocusPolicy(Qt::StrongFocus);
    PaintBlack(this);
    resize(696, 480);

    Panel2_ = MakeLine(this, 25, Qt::AlignRight, QStringLiteral("key help"));
    Panel2_->setText(HelpText());
    Panel4_ = MakeLine(this, 29, Qt::AlignLeft, QStringLiteral("picture name"));

    Client_ = new QWidget(this);
    Client_->setAccessibleName(QStringLiteral("picture area"));
    Media_ = new TGVMedia(Client_);
    Panel1_ = new QWidget(Client_);
    Panel1_->setAccessibleName(QStringLiteral("video"));
    PaintBlack(Panel1_);
    Panel1_->hide();
    auto* overlay = new QGridLayout(Client_);
    overlay->setContentsMargins(0, 0, 0, 0);
    overlay->addWidget(Panel1_, 0, 0);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(Panel2_);
    column->addWidget(Client_, 1);
    column->addWidget(Panel4_);
}

// A player still playing is closed by its own destruction.
TImgDisp::~TImgDisp() = default;

void TImgDisp::SetVideoPlayer(TVideoPlayback* player) {
    Media_->SetPlayer(player);
}

QScreen* TImgDisp::TargetScreen() const {
    QScreen* target = MainWindow_ != nullptr ? MainWindow_->screen() : screen();
    return target != nullptr ? target : QGuiApplication::primaryScreen();
}

QRect TImgDisp::TargetScreenGeometry() const {
    QScreen* target = TargetScreen();
    return target != nullptr ? target->geometry() : QRect(0, 0, 696, 480);
}

void TImgDisp::ShowMedia(const QString& name, const QString& path) {
    Panel4_->setText(name);
    Panel4_->setAccessibleDescription(name);
    Panel4_->repaint();

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

void TImgDisp::AfterLoad(bool loaded) {
    const bool video = loaded && Media_->IsVideo() && Media_->Player() != nullptr &&
                       Media_->Player()->HasDisplay();
    if (video) {
        Panel1_->show();
        Panel1_->raise();
    } else {
        Panel1_->hide();
    }
    // No pointer over a picture; an arrow over a video, which may be panned.
    setCursor(video ? Qt::ArrowCursor : Qt::BlankCursor);
}

bool TImgDisp::Navigate(TNavigateAction action) {
    if (!NavigateHook_) return false;
    QString name, path;
    if (!NavigateHook_(action, name, path)) return false;
    ShowMedia(name, path);
    return true;
}

void TImgDisp::GalleryKey(QKeyEvent* event) {
    if (const auto action = NavigateActionForKey(event->key(), event->text())) Navigate(*action);
}

void TImgDisp::GalleryClick(Qt::MouseButton button) {
    if (button == Qt::LeftButton)
        Navigate(naNext);
    else if (button == Qt::RightButton)
        Navigate(naPrevious);
}

void TImgDisp::SetShowComments(bool show) {
    ShowComments_ = show;
    ApplyComments();
}

void TImgDisp::ApplyComments() {
    Panel2_->setVisible(ShowComments_);
    Panel4_->setVisible(ShowComments_);
}

void TImgDisp::Exit() {
    restoreSavedCursor();
    close();
}

void TImgDisp::keyPressEvent(QKeyEvent* event) {
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

void TImgDisp::mousePressEvent(QMouseEvent* event) {
    const Qt::MouseButton button = event->button();
    Guarded("click", [&] {
        if (ClickHandler_)
            ClickHandler_(button);
        else
            GalleryClick(button);
    });
}

void TImgDisp::closeEvent(QCloseEvent* event) {
    if (Media_->Player() != nullptr) Media_->Player()->StopPlayback();
    Panel1_->hide();
    unsetCursor();
    QWidget::closeEvent(event);
}
