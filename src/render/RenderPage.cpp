#include "render/RenderPage.h"

#include <QUrl>
#include <QVariant>

#include <algorithm>
#include <cmath>

namespace {

// What is left of the time limit for reading the document once it is asked
// for: a page whose scripts do not answer within it is given up.
int GraceMs(int timeLimitMs) {
    return std::clamp(timeLimitMs / 5, 200, 2000);
}

// [requests in flight, ms since the last change, document height, window height]
// Follows the watch script, which installs itself here when the engine had
// not run it at the document's creation (a page process started under load
// may not have the profile's scripts yet): the page then counts as changed now.
const char* const kProbe = R"((function () {
  var w = window.__tessellonWatch, d = document.documentElement, b = document.body;
  var h = Math.max(d ? d.scrollHeight : 0, b ? b.scrollHeight : 0);
  return [w.busy, performance.now() - w.last, h, window.innerHeight];
})())";

const char* const kScroll = R"((function () {
  var d = document.documentElement, b = document.body;
  window.scrollTo(0, Math.max(d ? d.scrollHeight : 0, b ? b.scrollHeight : 0));
  // A page without a view is never drawn, so the engine sends no scroll
  // event of its own.
  window.dispatchEvent(new Event('scroll'));
  document.dispatchEvent(new Event('scroll'));
  if (window.__tessellonWatch) window.__tessellonWatch.last = performance.now();
})())";

const char* const kRead = R"((function () {
  var d = document.documentElement;
  return d ? '<!DOCTYPE html>\n' + d.outerHTML : '';
})())";

} // namespace

QString RenderPage::WatchScript() {
    // Runs before the page's own scripts. fetch and XHR are wrapped to count
    // what is in flight; a mutation observer notes the time of each change.
    return QStringLiteral(R"((function () {
  if (window.__tessellonWatch) return;
  var w = { busy: 0, last: performance.now() };
  Object.defineProperty(window, '__tessellonWatch', { value: w });
  function touch() { w.last = performance.now(); }
  function begin() { ++w.busy; touch(); var open = true;
    return function () { if (open) { open = false; --w.busy; touch(); } }; }
  if (window.fetch) {
    var fetch = window.fetch;
    window.fetch = function () {
      var end = begin();
      // In flight until the whole body is in, not only its headers.
      try {
        var p = fetch.apply(this, arguments);
        p.then(function (r) { try { r.clone().arrayBuffer().then(end, end); } catch (e) { end(); } },
               end);
        return p;
      }
      catch (e) { end(); throw e; }
    };
  }
  if (window.XMLHttpRequest) {
    var send = XMLHttpRequest.prototype.send;
    XMLHttpRequest.prototype.send = function () {
      var end = begin();
      this.addEventListener('loadend', end);
      try { return send.apply(this, arguments); } catch (e) { end(); throw e; }
    };
  }
  new MutationObserver(touch).observe(document,
    { childList: true, subtree: true, attributes: true, characterData: true });

  // The page has no view: the engine gives it a window of 0 x 0, never draws
  // it (no animation frames, no intersection reports) and calls it hidden.
  // Scripts are shown a visible window of 800 pixels over the document, the
  // last screen when scrolled to the end, with animation frames on a timer
  // and intersections computed against that window.
  var W = 1280, H = 800;
  function define(o, name, value) {
    try { Object.defineProperty(o, name, { get: function () { return value; }, configurable: true }); }
    catch (e) {}
  }
  define(window, 'innerWidth', W); define(window, 'innerHeight', H);
  define(document, 'visibilityState', 'visible'); define(document, 'hidden', false);
  window.requestAnimationFrame = function (cb) {
    return setTimeout(function () { cb(performance.now()); }, 16);
  };
  window.cancelAnimationFrame = function (id) { clearTimeout(id); };
  var observers = [];
  function screen() {
    var d = document.documentElement, b = document.body;
    var h = Math.max(d ? d.scrollHeight : 0, b ? b.scrollHeight : 0);
    var top = Math.max(0, Math.min(window.scrollY, h - H));
    return [top, top + H];
  }
  function check() {
    var s = screen();
    observers.slice().forEach(function (o) {
      var entries = [];
      o.items.forEach(function (it) {
        var r = it.target.getBoundingClientRect();
        var top = r.top + window.scrollY, bottom = r.bottom + window.scrollY;
        var hit = it.target.isConnected && bottom >= s[0] - o.margin && top <= s[1] + o.margin;
        if (hit === it.hit) return;
        it.hit = hit;
        entries.push({ target: it.target, isIntersecting: hit, intersectionRatio: hit ? 1 : 0,
                       boundingClientRect: r, intersectionRect: r, rootBounds: null,
                       time: performance.now() });
      });
      if (entries.length) o.callback.call(o, entries, o);
    });
  }
  function Observer(callback, options) {
    var m = /^\s*(-?[0-9.]+)px/.exec((options && options.rootMargin) || '');
    this.callback = callback; this.items = []; this.margin = m ? +m[1] : 0;
    this.root = null; this.rootMargin = (options && options.rootMargin) || '0px';
    this.thresholds = [0];
    observers.push(this);
  }
  Observer.prototype.observe = function (target) {
    if (!this.items.some(function (it) { return it.target === target; }))
      this.items.push({ target: target, hit: undefined });
    setTimeout(check, 0);
  };
  Observer.prototype.unobserve = function (target) {
    this.items = this.items.filter(function (it) { return it.target !== target; });
  };
  Observer.prototype.disconnect = function () { this.items = []; };
  Observer.prototype.takeRecords = function () { return []; };
  window.IntersectionObserver = Observer;
  window.addEventListener('scroll', function () { setTimeout(check, 0); }, true);
  setInterval(check, 250);
})();)");
}

