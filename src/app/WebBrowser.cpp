#include "app/WebBrowser.h"

#include "app/BrowserCookies.h"
#include "gallery/ExceptionGuard.h"

#include <QChildEvent>
#include <QContextMenuEvent>
#include <QMenu>
#include <QWebEngineContextMenuRequest>
#include <QWebEngineNewWindowRequest>

WebPage::WebPage(QObject* parent, MessageSink* messages)
    : QWebEnginePage(BrowserProfile(), parent), Messages_(messages) {}

bool WebPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    bool accept = true;
    RunGuarded(
        [&] {
            if (OnNavigation) accept = OnNavigation(url, type, isMainFrame);
        },
        Messages_);
    return accept;
}

WebBrowser::WebBrowser(QWidget* parent, MessageSink* messages)
    : QWebEngineView(parent), Page_(new WebPage(this, messages)), Messages_(messages) {
    setPage(Page_);
    // A request the handler leaves unopened opens no window: the view's
    // createWindow, which Qt may ask as well, gives none.
    connect(Page_, &QWebEnginePage::newWindowRequested, this,
            [this](QWebEngineNewWindowRequest& request) {
                RunGuarded(
                    [&] {
                        if (OnNewWindow) OnNewWindow(request);
                    },
                    Messages_);
            });
}

void WebBrowser::childEvent(QChildEvent* event) {
    QWebEngineView::childEvent(event);
    if (event->type() != QEvent::ChildPolished) return;
    auto* child = qobject_cast<QWidget*>(event->child());
    if (child != nullptr && child->accessibleName().isEmpty())
        child->setAccessibleName(accessibleName());
}

bool WebBrowser::ContextMenuOnLink() const {
    const QWebEngineContextMenuRequest* request = lastContextMenuRequest();
    return request != nullptr && !request->linkUrl().isEmpty();
}

void WebBrowser::contextMenuEvent(QContextMenuEvent* event) {
    RunGuarded(
        [&] {
            if (!ContextMenuOnLink()) {
                event->accept();
                return;
            }
            QMenu* menu = createStandardContextMenu();
            menu->setAttribute(Qt::WA_DeleteOnClose, true);
            menu->popup(event->globalPos());
        },
        Messages_);
}
