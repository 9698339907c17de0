// The full-screen display: showing on the screen, modal, black and frameless;
// keys and clicks turned into navigation; ESC, the cursor and the video
// panel; names for everything it shows.
#include "gallery/FullScreenDisplay.h"

#include "gallery/ScreenCursor.h"

#include "TestPictures.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>

#include <string>
#include <vector>

using namespace testpictures;

namespace {

// A display that covers a 1024 × 768 screen whatever the platform has.
class DisplayOn1024 : public FullScreenDisplay {
protected:
    QRect TargetScreenGeometry() const override { return QRect(0, 0, 1024, 768); }
};

class FakePlayback final : public VideoPlayback {
public:
    bool HasDisplay() const override { return true; }
    bool PlayInDisplay(const std::string& fileName) override {
        if (OnPlay) OnPlay();
        Played.push_back(fileName);
        Playing = true;
        return true;
    }
    void StopPlayback() override { Playing = false; }

    std::function<void()> OnPlay;
    bool Playing = false;
    std::vector<std::string> Played;
};

// A navigation hook that records the actions asked and answers from a list
// of files, or with false once they are used up.
struct RecordingHook {
    std::vector<NavigateAction> Asked;
    QStringList Names;
    std::vector<std::string> Paths;

    NavigateHook Hook() {
        return [this](NavigateAction action, QString& name, std::string& path) {
            Asked.push_back(action);
            if (Paths.empty()) return false;
            name = Names.takeFirst();
            path = Paths.front();
            Paths.erase(Paths.begin());
            return true;
        };
    }
};

void Press(QWidget* target, int key, const QString& text,
           Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
    QCoreApplication::sendEvent(target, &event);
}

void Click(QWidget* target, Qt::MouseButton button) {
    QMouseEvent event(QEvent::MouseButtonPress, QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)),
                      button, button, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

// A window always has a cursor: unset, it is the arrow.
bool CursorUnset(const QWidget& window) {
    return window.cursor().shape() == Qt::ArrowCursor;
}

// Every visible accessible object under iface without a name.
void CollectUnnamed(QAccessibleInterface* iface, QStringList& unnamed) {
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface* child = iface->child(i);
        if (child == nullptr || child->state().invisible) continue;
        if (child->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << QString::fromLatin1(child->object()->metaObject()->className());
        CollectUnnamed(child, unnamed);
    }
}

} // namespace

