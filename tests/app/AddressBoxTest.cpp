// The two address boxes of the main window: the scan history box and the
// browser address box with its typed-address history in the settings store.
#include <gtest/gtest.h>

#include "EventLoop.h"
#include "TempDir.h"
#include "TestSettings.h"
#include "app/BrowserAddressBox.h"
#include "app/EditComboBox.h"
#include "settings/RegistryStore.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QCompleter>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

// Readable texts in failure messages.
void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

QStringList Items(const QComboBox& box) {
    QStringList items;
    for (int i = 0; i < box.count(); ++i)
        items << box.itemText(i);
    return items;
}

QString Address(int i) {
    return QStringLiteral("http://site%1.example/").arg(i);
}

// --- the scan address box ---

class EditComboBoxTest : public ::testing::Test {
protected:
    EditComboBoxTest() {
        box.OnAddedItem = [this] { ++added; };
        box.show();
    }
    EditComboBox box;
    int added = 0;
};

TEST_F(EditComboBoxTest, AddItemKeepsTheMostRecentOnTopWithoutDuplicates) {
    box.AddItem("http://a/");
    box.AddItem("http://b/");
    box.AddItem("");
    EXPECT_EQ(added, 2);
    // Another letter case finds the listed entry, which keeps its spelling.
    box.AddItem("HTTP://A/");
    EXPECT_EQ(Items(box), QStringList({"http://a/", "http://b/"}));
    EXPECT_EQ(box.currentText(), "http://a/");
    EXPECT_EQ(added, 3);
    // The top entry again announces nothing.
    box.AddItem("http://a/");
    EXPECT_EQ(added, 3);

    box.IgnoreCase = false;
    box.AddItem("HTTP://B/");
    EXPECT_EQ(Items(box), QStringList({"HTTP://B/", "http://a/", "http://b/"}));
    box.UniqueItems = false;
    box.AddItem("http://b/");
    EXPECT_EQ(box.count(), 4);
}

TEST_F(EditComboBoxTest, TypingAddsNothingUntilEnterAndAListChoiceGoesOnTop) {
    box.AddItem("http://c/");
    box.AddItem("http://b/");
    box.AddItem("http://a/");
    box.clearEditText();
    QTest::keyClicks(&box, "http://typed/");
    EXPECT_TRUE(box.Typing());
    EXPECT_EQ(box.count(), 3);
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_FALSE(box.Typing());
    EXPECT_EQ(box.itemText(0), "http://typed/");
    // What was typed is what is added, even the start of a listed address.
    box.clearEditText();
    QTest::keyClicks(&box, "http://b");
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(Items(box).mid(0, 3), QStringList({"http://b", "http://typed/", "http://a/"}));
    EXPECT_EQ(box.currentText(), "http://b");

    // Typing again, then choosing with Enter in the open list.
    QTest::keyClicks(&box, "x");
    box.showPopup();
    ASSERT_TRUE(RunUntil([&] { return box.view()->isVisible(); }));
    box.view()->setCurrentIndex(box.model()->index(4, 0));
    QTest::keyClick(box.view(), Qt::Key_Return);
    EXPECT_EQ(box.itemText(0), "http://c/");
    EXPECT_EQ(box.currentText(), "http://c/");
}

TEST_F(EditComboBoxTest, LeavingTheBoxWithAListedTextChoosesNothing) {
    box.AddItem("http://b/");
    box.AddItem("http://a/");
    QSignalSpy chosen(&box, &QComboBox::textActivated);
    box.setEditText("http://b/");
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(&box, &out);
    EXPECT_EQ(chosen.count(), 0);
    EXPECT_EQ(box.itemText(0), "http://a/");
}

TEST_F(EditComboBoxTest, PasteAndContextMenu) {
    QApplication::clipboard()->setText("http://pasted/");
    box.PasteItem();
    EXPECT_EQ(box.itemText(0), "http://pasted/");
    QApplication::clipboard()->clear();
    box.PasteItem();
    EXPECT_EQ(box.count(), 1);

    int pastes = 0;
    box.OnContextPaste = [&] { ++pastes; };
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 5), box.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&box, &menu);
    EXPECT_EQ(pastes, 1);

    box.SetAccessibleName("scan address");
    EXPECT_EQ(box.accessibleName(), "scan address");
    EXPECT_EQ(box.lineEdit()->accessibleName(), "scan address");
}

// --- the browser address box ---

