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

class QKeyEvent;
class QScreen;

// What the display asks its navigation hook for. Which file each action
// selects is the hook owner's business.
enum TNavigateAction {
    naCurrent = 0,
    naNext = 1,
    naPrevious = 2,
    naNextTab = 3,
    naPreviousTab = 4,     // first picture of the previous tab
    naPreviousTabLast = 5, // last picture of the previous tab
};

// Answers an action with the name and file path to show; false when there is
// nothing to show, and then the screen does not change.
using TNavigateHook = std::function<bool(TNavigateAction action, QString& name, QString& path)>;

// The gallery's key table: SPACE and ENTER step forward, BACKSPACE back, "+"
// and "-" (main keyboard or keypad) to the next and previous tab. Nothing for
// any other key; ESC is the display's own.
std::optional<TNavigateAction> NavigateActionForKey(int key, const QString& text);

class TImgDisp : public QWidget {
public:
    // The help line's text, blanks included.
    static QString HelpText();

    // The display belongs to the main window and shows on its screen.
    explicit TImgDisp(QWidget* mainWindow = nullptr);
    ~TImgDisp() override;

    // Shows a file under a name: the name goes up at once, then the file is
    // loaded for the screen's size. The first call shows the display, modal
    // for the application; later calls while it is shown only replace the
    // file. A file that cannot be loaded leaves the screen black under the
    // new name.
    void ShowMedia(const QString& name, const QString& path);

    void SetNavigateHook(TNavigateHook hook) { NavigateHook_ = std::move(hook); }
    const TNavigateHook& NavigateHook() const { return NavigateHook_; }
    // Asks the hook and shows what it gives; false when the hook is unset or
    // has nothing.
    bool Navigate(TNavigateAction action);

    // Keys and mouse buttons go to these handlers while the display is shown;
    // unset, they ask the navigation hook (the gallery's way). The library
    // window puts its own in place. ESC is never passed on: it always leaves.
    using TKeyHandler = std::function<void(QKeyEvent* event)>;
    using TClickHandler = std::function<void(Qt::MouseButton button)>;
    void SetKeyHandler(TKeyHandler handler) { KeyHandler_ = std::move(handler); }
    void SetClickHandler(TClickHandler handler) { ClickHandler_ = std::move(handler); }
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

    // The player videos are handed to; it plays in Panel1(). Not owned.
    void SetVideoPlayer(TVideoPlayback* player);

    TGVMedia* Media() const { return Media_; }
    QWidget* Panel1() const { return Panel1_; } // the video panel
    QLabel* Panel2() const { return Panel2_; }  // the help line
    QLabel* Panel4() const { return Panel4_; }  // the name of what is shown

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
    QLabel* Panel2_;
    QLabel* Panel4_;
    QWidget* Client_;
    QWidget* Panel1_;
    TGVMedia* Media_;
    TNavigateHook NavigateHook_;
    TKeyHandler KeyHandler_;
    TClickHandler ClickHandler_;
    bool ShowComments_ = true;
};
