#include "app/WebBrowser.h"

#include "gallery/ExceptionGuard.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QWebEngineContextMenuRequest>
#include <QWebEngineNewWindowRequest>

TGVPage::TGVPage(QObject* parent, IMessageSink* messages)
    : QWebEnginePage(parent), Messages_(messages) {}

bool TGVPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    bool accept = true;
    RunGuarded(
        [&] {
            if (OnNavigation) accept = OnNavigation(url, type, isMainFrame);
        },
        Messages_);
    return accept;
}

TGVBrowser::TGVBrowser(QWidget* parent, IMessageSink* messages)
    : QWebEngineView(parent), Page_(new TGVPage(this, messages)), Messages_(messages) {
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

bool TGVBrowser::ContextMenuOnLink() const {
    const QWebEngineContextMenuRequest* request = lastContextMenuRequest();
    return request != nullptr && !request->linkUrl().isEmpty();
}

void TGVBrowser::contextMenuEvent(QContextMenuEvent* event) {
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