class BrowserAddressBoxTest : public ::testing::Test {
protected:
    std::string Stored(int k) {
        RegistryStore reg(RegistryRoot::CurrentUser);
        if (!reg.OpenKey(kTypedUrlsKey, false)) return "<no key>";
        const std::string name = "Url" + std::to_string(k);
        return reg.ValueExists(name) ? reg.ReadString(name) : "<none>";
    }
    void Fill(BrowserAddressBox& box, int n) {
        for (int i = 0; i < n; ++i)
            box.addItem(Address(i));
    }
    void OpenList(BrowserAddressBox& box) {
        box.show();
        QTest::keyClick(&box, Qt::Key_Down);
        ASSERT_TRUE(RunUntil([&] { return box.view()->isVisible(); }));
    }
    ConfigFolder config;
};

TEST_F(BrowserAddressBoxTest, TypedUrlsOfThreeEndWithAnEmptyValue) {
    {
        BrowserAddressBox box;
        EXPECT_EQ(box.count(), 0); // no history yet
        EXPECT_EQ(box.currentText(), "");
        Fill(box, 3);
        box.SaveTypedUrls();
    }
    EXPECT_EQ(Stored(1), Address(0).toStdString());
    EXPECT_EQ(Stored(3), Address(2).toStdString());
    EXPECT_EQ(Stored(4), "");
    EXPECT_EQ(Stored(5), "<none>");
    BrowserAddressBox reloaded;
    EXPECT_EQ(Items(reloaded), QStringList({Address(0), Address(1), Address(2)}));
    EXPECT_EQ(reloaded.currentText(), Address(0));
}

TEST_F(BrowserAddressBoxTest, TheHistoryKeepsTwentyFiveAddresses) {
    BrowserAddressBox box;
    Fill(box, 24);
    box.SaveTypedUrls();
    EXPECT_EQ(Stored(24), Address(23).toStdString());
    EXPECT_EQ(Stored(25), "");
    Fill(box, 6); // 30 in all
    box.SaveTypedUrls();
    EXPECT_EQ(Stored(25), Address(0).toStdString()); // the 25th entry, numbered anew
    EXPECT_EQ(Stored(26), "<none>");
    box.LoadTypedUrls();
    EXPECT_EQ(box.count(), 25);
}

TEST_F(BrowserAddressBoxTest, EnterInTheClosedBoxPutsTheAddressOnTopEvenWhenListed) {
    BrowserAddressBox box;
    Fill(box, 2);
    box.DefaultProtocol = "http://";
    QStringList selected;
    box.OnUrlSelected = [&](const QString& url) { selected << url; };
    box.show();

    box.setEditText(Address(1));
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(Items(box), QStringList({Address(1), Address(0), Address(1)}));

    box.setEditText("www.example.org");
    QTest::keyClick(&box, Qt::Key_Enter);
    EXPECT_EQ(box.itemText(0), "http://www.example.org");
    EXPECT_EQ(box.Url(), "http://www.example.org");
    EXPECT_EQ(selected, QStringList({Address(1), "www.example.org"}));
    EXPECT_EQ(Stored(1), "http://www.example.org");

    box.AddToHistory = false;
    box.setEditText("http://unsaved/");
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(Stored(1), "http://www.example.org");
}

TEST_F(BrowserAddressBoxTest, ArrowKeysOpenAndWalkTheListUpToTheTwentyFifthEntry) {
    BrowserAddressBox box;
    Fill(box, 30);
    box.show();
    QTest::keyClick(&box, Qt::Key_Up); // nothing on the closed box
    EXPECT_EQ(box.currentIndex(), 0);
    EXPECT_FALSE(box.view()->isVisible());

    OpenList(box);
    EXPECT_TRUE(box.lineEdit()->isReadOnly());
    QTest::keyClick(box.view(), Qt::Key_Up);
    EXPECT_EQ(box.view()->currentIndex().row(), 0);
    for (int i = 0; i < 28; ++i)
        QTest::keyClick(box.view(), Qt::Key_Down);
    EXPECT_EQ(box.view()->currentIndex().row(), 24);
    EXPECT_EQ(box.currentText(), Address(24));
    EXPECT_TRUE(box.view()->isVisible());

    QTest::keyClick(box.view(), Qt::Key_Escape);
    EXPECT_TRUE(RunUntil([&] { return !box.view()->isVisible(); }));
    EXPECT_FALSE(box.lineEdit()->isReadOnly());
    EXPECT_EQ(box.lineEdit()->selectedText(), box.currentText());
}