QString RenderPage::ContentType(const std::string& html) {
    // Text that is not UTF-8 is left to the page's own charset declaration.
    const QByteArray bytes = QByteArray::fromRawData(html.data(), qsizetype(html.size()));
    return QString::fromUtf8(bytes).toUtf8() == bytes ? QStringLiteral("text/html;charset=UTF-8")
                                                      : QStringLiteral("text/html");
}

qsizetype RenderPage::LoadedSize(const std::string& html) {
    // The engine loads "data:<type>," and the percent-encoded bytes.
    return ContentType(html).size() + 6 +
           QByteArray::fromRawData(html.data(), qsizetype(html.size())).toPercentEncoding().size();
}

std::string RenderPage::Seconds(int ms) {
    if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
    const double s = std::round(ms / 100.0) / 10.0;
    std::string text = std::to_string(s);
    text.erase(text.find('.') + 2);
    return text + " s";
}

RenderPage::RenderPage(QWebEngineProfile* profile, Timing timing)
    : QWebEnginePage(profile), Timing_(timing) {
    Timing_.TimeLimitMs = std::max(Timing_.TimeLimitMs, 500);
    Poll_.setInterval(100);
    connect(&Poll_, &QTimer::timeout, this, [this] { Probe(); });
    Deadline_.setSingleShot(true);
    connect(&Deadline_, &QTimer::timeout, this, [this] {
        Read("page still changing after " + Seconds(Timing_.TimeLimitMs) + ": read as it stood");
    });
    GiveUpTimer_.setSingleShot(true);
    connect(&GiveUpTimer_, &QTimer::timeout, this, [this] { GiveUp(StuckProblem()); });
    connect(this, &QWebEnginePage::loadFinished, this, &RenderPage::Loaded);
    connect(this, &QWebEnginePage::renderProcessTerminated, this,
            [this] { GiveUp("the page's scripts stopped the browser engine: read as fetched"); });
}

RenderPage::~RenderPage() {
    *Alive_ = false;
}

