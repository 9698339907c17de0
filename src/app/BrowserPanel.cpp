#include "app/BrowserPanel.h"

#include "app/BrowserAddressBox.h"
#include "app/BrowserCookies.h"
#include "app/WebBrowser.h"
#include "gallery/ExceptionGuard.h"
#include "gallery/ScreenCursor.h"

#include <QAction>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWebEngineHistory>
#include <QWebEngineNewWindowRequest>

namespace {

struct ButtonLook {
    int Tag;
    const char* Name;
    QStyle::StandardPixmap Icon;
};

const ButtonLook kButtons[] = {
    {bbBack, "Back", QStyle::SP_ArrowBack},
    {bbForward, "Forward", QStyle::SP_ArrowForward},
    {bbStop, "Stop", QStyle::SP_BrowserStop},
    {bbRefresh, "Refresh", QStyle::SP_BrowserReload},
    {bbHome, "Home", QStyle::SP_DirHomeIcon},
    {bbSearch, "Search", QStyle::SP_FileDialogContentsView},
};

// The text of an address as the scanner and the bookkeeping use it.
QString AddressText(const QUrl& url) {
    return url.toString(QUrl::FullyEncoded);
}

// Addresses an uncaptured Ctrl-click may still open in place: the schemes
// the browser shows itself.
bool BrowserShows(const QUrl& url) {
    const QString scheme = url.scheme();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
           scheme == QLatin1String("file");
}

} // namespace