TEST_F(BrowserAddressBoxTest, EnterInTheOpenListMovesTheEntryUpAndSavesIt) {
    BrowserAddressBox box;
    Fill(box, 3);
    QStringList selected;
    box.OnUrlSelected = [&](const QString& url) { selected << url; };
    OpenList(box);
    QTest::keyClick(box.view(), Qt::Key_Down);
    QTest::keyClick(box.view(), Qt::Key_Down);
    QTest::keyClick(box.view(), Qt::Key_Return);
    EXPECT_TRUE(RunUntil([&] { return !box.view()->isVisible(); }));
    EXPECT_EQ(Items(box), QStringList({Address(2), Address(0), Address(1)}));
    EXPECT_EQ(selected, QStringList({Address(2)}));
    EXPECT_EQ(box.Url(), Address(2));
    EXPECT_EQ(Stored(1), Address(2).toStdString());
    EXPECT_FALSE(box.lineEdit()->isReadOnly());
}

TEST_F(BrowserAddressBoxTest, AClickInTheListSelectsWithoutWritingTheHistory) {
    BrowserAddressBox box;
    Fill(box, 3);
    QStringList selected;
    box.OnUrlSelected = [&](const QString& url) { selected << url; };
    OpenList(box);
    const QRect entry = box.view()->visualRect(box.model()->index(1, 0));
    QTest::mouseClick(box.view()->viewport(), Qt::LeftButton, {}, entry.center());
    ASSERT_TRUE(RunUntil([&] { return !selected.isEmpty(); }, 5000));
    EXPECT_EQ(selected, QStringList({Address(1)}));
    EXPECT_EQ(box.Url(), Address(1));
    EXPECT_EQ(Items(box), QStringList({Address(0), Address(1), Address(2)}));
    EXPECT_EQ(Stored(1), "<no key>");
    EXPECT_FALSE(box.lineEdit()->isReadOnly());
}

TEST_F(BrowserAddressBoxTest, ASuggestionChosenWithEnterIsSelectedOnce) {
    BrowserAddressBox box;
    Fill(box, 4);
    box.SetFileOptions(UrlHistory | UrlMRU);
    QStringList selected;
    box.OnUrlSelected = [&](const QString& url) { selected << url; };
    box.show();
    box.clearEditText();
    QTest::keyClicks(&box, "site2");
    QAbstractItemView* suggestions = box.completer()->popup();
    ASSERT_TRUE(RunUntil([&] { return suggestions->isVisible(); }, 5000));
    QTest::keyClick(suggestions, Qt::Key_Down);
    QTest::keyClick(suggestions, Qt::Key_Return);
    EXPECT_EQ(selected, QStringList({Address(2)}));
    EXPECT_EQ(box.itemText(0), Address(2));
}

TEST_F(BrowserAddressBoxTest, TheIconFollowsWhatTheAddressNames) {
    TempDir dir;
    WriteFile(dir.Sub("picture.jpg"), "x");
    EXPECT_EQ(IconKindOf("my computer"), AddressIcon::SpecialFolder);
    EXPECT_EQ(IconKindOf(QString::fromStdString(dir.Path())), AddressIcon::Folder);
    EXPECT_EQ(IconKindOf(QString::fromStdString(dir.Sub("picture.jpg"))), AddressIcon::File);
    EXPECT_EQ(IconKindOf("FILE:///nowhere/picture.jpg"), AddressIcon::File);
    EXPECT_EQ(IconKindOf("control panel"), AddressIcon::WebPage); // no such folder here
    EXPECT_EQ(IconKindOf("http://a/"), AddressIcon::WebPage);
    EXPECT_EQ(IconKindOf(""), AddressIcon::None);

    BrowserAddressBox box;
    box.SetAccessibleName("browser address");
    EXPECT_EQ(box.lineEdit()->accessibleName(), "browser address");
    box.SetUrl(QString::fromStdString(dir.Path()));
    EXPECT_EQ(box.IconKind(), AddressIcon::Folder);
    QTest::keyClicks(&box, "/x");
    EXPECT_EQ(box.IconKind(), AddressIcon::WebPage);
    EXPECT_EQ(box.Url(), QString::fromStdString(dir.Path())); // typing chooses nothing
}

} // namespace