void RenderPage::Start(const std::string& url, const std::string& html) {
    const qsizetype size = LoadedSize(html);
    if (size > kMaxLoadedSize) {
        // Handed back later, from the event loop, as every other answer.
        QTimer::singleShot(0, this, [this, size] {
            GiveUp("page too large for the browser engine (" + std::to_string(size / 1024) +
                   " KB encoded, at most " + std::to_string(kMaxLoadedSize / 1024) +
                   " KB): read as fetched");
        });
        return;
    }
    Deadline_.start(Timing_.TimeLimitMs - GraceMs(Timing_.TimeLimitMs));
    GiveUpTimer_.start(Timing_.TimeLimitMs);
    setContent(QByteArray(html.data(), qsizetype(html.size())), ContentType(html),
               QUrl(QString::fromStdString(url)));
}

bool RenderPage::acceptNavigationRequest(const QUrl&, NavigationType, bool isMainFrame) {
    // The fetched page is loaded once; a script that goes elsewhere would
    // leave the document being read.
    if (!isMainFrame) return true;
    if (Navigated_) return false;
    Navigated_ = true;
    return true;
}

void RenderPage::Loaded(bool ok) {
    if (Loaded_ || Done_) return;
    Loaded_ = true;
    if (!ok) {
        GiveUp("the browser engine could not load the page: read as fetched");
        return;
    }
    Poll_.start();
}

void RenderPage::Run(const QString& script, std::function<void(const QVariant&)> then) {
    std::weak_ptr<bool> alive = Alive_;
    runJavaScript(script, 0, [this, alive, then = std::move(then)](const QVariant& value) {
        const auto flag = alive.lock();
        if (!flag || !*flag || Done_) return;
        then(value);
    });
}

void RenderPage::Probe() {
    if (Asking_ || Reading_) return;
    Asking_ = true;
    static const QString probe = WatchScript() + QString::fromLatin1(kProbe);
    Run(probe, [this](const QVariant& state) { Probed(state); });
}

void RenderPage::Probed(const QVariant& state) {
    Asking_ = false;
    const QVariantList values = state.toList();
    if (values.size() != 4 || Reading_) return;
    const double busy = values[0].toDouble();
    const double idle = values[1].toDouble();
    const double height = values[2].toDouble();
    const double window = values[3].toDouble();
    if (busy > 0 || idle < Timing_.QuietMs) return;
    const bool fits = LastHeight_ < 0 && window > 0 && height <= window;
    if (fits || height <= LastHeight_ || Screens_ >= Timing_.MaxScreens) {
        Read({});
        return;
    }
    LastHeight_ = height;
    ++Screens_;
    Run(QString::fromLatin1(kScroll), [](const QVariant&) {});
}

void RenderPage::Read(const std::string& problem) {
    if (Reading_ || Done_) return;
    Reading_ = true;
    Poll_.stop();
    Deadline_.stop();
    Run(QString::fromLatin1(kRead), [this, problem](const QVariant& html) {
        // No text: the engine answered for a page process that went away
        // (it is shared with a stuck page of the same site, say).
        if (html.typeId() != QMetaType::QString) {
            GiveUp(problem.empty() ? "the browser engine could not read the page: read as fetched"
                                   : StuckProblem());
            return;
        }
        Finish({.Html = html.toString().toStdString(), .Problem = problem});
    });
}

std::string RenderPage::StuckProblem() const {
    return "scripts did not finish in " + Seconds(Timing_.TimeLimitMs) + ": read as fetched";
}

void RenderPage::Abandon() {
    Done_ = true;
    Poll_.stop();
    Deadline_.stop();
    GiveUpTimer_.stop();
}

void RenderPage::GiveUp(const std::string& problem) {
    Finish({.Html = {}, .Problem = problem});
}

void RenderPage::Finish(PageRenderer::Result result) {
    if (Done_) return;
    Abandon();
    // The owner may delete this page from inside the call: nothing after it.
    Finished_(std::move(result));
}
