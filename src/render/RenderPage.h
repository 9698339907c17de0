#pragma once

#include "engine/PageRenderer.h"

#include <QTimer>
#include <QWebEnginePage>

#include <functional>
#include <memory>
#include <string>

// One offscreen page of the browser engine rendering one fetched page: loads
// it with its own address as base (setContent), waits until its scripts are quiet, scrolls
// to its end while it keeps growing, then reads the document. `finished` is
// called once, from the event loop.
class RenderPage : public QWebEnginePage {
public:
    struct Timing {
        int TimeLimitMs = 15000; // from the load to the reading
        int MaxScreens = 20;     // scrolls to the end, at most
        int QuietMs = 400;       // no change and no request in flight this long
    };
    using Finished = std::function<void(PageRenderer::Result)>;

    RenderPage(QWebEngineProfile* profile, Timing timing);
    ~RenderPage() override;

    // The document-creation script that counts a page's requests in flight
    // and notes its last change; installed once in the profile.
    static QString WatchScript();
    // The type the page is loaded as: UTF-8 when it is valid UTF-8, else
    // whatever its own markup declares.
    static QString ContentType(const std::string& html);
    // The length of the data address the page is loaded through, which the
    // browser engine refuses past 2 MB.
    static qsizetype LoadedSize(const std::string& html);
    static constexpr qsizetype kMaxLoadedSize = 2 * 1024 * 1024;
    // "15 s", "2.5 s"
    static std::string Seconds(int ms);

    // Whom to tell; the owner deletes the page later (deleteLater), never
    // from inside the call.
    void SetFinished(Finished finished) { Finished_ = std::move(finished); }
    void Start(const std::string& url, const std::string& html);
    // Stops everything; `finished` will not be called.
    void Abandon();

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    void javaScriptAlert(const QUrl&, const QString&) override {}
    bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override {
        return false;
    }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                  const QString&) override {}

private:
    void Loaded(bool ok);
    void Probe();
    void Probed(const QVariant& state);
    void Read(const std::string& problem);
    void GiveUp(const std::string& problem);
    std::string StuckProblem() const;
    void Finish(PageRenderer::Result result);
    // Runs `script`; `then` sees its value unless the page has finished or is gone.
    void Run(const QString& script, std::function<void(const QVariant&)> then);

    Timing Timing_;
    Finished Finished_;
    // Cleared first in the destructor: the engine may still answer scripts
    // while the base class is being destroyed.
    std::shared_ptr<bool> Alive_ = std::make_shared<bool>(true);
    QTimer Poll_, Deadline_, GiveUpTimer_;
    bool Navigated_ = false;
    bool Loaded_ = false;
    bool Asking_ = false;
    bool Reading_ = false;
    bool Done_ = false;
    int Screens_ = 0;
    double LastHeight_ = -1;
};
