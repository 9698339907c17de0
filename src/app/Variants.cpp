// The four application variants of the main window: titles, what shows,
// and which handlers listen to the controller.
#include "app/MainWindow.h"

#include "app/AboutBox.h"
#include "app/AppMessageFilter.h"
#include "app/EditComboBox.h"
#include "app/LightPanel.h"
#include "viewer/PreferencesDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>

namespace {

const char* Title(TAppli appli) {
    switch (appli) {
    case APP_SCRIVANE:
        return "Scrivane";
    case APP_HARVELLO:
        return "Harvello";
    case APP_MISSIVANT:
        return "Missivant";
    case APP_TESSELLON:
        return "Tessellon";
    }
    return "Tessellon";
}

void ShowTab(QTabWidget* pages, QWidget* sheet, bool show) {
    const int index = pages->indexOf(sheet);
    if (index >= 0) pages->setTabVisible(index, show);
}

// Moves a group into another parent's layout.
void PlaceGroup(QGroupBox* group, QWidget* sheet) {
    if (group->parentWidget() == sheet) return;
    if (QLayout* old = group->parentWidget() != nullptr ? group->parentWidget()->layout() : nullptr)
        old->removeWidget(group);
    group->setParent(sheet);
    if (sheet->layout() != nullptr) sheet->layout()->addWidget(group);
    group->show();
}

} // namespace

void TForm1::ApplyVariant(TAppli appli) {
    if (!ThumbScan1->ConfigureFor(appli)) return;
    ThumbScan1->SetAppliType(appli);
    const bool scrivane = appli == APP_SCRIVANE, harvello = appli == APP_HARVELLO;
    const bool missivant = appli == APP_MISSIVANT, tessellon = appli == APP_TESSELLON;

    PageControl1->setTabText(PageControl1->indexOf(TabSheet1), QStringLiteral("Main"));
    // The title first: the settings key and the about box follow it.
    QGuiApplication::setApplicationDisplayName(QString::fromLatin1(Title(appli)));
    if (scrivane) AboutBox->Version->setText(QStringLiteral("version 3.03"));
    if (harvello) AboutBox->Version->setText(QStringLiteral("version 1.21"));
    if (missivant) AboutBox->Version->setText(QStringLiteral("version 1.01"));
    if (!tessellon) AboutBox->ProductName->setText(QGuiApplication::applicationDisplayName());
    setWindowTitle(QGuiApplication::applicationDisplayName());

    Viewer1->setVisible(!scrivane);
    CheckBox1->setVisible(!tessellon);
    ShowTab(PageControl1, TabSheet2, harvello || missivant);
    ShowTab(PageControl1, TabSheet4, missivant);
    ShowTab(PageControl1, TabSheet5, harvello);
    if (harvello || missivant) Panel2->hide();
    Panel3->setVisible(tessellon);
    if (harvello) Panel3->SetCaption(QStringLiteral("getting files      "));
    if (tessellon) Panel3->SetCaption(QStringLiteral("getting pics      "));
    Panel6->setVisible(tessellon);
    Button2->setVisible(tessellon);
    Button4->setVisible(tessellon);
    if (!tessellon) Button3->setVisible(!scrivane);

    // The stop buttons move from their places before the move.
    const int fileStopLeft = Button10->x();
    Button10->setVisible(!scrivane);
    if (harvello) {
        Button10->setText(QStringLiteral("stop file download"));
        Button10->resize(100, Button10->height());
    }
    if (harvello || missivant) {
        Button10->move(Button3->x(), Button10->y());
        Button9->setText(QStringLiteral("stop html analysis"));
        Button9->resize(100, Button9->height());
        Button9->move(fileStopLeft, Button9->y());
    }

    AddressAfterCapture_ = tessellon;
    AddressRightOf_ = scrivane ? Button1 : Button3;
    LayoutScannerRow();

    CleanFolders1->setVisible(!scrivane);
    StatusPanel0->setMinimumWidth(tessellon ? 500 : 300);
    GroupBox1->setVisible(!scrivane);
    PlaceGroup(GroupBox7, scrivane ? TabSheet1 : TabSheet2);
    Prefs_->ApplyVariant(appli);
    if (OnVariantApplied) OnVariantApplied(appli);
    WireVariant(appli);
}

void TForm1::WireVariant(TAppli appli) {
    TGVThumb& c = *ThumbScan1;
    c.SetPageControl(appli == APP_TESSELLON ? PageControl1 : nullptr);
    c.OnUserTimer = [this](TComponent*, bool aborting) { UserTick(aborting); };
    // The activity hooks serve every variant: they leave the managers' own
    // working notifications to the engine, which ends the scan on them.
    c.WorkingHook = [this](TGVDwnld*, bool working) { PageActivity(working); };
    c.FileWorkingHook = [this](TComponent*, bool working) { FileActivity(working); };

    c.OnLinkFound = nullptr;
    if (appli == APP_SCRIVANE || appli == APP_HARVELLO)
        c.OnLinkFound = [this](TComponent*, TLinkFound& link) { LinkFound(link); };
    if (appli == APP_MISSIVANT)
        c.OnLinkFound = [this](TComponent*, TLinkFound& link) { MailLinkFound(link); };

    if (appli == APP_TESSELLON) {
        c.PageDownloader.OnError = nullptr;
        c.FileDownloader.OnError = nullptr;
        c.StatsHook = nullptr;
    } else {
        c.PageDownloader.OnError =
            [this](TComponent*, int, const std::string& url, std::uint32_t code, const std::string&,
                   const std::string& ref) { PageDownloadError(code, url, ref); };
        c.StatsHook = [this](THttpBase&, int tag, int a, int b, int d, int e, int f, int g, int h) {
            UpdatedStats(tag, a, b, d, e, f, g, h);
        };
    }
    if (appli == APP_HARVELLO || appli == APP_MISSIVANT) {
        c.FileDownloader.OnError = [this](TComponent*, int, const std::string& url,
                                          std::uint32_t code, const std::string& msg,
                                          const std::string& ref) {
            FileDownloadError(code, url, msg, ref);
        };
        c.FileDownloader.OnDataReceived = [this](TComponent*, TGVHttpGet* get, bool onDisk) {
            FileReceived(get->Url.GetUrl(), onDisk);
        };
    }
    const bool mail = appli == APP_MISSIVANT;
    c.OnPageReceived = [this, mail](TComponent*, const std::string&, const std::string& url,
                                    const std::string&,
                                    const std::string&) { PageAnalysing(url, mail); };
}

bool TAppMessageFilter::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        // A key event reaches the filter once per object on its way up;
        // setting the same state again changes nothing.
        if (key->key() == Qt::Key_Control && !key->isAutoRepeat())
            Form_.SetCapture(event->type() == QEvent::KeyPress);
        break;
    }
    case QEvent::Quit:
        if (Form_.Gallery().Closing) return true;
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
