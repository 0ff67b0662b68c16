#include "web/BrowserDocument.h"
#include "web/CallbackGuard.h"

#include "web/HtmlCharset.h"
#include "web/HtmlDocument.h"
#include "web/HttpUrl.h"
#include "web/MarkupBounds.h"
#include "web/RunAside.h"
#include "web/TlsTrust.h"

#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QUrl>

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace larkspur {

namespace {

constexpr int kPollIntervalMs = 5;
// Taken in one poll at most: a compressed page can unpack tens of megabytes from one read,
// which would hold the event loop for a noticeable time.
constexpr size_t kBytesPerPoll = 2u * 1024 * 1024;

CURLM* multiOf(void* p)
{
    return static_cast<CURLM*>(p);
}
CURL* easyOf(void* p)
{
    return static_cast<CURL*>(p);
}

bool startsWithNoCase(const std::string& text, std::string_view prefix)
{
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

// Browsers send these characters percent-encoded; curl would send them raw or refuse.
std::string escapeUnsafeUrlBytes(const std::string& url)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : url) {
        const auto b = static_cast<unsigned char>(ch);
        if (b <= 0x20 || b >= 0x7F || ch == '"' || ch == '<' || ch == '>' || ch == '`') {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

// The URL as curl will request it, or empty when it is not a valid http(s) URL.
std::string normalisedWebUrl(const std::string& url)
{
    CURLU* handle = curl_url();
    std::string result;
    if (curl_url_set(handle, CURLUPART_URL, escapeUnsafeUrlBytes(url).c_str(), 0) == CURLUE_OK) {
        char* scheme = nullptr;
        char* full = nullptr;
        if (curl_url_get(handle, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
            curl_url_get(handle, CURLUPART_URL, &full, 0) == CURLUE_OK) {
            const std::string s(scheme);
            if (s == "http" || s == "https") result = full;
        }
        curl_free(scheme);
        curl_free(full);
    }
    curl_url_cleanup(handle);
    return result;
}

std::string acceptLanguage()
{
    const QString tag = QLocale::system().bcp47Name();
    const std::string primary = tag.section(QLatin1Char('-'), 0, 0).toStdString();
    if (tag.isEmpty() || tag == QLatin1String("C") || primary == "en") return "en-US,en;q=0.5";
    return tag.toStdString() + "," + primary + ";q=0.8,en-US;q=0.5,en;q=0.3";
}

// curl takes 50 cookies from one answer but keeps them all, and sends at most 150 of a
// host, the oldest first: after a flood a site's newest cookies would never go back. Keep
// the newest 50 of each host, as browsers do. The store is shared so that fresh handles
// can put cookies back: a handle takes only 50 per transfer.
void pruneCookies(CURL* easy, CURLSH* share)
{
    constexpr size_t kPerHost = 50;
    curl_slist* all = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_COOKIELIST, &all) != CURLE_OK || !all) return;
    std::map<std::string, std::vector<const char*>> byHost; // oldest first, as curl lists them
    bool over = false;
    for (curl_slist* c = all; c; c = c->next) {
        std::string_view line(c->data);
        if (line.starts_with("#HttpOnly_")) line.remove_prefix(10);
        auto& cookies = byHost[std::string(line.substr(0, line.find('\t')))];
        cookies.push_back(c->data);
        over = over || cookies.size() > kPerHost;
    }
    if (over) {
        curl_easy_setopt(easy, CURLOPT_COOKIELIST, "ALL");
        for (const auto& [host, cookies] : byHost) {
            CURL* filler = curl_easy_init();
            if (!filler) break;
            curl_easy_setopt(filler, CURLOPT_SHARE, share);
            for (size_t i = cookies.size() > kPerHost ? cookies.size() - kPerHost : 0;
                 i < cookies.size(); ++i)
                curl_easy_setopt(filler, CURLOPT_COOKIELIST, cookies[i]);
            curl_easy_cleanup(filler);
        }
    }
    curl_slist_free_all(all);
}

std::string readLocalFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("Cannot open " + path);
    std::ostringstream data;
    data << in.rdbuf();
    if (in.bad()) throw std::runtime_error("Cannot read " + path);
    return data.str();
}

} // namespace

using SteadyClock = std::chrono::steady_clock;

struct BrowserDocument::Load
{
    FetchLimits limits;
    SteadyClock::time_point started = SteadyClock::now();
    SteadyClock::time_point lastByte = started;
    bool connected = false;
    size_t headerBytes = 0; // of the latest response
    bool headerTooLarge = false;
    size_t thisPoll = 0; // body bytes taken in the running poll
    bool paused = false;
    quint64 generation = 0;
    std::string requestedUrl;
    std::string bytes; // arrived and not yet handed to the document
    size_t totalBytes = 0;
    std::string contentType; // of the latest response
    int status = 0;          // of the latest response
    bool hasLocation = false;
    bool headersFinal = false;
    bool committed = false;
    bool truncated = false;
    char errorText[CURL_ERROR_SIZE] = {};
    std::exception_ptr callbackFailure; // an error inside a curl callback

    static size_t onBody(char* data, size_t size, size_t count, void* user)
    {
        auto* load = static_cast<Load*>(user);
        return guardedCallback<size_t>(0, load->callbackFailure,
                                       [&] { return load->takeBody(data, size * count); });
    }

    size_t takeBody(char* data, size_t n)
    {
        Load* load = this;
        load->lastByte = SteadyClock::now();
        if (load->thisPoll >= kBytesPerPoll) {
            load->paused = true;
            return CURL_WRITEFUNC_PAUSE; // curl keeps the data for the next poll
        }
        load->thisPoll += n;
        if (load->totalBytes + n > load->limits.bodyBytes) {
            const size_t fits = load->limits.bodyBytes - load->totalBytes;
            load->bytes.append(data, fits);
            load->totalBytes += fits;
            load->truncated = true;
            return 0; // ends the transfer
        }
        load->bytes.append(data, n);
        load->totalBytes += n;
        return n;
    }

    static size_t onHeader(char* data, size_t size, size_t count, void* user)
    {
        auto* load = static_cast<Load*>(user);
        return guardedCallback<size_t>(0, load->callbackFailure,
                                       [&] { return load->takeHeader(data, size * count); });
    }

    size_t takeHeader(char* data, size_t n)
    {
        Load* load = this;
        load->lastByte = SteadyClock::now();
        const std::string line(data, n);
        if (startsWithNoCase(line, "http/")) load->headerBytes = 0;
        load->headerBytes += n;
        if (load->headerBytes > load->limits.headerBytes) {
            load->headerTooLarge = true;
            return 0;
        }
        if (startsWithNoCase(line, "http/")) {
            // A new response begins (after a redirect or an interim answer).
            load->contentType.clear();
            load->hasLocation = false;
            const size_t space = line.find(' ');
            load->status = space == std::string::npos ? 0 : std::atoi(line.c_str() + space + 1);
        } else if (startsWithNoCase(line, "content-type:")) {
            load->contentType = line.substr(13);
        } else if (startsWithNoCase(line, "location:")) {
            load->hasLocation = true;
        } else if (line == "\r\n" || line == "\n") {
            // Interim answers and redirects that curl follows are not the page yet.
            const bool interim = load->status >= 100 && load->status < 200;
            const bool followed = load->status >= 300 && load->status < 400 && load->hasLocation;
            if (!interim && !followed) load->headersFinal = true;
        }
        return n;
    }

    // Connected (or a kept connection reused): silence counts from here.
    static int onConnected(void* user, char*, char*, int, int)
    {
        auto* load = static_cast<Load*>(user);
        load->connected = true;
        load->lastByte = SteadyClock::now();
        return CURL_PREREQFUNC_OK;
    }

    // Why the transfer failed, as NavigateError says it; empty when it did not.
    std::string failure(CURLcode result) const
    {
        if (callbackFailure) {
            try {
                std::rethrow_exception(callbackFailure);
            } catch (const std::exception& e) {
                return e.what();
            } catch (...) {
                return "The page could not be taken.";
            }
        }
        if (result == CURLE_OK || truncated) return {}; // the page cap keeps what came
        // curl refuses a single line over 100 KB as "out of memory" before we see it.
        if (headerTooLarge || (result == CURLE_OUT_OF_MEMORY && !headersFinal))
            return "The server's header lines exceed " + limitText(limits.headerBytes) + ".";
        const std::string detail = errorText[0] ? errorText : curl_easy_strerror(result);
        if (!headersFinal) return detail;
        return "The server broke off the answer after " + std::to_string(totalBytes) + " bytes (" +
               detail + ").";
    }

    CURL* easy = nullptr;
};

BrowserDocument::BrowserDocument(QObject* parent) : QObject(parent)
{
    m_poll.setInterval(kPollIntervalMs);
    connect(&m_poll, &QTimer::timeout, this, &BrowserDocument::poll);
    m_navtout.setInterval(kNavigationTimeoutMs);
    m_navtout.setTimerType(Qt::PreciseTimer); // a coarse timer may fire a quarter second early
    m_navtout.setSingleShot(false);
    connect(&m_navtout, &QTimer::timeout, this, &BrowserDocument::onNavigationTimeout);
}

// curl starts its TLS library when it is set up, which costs megabytes: only a page from the
// network needs it.
void BrowserDocument::openTransfers()
{
    if (m_easy) return;
    if (!m_curlStarted) curl_global_init(CURL_GLOBAL_DEFAULT);
    m_curlStarted = true;
    m_multi = curl_multi_init();
    m_easy = curl_easy_init();
    m_share = curl_share_init();
    if (!m_multi || !m_easy || !m_share) {
        if (m_easy) curl_easy_cleanup(easyOf(m_easy));
        if (m_share) curl_share_cleanup(static_cast<CURLSH*>(m_share));
        if (m_multi) curl_multi_cleanup(multiOf(m_multi));
        m_easy = m_share = m_multi = nullptr;
        throw std::runtime_error("Cannot set up the browser's transfers");
    }
    const std::string language = "Accept-Language: " + acceptLanguage();
    curl_slist* headers = nullptr;
    headers = curl_slist_append(
        headers, "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8");
    headers = curl_slist_append(headers, language.c_str());
    headers = curl_slist_append(headers, "Upgrade-Insecure-Requests: 1");
    m_headers = headers;

    CURL* easy = easyOf(m_easy);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 20L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT,
                     "Mozilla/5.0 (X11; Linux x86_64; rv:115.0) Gecko/20100101 Firefox/115.0");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, ""); // every encoding curl can decode
    // A read is unpacked at once: a small one keeps a compressed bomb's bursts short.
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 4096L);
    curl_share_setopt(static_cast<CURLSH*>(m_share), CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    curl_easy_setopt(easy, CURLOPT_SHARE, m_share);
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, ""); // cookies in memory only
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &Load::onConnected);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXAGE_CONN, kConnectionReuseSeconds);
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Load::onBody);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Load::onHeader);
    useSharedTrust(easy);
}

