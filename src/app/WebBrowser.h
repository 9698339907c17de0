#pragma once

// The web browser of the main window's Home tab: a web view whose page asks
// its owner before it follows an address and before it opens a window, and
// whose context menu appears only over links. What to do with those
// requests is the owner's business (BrowserPanel); the browser itself keeps
// no bookkeeping.

#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <functional>

class MessageSink;
class QWebEngineNewWindowRequest;

// The page of WebBrowser.
class WebPage : public QWebEnginePage {
public:
    explicit WebPage(QObject* parent = nullptr, MessageSink* messages = nullptr);

    // Asked before every navigation of the page; false cancels it. Unset:
    // every navigation goes ahead. An exception thrown here is reported and
    // the navigation goes ahead.
    std::function<bool(const QUrl& url, NavigationType type, bool isMainFrame)> OnNavigation;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;

private:
    MessageSink* Messages_;
};

class WebBrowser : public QWebEngineView {
public:
    explicit WebBrowser(QWidget* parent = nullptr, MessageSink* messages = nullptr);

    WebPage* Page() const { return Page_; }

    // The page wants a new window: a Ctrl-click or middle click on a link
    // (a new background tab), a shift-click, or a script's window.open.
    // The window opens only when the handler calls request.openIn; unset or
    // not opened, the request is refused.
    std::function<void(QWebEngineNewWindowRequest& request)> OnNewWindow;

    // Whether the last context-menu request was made over a link.
    bool ContextMenuOnLink() const;

protected:
    // Only a link gets the browser's own menu; anywhere else no menu shows.
    void contextMenuEvent(QContextMenuEvent* event) override;
    // The widget that shows the page is made by the engine when it is
    // needed; it is given the view's accessible name, so that a screen
    // reader does not meet an unnamed frame.
    void childEvent(QChildEvent* event) override;

private:
    WebPage* Page_;
    MessageSink* Messages_;
};
