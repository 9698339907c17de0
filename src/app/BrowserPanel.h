#pragma once

// The content of the main window's group "embedded browser": six small
// buttons (Back, Forward, Stop, Refresh, Home, Search), the browser address
// box, the "OK" panel and the browser in its frame panel. The panel keeps
// the browser bookkeeping: what the browser is to show next, whether the
// window's tick still has to navigate there, and whether the browser is
// loading. Addresses the user chooses are navigated by the tick, never from
// inside a click; links the browser follows by itself load once.
//
// With capture on (the window's Ctrl tracking or its capture switch), a
// followed link or a Ctrl-clicked link to a web page (http or https) goes to
// the scanner instead of the browser.

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <string>

class MessageSink;
class QAction;
class QFrame;
class QPushButton;
class QToolButton;
class QUrl;
class QWebEngineNewWindowRequest;
class QWebEngineView;
class WebBrowser;
class BrowserAddressBox;

// Tags of the browser buttons (BrowserButtonClicked).
enum BrowserButton {
    bbBack = 100,
    bbForward = 200,
    bbStop = 300,
    bbRefresh = 400,
    bbHome = 500,
    bbSearch = 600,
    bbOK = 700,
};

class BrowserPanel : public QWidget {
public:
    // messages hears of exceptions caught in the panel's handlers.
    explicit BrowserPanel(QWidget* parent = nullptr, MessageSink* messages = nullptr);
    ~BrowserPanel() override;

    // --- hooks the window sets ---
    // Whether capture is on; unset: off.
    std::function<bool()> CaptureOn;
    // Hands an http or https address to the scanner; true when taken. Asked
    // only while CaptureOn() holds, from a posted event just after the
    // browser refused the link; a link not taken is then loaded in place.
    std::function<bool(const QString& url)> CaptureLink;
    // The browser's status text changed (status panel 0).
    std::function<void(const QString& text)> OnStatusText;
    // An address was requested with BrowseTo (to be kept as the last
    // browser address).
    std::function<void(const std::string& url)> OnUrlShown;
    // Told each address just before the browser loads it.
    std::function<void(const QString& url)> BeforeLoad;
    // The welcome page, the Home button's destination; empty: none.
    std::function<QString()> WelcomePage;
    // "Scan this page as shown": the address and the document as the
    // browser shows it now (after a login, after scrolling), for the scanner.
    std::function<void(const QString& url, const QString& html)> ScanShown;

    // --- operations ---
    // Requests that the browser show url; none: the address box's text. A
    // loading browser is stopped; the next Tick navigates. An empty address
    // requests nothing.
    void BrowseTo(const QString& url = {});
    // Opens url in a separate top-level browser window.
    void OpenInNewWindow(const QString& url);
    // The tick's browser step (every 200 ms): when the browser is idle, a
    // pending address is navigated, unless it is the one Back left.
    void Tick();
    // Makes url the pending address without stopping the browser (the
    // welcome page at start-up).
    void SetPending(const QString& url);
    // The action of the button with this tag; the screen cursor follows.
    void BrowserButtonClicked(int tag);

    // --- bookkeeping ---
    // The address the browser is to show next, or shows now.
    QString PendingUrl;
    // PendingUrl still has to be navigated by the tick.
    bool NavigatePending = false;
    // PendingUrl as it was when Back was pressed.
    QString BackUrl;
    // From the start of a load until it finished or stopped.
    bool BrowserBusy = false;
    // The next navigation request is to be refused (a captured link).
    bool CancelNextNavigation = false;
    // An open-in-new-window request is in progress.
    bool OpeningWindow = false;
    // The status text last handed to OnStatusText.
    QString LastStatusText;

    // Whether a link to url may go to the scanner: web pages (http, https)
    // only, never mail, scripts, ftp or the browser's internal pages.
    static bool IsCapturable(const QUrl& url);

    // --- parts ---
    QToolButton* Button(int tag) const;
    BrowserAddressBox* AddressBox;
    QPushButton* OkButton;
    // Takes the page as shown to the scanner (ScanShownClicked); the window
    // puts the same action in its File menu.
    QAction* ScanShownAction;
    QToolButton* ScanShownButton;
    QFrame* BrowserFrame;
    WebBrowser* Browser;
    // The windows OpenInNewWindow opened that are still open.
    QList<QWebEngineView*> OpenWindows() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ScanShownClicked();
    bool NavigationRequested(const QUrl& url, bool linkClicked, bool isMainFrame);
    void NewWindowRequested(QWebEngineNewWindowRequest& request);
    bool TryCapture(const QUrl& url);
    void StatusText(const QString& text);
    bool ButtonAction(int tag);
    void StopLoading();
    QWebEngineView* NewTopLevelView();

    MessageSink* Messages_;
    QList<QToolButton*> Buttons_;
    QList<QPointer<QWebEngineView>> Windows_;
};