FetchLimits BrowserDocument::defaultLimits()
{
    using namespace std::chrono_literals;
    return {30s, 60s, 300s, 256 * 1024, 64 * 1024 * 1024};
}

BrowserDocument::~BrowserDocument()
{
    finishLoad();
    if (m_easy) curl_easy_cleanup(easyOf(m_easy));
    if (m_share) curl_share_cleanup(static_cast<CURLSH*>(m_share));
    if (m_multi) curl_multi_cleanup(multiOf(m_multi));
    curl_slist_free_all(static_cast<curl_slist*>(m_headers));
    if (m_curlStarted) curl_global_cleanup();
}

void BrowserDocument::Navigate(const std::string& address)
{
    // Browsers drop blanks and control characters around an address before anything else.
    const std::string url(trimUrlEnds(address));
    std::string localPath;
    std::string webUrl;
    if (startsWithNoCase(url, "http://") || startsWithNoCase(url, "https://")) {
        webUrl = normalisedWebUrl(url);
        if (webUrl.empty()) throw std::runtime_error("Cannot navigate to " + url);
    } else if (startsWithNoCase(url, "file:")) {
        const QUrl fileUrl(QString::fromStdString(url));
        if (!fileUrl.isLocalFile()) throw std::runtime_error("Cannot navigate to " + url);
        localPath = fileUrl.toLocalFile().toStdString();
    } else if (!url.empty() && url.front() == '/') {
        localPath = url;
    } else if (url != "about:blank") {
        throw std::runtime_error("Cannot navigate to " + url);
    }

    // Read before dropping the running load, so a failure leaves everything as it was.
    std::string fileBytes;
    if (!localPath.empty()) fileBytes = readLocalFile(localPath);

    finishLoad();
    m_navtout.stop(); // it belonged to the dropped load
    ++m_generation;

    if (!webUrl.empty()) {
        startNetworkLoad(webUrl);
        return;
    }
    const std::string location =
        localPath.empty()
            ? url
            : QUrl::fromLocalFile(QFileInfo(QString::fromStdString(localPath)).absoluteFilePath())
                  .toString(QUrl::FullyEncoded)
                  .toStdString();
    loadPage(location, std::move(fileBytes));
}

