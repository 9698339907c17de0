#include "render/WebPageRenderer.h"

#include "render/RenderPage.h"
#include "render/RequestBlocker.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QNetworkProxy>
#include <QPointer>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

#include <cstdlib>
#include <deque>
#include <unistd.h>
#include <vector>

namespace {

bool EnvSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

} // namespace

struct WebPageRenderer::Impl {
    struct Waiting {
        std::string Url, Html;
        Done Callback;
    };

    // Context of the posted starts: they are dropped with the renderer.
    QObject Context;
    Limits Limits_;
    int Capacity = 4;
    std::string Agent;
    std::unique_ptr<RequestBlocker> Blocker;
    QWebEngineProfile* Profile = nullptr;
    std::deque<Waiting> Queue;
    std::vector<RenderPage*> Running;
    // Finished pages awaiting their deferred deletion; deleted at once when
    // the renderer goes, before the profile they use.
    std::vector<QPointer<RenderPage>> Retired;

    ~Impl() {
        DropPages();
        for (auto& page : Retired)
            delete page.data();
        delete Profile;
    }

    void EnsureProfile() {
        if (Profile) return;
        Blocker = std::make_unique<RequestBlocker>();
        Profile = new QWebEngineProfile(); // no name: off the record, nothing on disk
        Profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        Profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
        Profile->setSpellCheckEnabled(false);
        Profile->setUrlRequestInterceptor(Blocker.get());
        if (!Agent.empty()) Profile->setHttpUserAgent(QString::fromStdString(Agent));
        QWebEngineSettings* settings = Profile->settings();
        settings->setAttribute(QWebEngineSettings::AutoLoadImages, false);
        settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
        settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
        settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
        settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
        settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, true);
        settings->setAttribute(QWebEngineSettings::WebGLEnabled, false);
        settings->setAttribute(QWebEngineSettings::Accelerated2dCanvasEnabled, false);
        QWebEngineScript watch;
        watch.setName(QStringLiteral("tessellon-watch"));
        watch.setSourceCode(RenderPage::WatchScript());
        watch.setInjectionPoint(QWebEngineScript::DocumentCreation);
        watch.setWorldId(QWebEngineScript::MainWorld);
        watch.setRunsOnSubFrames(false);
        Profile->scripts()->insert(watch);
    }

    void StartNext() {
        while (!Queue.empty() && int(Running.size()) < Capacity) {
            Waiting next = std::move(Queue.front());
            Queue.pop_front();
            EnsureProfile();
            RenderPage::Timing timing{.TimeLimitMs = Limits_.TimeLimitMs,
                                      .MaxScreens = Limits_.MaxScreens,
                                      .QuietMs = Limits_.QuietMs};
            auto* page = new RenderPage(Profile, timing);
            page->setVisible(true);
            Running.push_back(page);
            // Set after the page exists so that the callback can name it.
            RenderPage::Finished finished = [this, page, done = std::move(next.Callback)](
                                                Result result) { Finished(page, done, result); };
            page->SetFinished(std::move(finished));
            page->Start(next.Url, next.Html);
        }
    }

    void Finished(RenderPage* page, const Done& done, Result& result) {
        std::erase(Running, page);
        Retire(page);
        // done may cancel or render again, so the next page is under way first.
        Done callback = done;
        StartNext();
        callback(std::move(result));
    }

    void Retire(RenderPage* page) {
        std::erase_if(Retired, [](const QPointer<RenderPage>& p) { return p.isNull(); });
        Retired.emplace_back(page);
        page->deleteLater();
    }

    void DropPages() {
        Queue.clear();
        std::vector<RenderPage*> running;
        running.swap(Running);
        for (RenderPage* page : running) {
            page->Abandon();
            Retire(page);
        }
    }
};

WebPageRenderer::WebPageRenderer(Limits limits) : Impl_(std::make_unique<Impl>()) {
    Impl_->Limits_ = limits;
}

WebPageRenderer::WebPageRenderer() : WebPageRenderer(Limits{}) {}

WebPageRenderer::~WebPageRenderer() = default;

void WebPageRenderer::PrepareProcess() {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (!EnvSet("DISPLAY") && !EnvSet("WAYLAND_DISPLAY") && !EnvSet("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (::geteuid() == 0) ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    // The rendering pages have no view, so the engine takes them for hidden
    // tabs and would let their timers fire once a second at most.
    std::string flags =
        EnvSet("QTWEBENGINE_CHROMIUM_FLAGS") ? std::getenv("QTWEBENGINE_CHROMIUM_FLAGS") : "";
    for (const char* flag :
         {"--disable-background-timer-throttling", "--disable-renderer-backgrounding",
          "--disable-backgrounding-occluded-windows"})
        if (flags.find(flag) == std::string::npos)
            flags += std::string(flags.empty() ? "" : " ") + flag;
    ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.c_str(), 1);
}

std::string WebPageRenderer::EngineProblem() {
    QString helper = qEnvironmentVariable("QTWEBENGINEPROCESS_PATH");
    if (helper.isEmpty())
        helper = QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) +
                 QStringLiteral("/QtWebEngineProcess");
    if (!QFileInfo(helper).isExecutable())
        return "the browser engine cannot start: its helper " + helper.toStdString() +
               " is missing";
    QString resources = qEnvironmentVariable("QTWEBENGINE_RESOURCES_PATH");
    if (resources.isEmpty())
        resources = QLibraryInfo::path(QLibraryInfo::DataPath) + QStringLiteral("/resources");
    const QString pak = resources + QStringLiteral("/qtwebengine_resources.pak");
    if (!QFileInfo::exists(pak))
        return "the browser engine cannot start: its resources " + pak.toStdString() +
               " are missing";
    return {};
}

void WebPageRenderer::Prepare(const Setup& setup) {
    Impl_->Capacity = std::max(setup.Capacity, 1);
    Impl_->Agent = setup.Agent;
    if (Impl_->Profile && !setup.Agent.empty())
        Impl_->Profile->setHttpUserAgent(QString::fromStdString(setup.Agent));
    // The browser engine follows the application's proxy (read again for each
    // new connection); "default" leaves it to the system's settings.
    QNetworkProxy proxy(QNetworkProxy::DefaultProxy);
    if (setup.ProxyType == ProxyMode::PROXY_DIRECT) {
        proxy.setType(QNetworkProxy::NoProxy);
    } else if (setup.ProxyType == ProxyMode::PROXY_USEPROXY) {
        proxy = QNetworkProxy(QNetworkProxy::HttpProxy, QString::fromStdString(setup.ProxyAddress),
                              quint16(setup.ProxyPort), QString::fromStdString(setup.ProxyUser),
                              QString::fromStdString(setup.ProxyPassword));
    }
    QNetworkProxy::setApplicationProxy(proxy);
    Impl_->StartNext();
}

void WebPageRenderer::Render(const std::string& url, const std::string& html, Done done) {
    Impl_->Queue.push_back({url, html, std::move(done)});
    // Started from the event loop: a page that fails at once must not call
    // done inside Render.
    QMetaObject::invokeMethod(
        &Impl_->Context, [impl = Impl_.get()] { impl->StartNext(); }, Qt::QueuedConnection);
}

void WebPageRenderer::CancelAll() {
    Impl_->DropPages();
}

int WebPageRenderer::Pending() const {
    return int(Impl_->Queue.size() + Impl_->Running.size());
}

int WebPageRenderer::BlockedRequests() const {
    return Impl_->Blocker ? Impl_->Blocker->Blocked() : 0;
}