TEST(FullScreenDisplay, CoversTheScreenModalBlackAndFrameless) {
    TempDir dir;
    FullScreenDisplay display;
    display.ShowMedia("first picture", WriteJpeg(dir, "a.jpg", 300, 200));
    ASSERT_TRUE(display.isVisible());
    EXPECT_TRUE(display.windowState() & Qt::WindowFullScreen);
    EXPECT_TRUE(display.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(display.geometry(), QGuiApplication::primaryScreen()->geometry());
    EXPECT_EQ(display.windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(QApplication::activeModalWidget(), &display);
    EXPECT_EQ(display.palette().color(QPalette::Window), QColor(Qt::black));
    EXPECT_EQ(display.cursor().shape(), Qt::BlankCursor);

    EXPECT_EQ(display.HelpLine()->text(), "  [SPACE] or left-click = next pic      [BACKSPACE] or "
                                          "right-click = prev pic   [+] = next page"
                                          "   [-] = prev page   ESC=exit  ");
    EXPECT_TRUE(display.HelpLine()->alignment() & Qt::AlignRight);
    EXPECT_TRUE(display.HelpLine()->isVisible());
    EXPECT_EQ(display.NameLine()->text(), "first picture");
    EXPECT_TRUE(display.NameLine()->isVisible());
    // A long name does not widen the window.
    display.ShowMedia(QString(3000, QLatin1Char('n')), dir.Sub("a.jpg"));
    EXPECT_EQ(display.width(), QGuiApplication::primaryScreen()->geometry().width());

    display.Exit();
    EXPECT_FALSE(display.isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(CursorUnset(display));
}

TEST(FullScreenDisplay, HalfScalePictureIsCentredOnA1024By768Screen) {
    TempDir dir;
    DisplayOn1024 display;
    display.SetShowComments(false);
    display.ShowMedia("big", WriteJpeg(dir, "big.jpg", 3000, 2000));
    MediaTile* media = display.Media();
    EXPECT_EQ(media->ScaleDenominator(), 2);
    EXPECT_EQ(media->DecodedSize(), QSize(1500, 1000));
    EXPECT_EQ(media->ShownPicture().size(), QSize(1024, 768));
    // The picture's middle column is the middle of the picture area, which
    // is the whole window with the lines hidden.
    EXPECT_EQ(media->size(), display.size());
    const QImage shot = display.grab().toImage();
    const int middle = media->width() / 2, row = media->height() / 2;
    EXPECT_TRUE(IsRed(shot.pixel(middle - 6, row)));
    EXPECT_TRUE(IsBlue(shot.pixel(middle + 6, row)));
}

TEST(FullScreenDisplay, KeysAndClicksAskTheNavigationHook) {
    TempDir dir;
    FullScreenDisplay display;
    RecordingHook hook; // answers nothing: the screen must not change
    display.SetNavigateHook(hook.Hook());
    display.ShowMedia("start", WriteJpeg(dir, "a.jpg", 100, 100));

    Press(&display, Qt::Key_Space, " ");
    Press(&display, Qt::Key_Return, "\r");
    Press(&display, Qt::Key_Enter, "\r", Qt::KeypadModifier);
    Press(&display, Qt::Key_Backspace, "\b");
    Press(&display, Qt::Key_Plus, "+");
    Press(&display, Qt::Key_Plus, "+", Qt::KeypadModifier);
    Press(&display, Qt::Key_Minus, "-");
    Press(&display, Qt::Key_Minus, "-", Qt::KeypadModifier);
    Press(&display, Qt::Key_A, "a"); // nothing
    Click(display.Media(), Qt::LeftButton);
    Click(display.Media(), Qt::RightButton);
    Click(display.Media(), Qt::MiddleButton); // nothing
    const std::vector<NavigateAction> expected{naNext,    naNext,    naNext,        naPrevious,
                                               naNextTab, naNextTab, naPreviousTab, naPreviousTab,
                                               naNext,    naPrevious};
    EXPECT_EQ(hook.Asked, expected);
    EXPECT_EQ(display.NameLine()->text(), "start");
    EXPECT_FALSE(display.Media()->ShownPicture().isNull());

    // An answer is shown at once.
    hook.Names = QStringList{"second"};
    hook.Paths = {WriteJpeg(dir, "b.jpg", 50, 40)};
    Press(&display, Qt::Key_Space, " ");
    EXPECT_EQ(display.NameLine()->text(), "second");
    EXPECT_EQ(display.NameLine()->accessibleDescription(), "second");
    EXPECT_EQ(display.Media()->DecodedSize(), QSize(50, 40));
    EXPECT_TRUE(display.isVisible());
}

TEST(FullScreenDisplay, ReplacedHandlersTakeTheInputButEscStillLeaves) {
    TempDir dir;
    FullScreenDisplay display;
    RecordingHook hook;
    display.SetNavigateHook(hook.Hook());
    QList<int> keys;
    QList<Qt::MouseButton> buttons;
    display.SetKeyHandler([&keys](QKeyEvent* event) { keys.append(event->key()); });
    display.SetClickHandler([&buttons](Qt::MouseButton button) {
        buttons.append(button);
        throw std::runtime_error("a handler that fails"); // must not cross the event delivery
    });
    display.ShowMedia("x", WriteJpeg(dir, "a.jpg", 100, 100));
    Press(&display, Qt::Key_Space, " ");
    Click(display.Media(), Qt::LeftButton);
    EXPECT_EQ(keys, QList<int>{Qt::Key_Space});
    EXPECT_EQ(buttons, QList<Qt::MouseButton>{Qt::LeftButton});
    EXPECT_TRUE(hook.Asked.empty());
    Press(&display, Qt::Key_Escape, "\x1b");
    EXPECT_FALSE(display.isVisible());
    EXPECT_EQ(keys.size(), 1);
}

TEST(FullScreenDisplay, EscRestoresTheSavedCursorAndLeavesNoOverride) {
    TempDir dir;
    FullScreenDisplay display;
    setScreenCursor(ScreenCursor::Hourglass);
    display.ShowMedia("x", WriteJpeg(dir, "a.jpg", 100, 100));
    EXPECT_EQ(display.cursor().shape(), Qt::BlankCursor);
    Press(&display, Qt::Key_Escape, "\x1b");
    EXPECT_FALSE(display.isVisible());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(screenCursor(), ScreenCursor::Default);
    EXPECT_TRUE(CursorUnset(display));
}

TEST(FullScreenDisplay, CommentsOptionShowsOrHidesBothLines) {
    TempDir dir;
    const std::string path = WriteJpeg(dir, "a.jpg", 100, 100);
    for (bool comments : {false, true}) {
        FullScreenDisplay display;
        display.SetShowComments(comments);
        display.ShowMedia("x", path);
        EXPECT_EQ(display.HelpLine()->isVisible(), comments);
        EXPECT_EQ(display.NameLine()->isVisible(), comments);
    }
}

TEST(FullScreenDisplay, PicturesHideAndStopTheVideoAndSoDoesClosing) {
    TempDir dir;
    FullScreenDisplay display;
    FakePlayback player;
    display.SetVideoPlayer(&player);
    WriteBytes(dir.Sub("clip.avi"), "video");
    const std::string picture = WriteJpeg(dir, "a.jpg", 100, 100);
    QString nameWhilePlaying;
    player.OnPlay = [&] { nameWhilePlaying = display.NameLine()->text(); };

    display.ShowMedia("the clip", dir.Sub("clip.avi"));
    EXPECT_EQ(nameWhilePlaying, "the clip"); // the name is up before the file loads
    EXPECT_TRUE(player.Playing);
    EXPECT_TRUE(display.VideoPanel()->isVisible());
    EXPECT_EQ(display.cursor().shape(), Qt::ArrowCursor);

    display.ShowMedia("a picture", picture);
    EXPECT_FALSE(player.Playing);
    EXPECT_FALSE(display.VideoPanel()->isVisible());
    EXPECT_TRUE(display.Media()->isVisible());
    EXPECT_EQ(display.cursor().shape(), Qt::BlankCursor);

    display.ShowMedia("the clip", dir.Sub("clip.avi"));
    ASSERT_TRUE(player.Playing);
    display.close();
    EXPECT_FALSE(player.Playing);
    EXPECT_FALSE(display.VideoPanel()->isVisible());
    display.SetVideoPlayer(nullptr);
}

TEST(FullScreenDisplay, UnreadableFileLeavesTheScreenBlackUnderTheNewName) {
    TempDir dir;
    FullScreenDisplay display;
    display.ShowMedia("good", WriteJpeg(dir, "a.jpg", 100, 100));
    ASSERT_TRUE(display.Media()->isVisible());
    display.ShowMedia("missing", dir.Sub("missing.jpg"));
    EXPECT_FALSE(display.Media()->isVisible());
    EXPECT_TRUE(display.Media()->ShownPicture().isNull());
    EXPECT_EQ(display.NameLine()->text(), "missing");
    EXPECT_TRUE(display.isVisible());
}

TEST(FullScreenDisplay, EverythingShownHasAnAccessibleName) {
    TempDir dir;
    FullScreenDisplay display;
    display.ShowMedia("a name", WriteJpeg(dir, "a.jpg", 100, 100));
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&display);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->text(QAccessible::Name), "Full-screen display");
    QStringList unnamed;
    CollectUnnamed(window, unnamed);
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ").toStdString();
    QAccessibleInterface* help = QAccessible::queryAccessibleInterface(display.HelpLine());
    QAccessibleInterface* info = QAccessible::queryAccessibleInterface(display.NameLine());
    EXPECT_EQ(help->text(QAccessible::Name), "key help");
    EXPECT_EQ(info->text(QAccessible::Name), "picture name");
    EXPECT_EQ(info->text(QAccessible::Description), "a name");
}