void BrowserDocument::NavigateToPage(const std::string& location, std::string bytes)
{
    finishLoad();
    m_navtout.stop();
    ++m_generation;
    loadPage(location, std::move(bytes));
}

void BrowserDocument::loadPage(const std::string& location, std::string bytes)
{
    const quint64 generation = m_generation;
    auto pending = std::make_unique<Load>();
    pending->generation = generation;
    pending->requestedUrl = location;
    m_load = std::move(pending);
    // Local pages complete from the event loop, as network pages do.
    QTimer::singleShot(0, this,
                       [this, generation, location, bytes = std::move(bytes)]() mutable {
                           if (!m_load || m_load->generation != generation) return;
                           m_load.reset();
                           QPointer<BrowserDocument> self(this);
                           commit(location, std::move(bytes), {});
                           if (!self || m_generation != generation) return;
                           m_navtout.stop();
                           emit DocumentComplete(QString::fromStdString(m_location));
                       });
}

void BrowserDocument::startNetworkLoad(const std::string& url)
{
    openTransfers();
    auto load = std::make_unique<Load>();
    load->limits = m_limits;
    load->generation = m_generation;
    load->requestedUrl = url;
    load->easy = easyOf(m_easy);

    // The rest of the options stay as the constructor set them; the handle keeps its
    // cookies and connections from one navigation to the next.
    CURL* easy = easyOf(m_easy);
    pruneCookies(easy, static_cast<CURLSH*>(m_share));
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, load->errorText);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, load.get());
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, load.get());
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, load.get());
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_limits.connect.count()));
    // The trust store is read aside; poll starts connecting once it is there.
    if (url.starts_with("https:")) preloadTrust();
    if (curl_multi_add_handle(multiOf(m_multi), easy) != CURLM_OK)
        throw std::runtime_error("Cannot navigate to " + url);
    m_load = std::move(load);
    m_poll.start();
}

