#pragma once

// The full-screen display: a borderless black window covering the main
// window's screen, with one media tile filling it, a video panel over the
// tile, a key help line at the top and the picture's name at the bottom.
// The gallery and the library window show files in it one after another;
// keys and mouse buttons step through them by asking a navigation hook.

#include "gallery/MediaTile.h"

#include <QLabel>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>

class QKeyEvent;
class QScreen;

// What the display asks its navigation hook for. Which file each action
// selects is the hook owner's business.
enum NavigateAction {
    naCurrent = 0,
    naNext = 1,
    naPrevious = 2,
    naNextTab = 3,
    naPreviousTab = 4,     // first picture of the previous tab
    naPreviousTabLast = 5, // last picture of the previous tab
};

// Answers an action with the name and file path (bytes) to show; false when
// there is nothing to show, and then the screen does not change.
using NavigateHook = std::function<bool(NavigateAction action, QString& name, std::string& path)>;

// The gallery's key table: SPACE and ENTER step forward, BACKSPACE back, "+"
// and "-" (main keyboard or keypad) to the next and previous tab. Nothing for
// any other key; ESC is the display's own.
std::optional<NavigateAction> NavigateActionForKey(int key, const QString& text);

class FullScreenDisplay : public QWidget {
public:
    // The help line's text, blanks included.
    static QString HelpText();

    // The display belongs to the main window and shows on its screen.
    explicit FullScreenDisplay(QWidget* mainWindow = nullptr);
    ~FullScreenDisplay() override;

    // Shows a file under a name: the name (text for the user) goes up at
    // once, then the file (its path's bytes) is loaded for the screen's size.
    // The first call shows the display, modal for the application; later
    // calls while it is shown only replace the file. A file that cannot be
    // loaded leaves the screen black under the new name.
    void ShowMedia(const QString& name, const std::string& path);

    void SetNavigateHook(NavigateHook hook) { NavigateHook_ = std::move(hook); }
    // Asks the hook and shows what it gives; false when the hook is unset or
    // has nothing.
    bool Navigate(NavigateAction action);

    // Keys and mouse buttons go to these handlers while the display is shown;
    // unset, they ask the navigation hook (the gallery's way). The library
    // window puts its own in place. ESC is never passed on: it always leaves.
    using KeyHandler = std::function<void(QKeyEvent* event)>;
    using ClickHandler = std::function<void(Qt::MouseButton button)>;
    void SetKeyHandler(KeyHandler handler) { KeyHandler_ = std::move(handler); }
    void SetClickHandler(ClickHandler handler) { ClickHandler_ = std::move(handler); }
    // The gallery's handling, for handlers that pass some input on.
    void GalleryKey(QKeyEvent* event);
    void GalleryClick(Qt::MouseButton button);

    // "Show infos on full screen display": the help line and the name line
    // are shown or hidden together.
    void SetShowComments(bool show);
    bool ShowComments() const { return ShowComments_; }

    // What ESC does: back to the screen cursor the main window saved, and
    // close. Closing stops any video.
    void Exit();

    // The player videos are handed to; it plays in VideoPanel(). Not owned.
    void SetVideoPlayer(VideoPlayback* player);

    MediaTile* Media() const { return Media_; }
    QWidget* VideoPanel() const { return VideoPanel_; } // the video panel
    QLabel* HelpLine() const { return HelpLine_; }      // the help line
    QLabel* NameLine() const { return NameLine_; }      // the name of what is shown

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // The geometry of the screen to cover: the main window's screen.
    virtual QRect TargetScreenGeometry() const;

private:
    QScreen* TargetScreen() const;
    void ApplyComments();
    void AfterLoad(bool loaded);

    QWidget* MainWindow_;
    QLabel* HelpLine_;
    QLabel* NameLine_;
    QWidget* Client_;
    QWidget* VideoPanel_;
    MediaTile* Media_;
    NavigateHook NavigateHook_;
    KeyHandler KeyHandler_;
    ClickHandler ClickHandler_;
    bool ShowComments_ = true;
};