BrowserPanel::BrowserPanel(QWidget* parent, MessageSink* messages)
    : QWidget(parent), Messages_(messages) {
    auto* top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(2);
    for (const ButtonLook& look : kButtons) {
        auto* button = new QToolButton(this);
        button->setIcon(style()->standardIcon(look.Icon));
        button->setAutoRaise(true);
        button->setFixedSize(24, 24);
        button->setToolTip(QString::fromLatin1(look.Name));
        button->setAccessibleName(QString::fromLatin1(look.Name));
        button->setProperty("Tag", look.Tag);
        const int tag = look.Tag;
        connect(button, &QToolButton::clicked, this, [this, tag] { BrowserButtonClicked(tag); });
        top->addWidget(button);
        Buttons_.append(button);
    }
    // The browser has no search page of its own.
    Button(bbSearch)->setEnabled(false);

    AddressBox = new BrowserAddressBox(this, messages);
    AddressBox->setObjectName(QStringLiteral("IEAddress1"));
    AddressBox->SetAccessibleName(QStringLiteral("browser address"));
    AddressBox->OnUrlSelected = [this](const QString& url) {
        RunGuarded([&] { BrowseTo(url); }, Messages_);
    };
    top->addWidget(AddressBox, 1);

    OkButton = new QPushButton(QStringLiteral("       OK"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setFlat(true);
    OkButton->setFocusPolicy(Qt::StrongFocus);
    OkButton->setAccessibleName(QStringLiteral("OK"));
    OkButton->setToolTip(QStringLiteral("OK"));
    OkButton->setProperty("Tag", int(bbOK));
    OkButton->installEventFilter(this);
    connect(OkButton, &QPushButton::clicked, this, [this] { BrowserButtonClicked(bbOK); });
    top->addWidget(OkButton);

    ScanShownAction = new QAction(QStringLiteral("Scan this page as shown"), this);
    ScanShownAction->setToolTip(
        QStringLiteral("scan the page as the browser shows it now, with the browser's logins"));
    connect(ScanShownAction, &QAction::triggered, this,
            [this] { RunGuarded([this] { ScanShownClicked(); }, Messages_); });
    ScanShownButton = new QToolButton(this);
    ScanShownButton->setObjectName(QStringLiteral("ScanShownButton"));
    ScanShownButton->setDefaultAction(ScanShownAction);
    ScanShownButton->setAccessibleName(QStringLiteral("scan this page"));
    top->addWidget(ScanShownButton);

    BrowserFrame = new QFrame(this);
    BrowserFrame->setObjectName(QStringLiteral("BrowserFrame"));
    BrowserFrame->setFrameStyle(QFrame::NoFrame);
    BrowserFrame->setAccessibleName(QStringLiteral("web page frame"));
    auto* frame = new QVBoxLayout(BrowserFrame);
    frame->setContentsMargins(0, 0, 0, 0);
    Browser = new WebBrowser(BrowserFrame, messages);
    Browser->setObjectName(QStringLiteral("GVBrowser1"));
    Browser->setAccessibleName(QStringLiteral("web page"));
    frame->addWidget(Browser);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    column->addLayout(top);
    column->addWidget(BrowserFrame, 1);

    Browser->Page()->OnNavigation = [this](const QUrl& url, QWebEnginePage::NavigationType type,
                                           bool isMainFrame) {
        return NavigationRequested(url, type == QWebEnginePage::NavigationTypeLinkClicked,
                                   isMainFrame);
    };
    Browser->OnNewWindow = [this](QWebEngineNewWindowRequest& request) {
        NewWindowRequested(request);
    };
    QWebEnginePage* page = Browser->Page();
    connect(page, &QWebEnginePage::loadStarted, this, [this] { BrowserBusy = true; });
    connect(page, &QWebEnginePage::loadFinished, this, [this](bool) {
        // The cursor a request set lasts until its document is complete; a
        // load that a new request stopped leaves it.
        BrowserBusy = false;
        if (!NavigatePending) restoreSavedCursor();
    });
    connect(page, &QWebEnginePage::linkHovered, this,
            [this](const QString& url) { RunGuarded([&] { StatusText(url); }, Messages_); });
}

BrowserPanel::~BrowserPanel() {
    // The browsers go first, while the bookkeeping their signals touch
    // still exists.
    Browser->Page()->OnNavigation = nullptr;
    Browser->OnNewWindow = nullptr;
    Browser->Page()->disconnect(this);
    delete Browser;
    for (const QPointer<QWebEngineView>& window : Windows_)
        delete window.data();
}

QToolButton* BrowserPanel::Button(int tag) const {
    for (QToolButton* button : Buttons_)
        if (button->property("Tag").toInt() == tag) return button;
    return nullptr;
}

QList<QWebEngineView*> BrowserPanel::OpenWindows() const {
    QList<QWebEngineView*> open;
    for (const QPointer<QWebEngineView>& window : Windows_)
        if (window) open.append(window.data());
    return open;
}

bool BrowserPanel::IsCapturable(const QUrl& url) {
    const QString scheme = url.scheme();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !url.host().isEmpty();
}

bool BrowserPanel::TryCapture(const QUrl& url) {
    if (!CaptureOn || !CaptureLink || !IsCapturable(url) || !CaptureOn()) return false;
    // The scanner starts after the browser's callback has returned: starting
    // it may process events, which the engine must not see from inside its
    // own callback. A link the window does not take after all is followed.
    QTimer::singleShot(0, this, [this, url] {
        bool taken = false;
        RunGuarded([&] { taken = CaptureLink(AddressText(url)); }, Messages_);
        if (!taken) Browser->load(url);
    });
    return true;
}

bool BrowserPanel::NavigationRequested(const QUrl& url, bool linkClicked, bool isMainFrame) {
    if (OpeningWindow) return true;
    // A link followed with capture on goes to the scanner, and the browser
    // stays where it is.
    if (linkClicked && TryCapture(url)) CancelNextNavigation = true;
    if (CancelNextNavigation) {
        CancelNextNavigation = false;
        return false;
    }
    // The browser follows this address by itself: it is what the browser
    // shows, and the tick must not load it a second time (a form's result
    // would be replaced by a plain GET). An address the tick has yet to
    // navigate was asked for by the user and stays pending.
    if (isMainFrame && !NavigatePending) PendingUrl = AddressText(url);
    return true;
}

void BrowserPanel::NewWindowRequested(QWebEngineNewWindowRequest& request) {
    if (OpeningWindow) {
        request.openIn(NewTopLevelView()->page());
        return;
    }
    // Ctrl-click (or a middle click) on a link asks for a background tab.
    // Every other request is a pop-up and is refused silently.
    const bool linkClick = request.isUserInitiated() &&
                           request.destination() == QWebEngineNewWindowRequest::InNewBackgroundTab;
    if (!linkClick) return;
    const QUrl url = request.requestedUrl();
    if (TryCapture(url)) return;
    // Not captured: the browser follows the link in place.
    if (BrowserShows(url)) Browser->load(url);
}

void BrowserPanel::ScanShownClicked() {
    const QUrl url = Browser->url();
    if (!IsCapturable(url)) {
        StatusText(QStringLiteral("only a web page (http or https) can be scanned"));
        return;
    }
    // The document as it stands now, scripts' work included; the answer
    // comes later, when the panel may be gone.
    QPointer<BrowserPanel> self(this);
    Browser->page()->toHtml([self, address = AddressText(url)](const QString& html) {
        if (self.isNull() || !self->ScanShown) return;
        RunGuarded([&] { self->ScanShown(address, html); }, self->Messages_);
    });
}

void BrowserPanel::StatusText(const QString& text) {
    if (text == LastStatusText) return;
    LastStatusText = text;
    if (OnStatusText) OnStatusText(text);
}

void BrowserPanel::StopLoading() {
    if (BrowserBusy) Browser->stop();
}

void BrowserPanel::BrowseTo(const QString& url) {
    // No waiting here for the browser to stop: its stop ends the load, and
    // the tick navigates once it is idle.
    StopLoading();
    setScreenCursor(ScreenCursor::AppStarting);
    QString address = url;
    if (address.isEmpty()) {
        AddressBox->SetUrl(AddressBox->currentText());
        address = AddressBox->Url();
    }
    address = address.trimmed();
    if (address.isEmpty()) {
        restoreSavedCursor();
        return;
    }
    PendingUrl = address;
    NavigatePending = true;
    // Asked for again, the page Back left is shown again.
    BackUrl.clear();
    if (OnUrlShown) OnUrlShown(address.toStdString());
}

void BrowserPanel::SetPending(const QString& url) {
    PendingUrl = url;
    NavigatePending = true;
    BackUrl.clear();
}

void BrowserPanel::Tick() {
    if (BrowserBusy) return;
    if (PendingUrl == BackUrl) {
        // Back left this page: it is not loaded again.
        if (NavigatePending) restoreSavedCursor();
        NavigatePending = false;
        return;
    }
    if (!NavigatePending) return;
    NavigatePending = false;
    const QUrl target = QUrl::fromUserInput(PendingUrl);
    if (!target.isValid()) {
        restoreSavedCursor();
        return;
    }
    if (BeforeLoad) BeforeLoad(target.toString());
    Browser->load(target);
}

bool BrowserPanel::ButtonAction(int tag) {
    QWebEngineHistory* history = Browser->history();
    switch (tag) {
    case bbBack:
        for (int i = 0; i < 3; ++i)
            Browser->stop();
        if (!history->canGoBack()) return false;
        BackUrl = PendingUrl;
        Browser->back();
        return true;
    case bbForward:
        if (!history->canGoForward()) return false;
        Browser->forward();
        return true;
    case bbStop:
        Browser->stop();
        return true;
    case bbRefresh:
        if (Browser->url().isEmpty()) return false;
        Browser->reload();
        return true;
    case bbHome: {
        const QString welcome = WelcomePage ? WelcomePage() : QString();
        if (welcome.isEmpty()) return false;
        StopLoading();
        SetPending(welcome);
        return true;
    }
    default:
        // No search page; other tags do nothing.
        return false;
    }
}

void BrowserPanel::BrowserButtonClicked(int tag) {
    if (tag == bbOK) {
        // A request that failed still waits for a document to complete.
        if (!RunGuarded([&] { BrowseTo(); }, nullptr)) setScreenCursor(ScreenCursor::AppStarting);
        return;
    }
    // Errors of the browser's operations are discarded: the click failed.
    bool done = false;
    if (!RunGuarded([&] { done = ButtonAction(tag); }, nullptr)) done = false;
    if (!done) {
        restoreSavedCursor();
        return;
    }
    switch (tag) {
    case bbStop:
        restoreSavedCursor();
        break;
    case bbRefresh:
        break;
    default:
        setScreenCursor(ScreenCursor::AppStarting);
        break;
    }
}

QWebEngineView* BrowserPanel::NewTopLevelView() {
    // A window of its own, closed with the panel at the latest.
    auto* view = new QWebEngineView(this);
    view->setPage(new QWebEnginePage(BrowserProfile(), view)); // the same logins
    view->setWindowFlag(Qt::Window, true);
    view->setAttribute(Qt::WA_DeleteOnClose, true);
    view->setAccessibleName(QStringLiteral("web page"));
    view->resize(800, 600);
    connect(view, &QWebEngineView::titleChanged, view, &QWidget::setWindowTitle);
    Windows_.removeIf([](const QPointer<QWebEngineView>& window) { return window.isNull(); });
    Windows_.append(view);
    view->show();
    return view;
}

void BrowserPanel::OpenInNewWindow(const QString& url) {
    const QUrl target = QUrl::fromUserInput(url);
    if (!target.isValid() || target.isEmpty()) return;
    OpeningWindow = true;
    NewTopLevelView()->load(target);
    OpeningWindow = false;
}

bool BrowserPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == OkButton) {
        // The "OK" panel shows its focus as a raised bevel around the browser.
        if (event->type() == QEvent::FocusIn)
            BrowserFrame->setFrameStyle(QFrame::Panel | QFrame::Raised);
        else if (event->type() == QEvent::FocusOut)
            BrowserFrame->setFrameStyle(QFrame::NoFrame);
    }
    return QWidget::eventFilter(watched, event);
}