void BrowserDocument::finishLoad()
{
    if (m_load && m_load->easy) {
        curl_multi_remove_handle(multiOf(m_multi), easyOf(m_easy));
        // The buffer dies with the load; curl must not write into it afterwards.
        curl_easy_setopt(easyOf(m_easy), CURLOPT_ERRORBUFFER, nullptr);
    }
    m_load.reset();
    m_poll.stop();
}

void BrowserDocument::Stop()
{
    finishLoad();
    m_navtout.stop();
}

bool BrowserDocument::isLoading() const
{
    return m_load != nullptr;
}

void BrowserDocument::commit(const std::string& location, std::string bytes,
                             const std::string& charset)
{
    m_location = location;
    m_bytes = std::move(bytes);
    m_headerCharset = charset;
    m_hasDocument = true;
    m_parsed.reset();
    m_navtout.start();
    emit NavigateComplete2(QString::fromStdString(m_location));
}

void BrowserDocument::poll()
{
    if (!m_load || !m_load->easy || !trustReady()) return;
    m_load->thisPoll = 0;
    if (m_load->paused) {
        m_load->paused = false;
        curl_easy_pause(easyOf(m_easy), CURLPAUSE_CONT);
    }
    // Small reads keep each step short; several steps fit in one poll while data flows.
    const auto pollStart = SteadyClock::now();
    for (;;) {
        const size_t before = m_load->totalBytes;
        int running = 0;
        curl_multi_perform(multiOf(m_multi), &running);
        if (m_load->paused || m_load->totalBytes == before || running == 0 ||
            SteadyClock::now() - pollStart >= std::chrono::milliseconds(kPollIntervalMs))
            break;
    }

    const quint64 generation = m_generation;
    QPointer<BrowserDocument> self(this);
    Load& load = *m_load;
    CURL* easy = easyOf(m_easy);

    if (!load.committed && load.headersFinal) {
        load.committed = true;
        char* effective = nullptr;
        curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
        std::string arrived;
        arrived.swap(load.bytes);
        // Room for the whole page at once: growing a large string copies it each time.
        curl_off_t length = -1;
        curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        if (length > 0)
            arrived.reserve(std::min(static_cast<size_t>(length), load.limits.bodyBytes));
        commit(effective ? effective : load.requestedUrl, std::move(arrived),
               charsetFromContentType(load.contentType));
        if (!self || m_generation != generation || !m_load) return; // a handler moved on
    }
    if (load.committed && !load.bytes.empty()) {
        m_bytes += load.bytes;
        load.bytes.clear();
        m_parsed.reset();
    }

    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multiOf(m_multi), &queued)) {
        if (message->msg != CURLMSG_DONE || message->easy_handle != easy) continue;
        endLoad(message->data.result, {});
        return;
    }
    // curl stops only a slow connect; silence and dripping are stopped here.
    const auto now = SteadyClock::now();
    if (load.connected && now - load.lastByte >= load.limits.idle)
        endLoad(CURLE_OPERATION_TIMEDOUT,
                "No data from the server for " + limitText(load.limits.idle) + ".");
    else if (now - load.started >= load.limits.total)
        endLoad(CURLE_OPERATION_TIMEDOUT,
                "The page took longer than " + limitText(load.limits.total) + " to load.");
}

