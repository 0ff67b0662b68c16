#pragma once
// WebBrowser1: the hidden browser that loads search, staging and dictionary pages and gives
// their body's source and rendered text. No scripts run and no window is ever shown.
// Lives on the interface thread: transfers are polled from its event loop, so a load never
// blocks it, and every signal comes from that loop (also inside a nested one).
//
// Limits of a network load (defaultLimits; setLimits for others): 30 s to connect (TLS
// included); once connected, 60 s without a byte ends it; 300 s for the whole load,
// redirects included, however the bytes trickle in (navtout usually stops a slow page long
// before, but harvest code may switch it off); 256 KB of header lines per answer (what a
// browser takes); 64 MB of page after decoding, so a compressed bomb stops there too.
// The page cap cuts the page off as if the server had stopped; every other limit is a
// NavigateError.

#include "web/FetchLimits.h"
#include "web/RunAside.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

namespace larkspur {

class BrowserDocument : public QObject
{
    Q_OBJECT

  public:
    static constexpr int kNavigationTimeoutMs = 5000;

    explicit BrowserDocument(QObject* parent = nullptr);
    ~BrowserDocument() override;

    static FetchLimits defaultLimits();
    // For the next navigation on.
    void setLimits(const FetchLimits& limits) { m_limits = limits; }
    const FetchLimits& limits() const { return m_limits; }

    // Starts loading an "http://" or "https://" URL (redirects followed, browser-like
    // request headers, cookies kept for the life of this object), a "file://" URL, an
    // absolute local path, or "about:blank"; blanks and control characters at its ends are
    // dropped first, blanks inside are encoded. Drops a load that is still running. Returns at
    // once; NavigateComplete2 and DocumentComplete follow from the event loop, never from
    // inside this call. Throws std::runtime_error when the navigation cannot start: an
    // unsupported or malformed address, or a local file that cannot be read.
    void Navigate(const std::string& url);

    // Loads a page held in memory as the document at `location` (a page that could not be
    // staged in a file). Drops a running load; completes from the event loop as Navigate.
    void NavigateToPage(const std::string& location, std::string bytes);

    // Ends a running load. What has arrived stays readable; no DocumentComplete follows.
    void Stop();

    // Address of the current document (after redirects; "file:///..." for local files);
    // empty until a first navigation has completed.
    std::string LocationURL() const;

    // The body's source as the page spells it and the body's rendered text (CR LF line
    // breaks), both UTF-8 whatever the page's charset. While a page loads they give what has
    // arrived. Throw std::runtime_error when there is no document yet. They parse the page
    // in place unless whenRendered() was waited for.
    std::string innerHTML() const;
    std::string innerText() const;
    // Calls ready() once innerHTML and innerText need no parsing (before returning when they
    // need none now): a large page is parsed on a thread of its own meanwhile. A newer call
    // made before the parse ends replaces this one's ready().
    void whenRendered(std::function<void()> ready);

    // True from Navigate until the load completes, fails or is stopped.
    bool isLoading() const;

    // A page asks for a new window. Emits NewWindow2 with cancel set; whatever a handler
    // answers, no window is opened, and false ("not opened") is returned.
    bool requestNewWindow(const QString& url);

    // The 5 s timer, off at start: switched on when a navigation completes and off when its
    // document completes, a new navigation starts or Stop is called. When it fires it
    // switches itself off, stops the load and emits navtoutTimer, so that what has loaded
    // can be harvested. Harvest code may switch it off too.
    QTimer& navtout() { return m_navtout; }

  signals:
    // The server answered (after redirects) or the local file was opened: the new
    // document is current from now on, though it may still be loading.
    void NavigateComplete2(const QString& url);
    // The whole document has arrived (or the server ended the transfer early).
    void DocumentComplete(const QString& url);
    // A page asked for a new window; cancel starts out true.
    void NewWindow2(const QString& url, bool* cancel);
    // The navigation could not reach its page (no connection, bad certificate, too many
    // redirects, a limit ran out). An empty document at that address follows, with both
    // events above. Also when a page that began to arrive was broken off ("the server broke
    // off the answer after N bytes", a limit): what arrived stays, and DocumentComplete
    // follows.
    void NavigateError(const QString& url, const QString& message);
    // navtout fired and the load was stopped.
    void navtoutTimer();

  private:
    struct Load;

    void openTransfers(); // curl's handles, made for the first page from the network
    void startNetworkLoad(const std::string& url);
    void loadPage(const std::string& location, std::string bytes);
    void poll();
    void endLoad(int curlResult, std::string error);
    void commit(const std::string& location, std::string bytes, const std::string& charset);
    void finishLoad();
    void onNavigationTimeout();
    struct Rendered;
    std::shared_ptr<const Rendered> rendered() const;

    void* m_multi = nullptr;   // CURLM*
    void* m_easy = nullptr;    // CURL*, reused so cookies and connections carry over
    void* m_headers = nullptr; // curl_slist*
    void* m_share = nullptr;   // CURLSH*, holds the cookies
    bool m_curlStarted = false;
    std::unique_ptr<Load> m_load;
    quint64 m_generation = 0;
    QTimer m_poll;
    QTimer m_navtout;
    FetchLimits m_limits = defaultLimits();

    bool m_hasDocument = false;
    std::string m_location;
    std::string m_bytes;
    std::string m_headerCharset;
    mutable std::shared_ptr<Rendered> m_parsed; // dropped whenever m_bytes changes
    AsideLane m_renderLane{this};
};

} // namespace larkspur