void BrowserDocument::endLoad(int curlResult, std::string error)
{
    const auto result = static_cast<CURLcode>(curlResult);
    const quint64 generation = m_generation;
    QPointer<BrowserDocument> self(this);
    Load& load = *m_load;
    CURL* easy = easyOf(m_easy);
    const bool committed = load.committed;
    // An answer that began keeps what came, even when it broke off.
    const bool keep = result == CURLE_OK || load.headersFinal;
    char* effective = nullptr;
    curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
    const std::string url = effective ? effective : load.requestedUrl;
    std::string arrived;
    arrived.swap(load.bytes);
    const std::string charset = charsetFromContentType(load.contentType);
    if (error.empty()) error = load.failure(result);
    finishLoad();
    if (!error.empty()) {
        emit NavigateError(QString::fromStdString(url), QString::fromStdString(error));
        if (!self || m_generation != generation) return;
    }
    if (!committed) {
        commit(url, keep ? std::move(arrived) : std::string(), charset);
        if (!self || m_generation != generation) return;
    }
    m_navtout.stop();
    emit DocumentComplete(QString::fromStdString(m_location));
}

void BrowserDocument::onNavigationTimeout()
{
    m_navtout.stop();
    Stop();
    emit navtoutTimer();
}

std::string BrowserDocument::LocationURL() const
{
    return m_location;
}

struct BrowserDocument::Rendered
{
    bool ready = false;
    std::string html;
    std::string text;
};

namespace {

// The page as a browser shows it; `bytes` at most the markup's bound.
void render(const std::string& bytes, const std::string& charset, std::string& html,
            std::string& text)
{
    const HtmlDocument document(bytes, charset);
    html = document.bodyInnerHtml();
    text = document.bodyInnerText();
}

} // namespace

std::shared_ptr<const BrowserDocument::Rendered> BrowserDocument::rendered() const
{
    if (!m_hasDocument) throw std::runtime_error("The browser has no document");
    if (m_parsed && m_parsed->ready) return m_parsed;
    auto job = std::make_shared<Rendered>();
    render(m_bytes.substr(0, MarkupBounds{}.maxBytes), m_headerCharset, job->html, job->text);
    job->ready = true;
    m_parsed = job;
    return job;
}

void BrowserDocument::whenRendered(std::function<void()> ready)
{
    if (!m_hasDocument || (m_parsed && m_parsed->ready)) return ready();
    // A handler run meanwhile may change the page (m_parsed is dropped then, and the new page
    // is parsed in its turn); the job copies only what the document reads.
    auto job = std::make_shared<Rendered>();
    m_parsed = job;
    m_renderLane.run(
        m_bytes.size(),
        [job, bytes = m_bytes.substr(0, MarkupBounds{}.maxBytes), charset = m_headerCharset] {
            render(bytes, charset, job->html, job->text);
            return true;
        },
        [this, job, ready = std::move(ready)](AsideResult<bool> done) {
            if (done.failed()) {
                if (m_parsed == job) m_parsed.reset(); // the readers say why
                return ready();
            }
            job->ready = true;
            if (m_parsed != job) return whenRendered(ready);
            ready();
        });
}

std::string BrowserDocument::innerHTML() const
{
    return rendered()->html;
}

std::string BrowserDocument::innerText() const
{
    return rendered()->text;
}

bool BrowserDocument::requestNewWindow(const QString& url)
{
    bool cancel = true;
    emit NewWindow2(url, &cancel);
    return false;
}

} // namespace larkspur
