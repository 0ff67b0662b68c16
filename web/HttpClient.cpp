#include "web/HttpClient.h"
#include "web/NestedWait.h"
#include "web/CallbackGuard.h"

#include "web/HttpCookieJar.h"
#include "web/HttpCurlMulti.h"
#include "web/HttpUrl.h"
#include "web/TlsTrust.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <curl/curl.h>
#include <netdb.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <vector>

namespace larkspur {

namespace {

constexpr std::size_t kMaxLineLength = 16384;
constexpr int kErrorPageWaitMs = 2000;
constexpr long kReceiveBufferBytes = 100 * 1024;
// Taken in one turn of the event loop at most: curl reads on while the socket has data, and
// a fast server would otherwise hold the loop for a whole large body.
constexpr std::size_t kBytesPerTurn = 2 * 1024 * 1024;
// What every fetch has sent so far; sites tuned to it must keep getting it.
constexpr std::string_view kUsualUserAgent = "Mozilla/3.0 (compatible; Indy Library)";

const char* const kClosedText = "Connection Closed Gracefully.";

std::string socketErrorText(int code, const char* text)
{
    return "Socket Error # " + std::to_string(code) + "\r\n" + text;
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool containsNoCase(std::string_view text, std::string_view word)
{
    return std::search(text.begin(), text.end(), word.begin(), word.end(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           }) != text.end();
}

// The number after the first blank of a status line; -1 when there is none.
int statusCode(std::string_view statusLine)
{
    const auto blank = statusLine.find(' ');
    if (blank == std::string_view::npos) return -1;
    std::string_view rest = statusLine.substr(blank + 1);
    int code = 0;
    std::size_t digits = 0;
    while (digits < rest.size() && digits < 9 && rest[digits] >= '0' && rest[digits] <= '9')
        code = code * 10 + (rest[digits++] - '0');
    return digits ? code : -1;
}

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

// One Get from start to end. Lives on the stack of its Get; callbacks hold its address.
struct Transfer
{
    HttpUrl url;
    FetchGroup group = FetchGroup::Default;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    HttpCookieJar* cookies = nullptr;
    FetchLimits limits;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    // The answer as it arrives.
    bool inHead = false;
    bool headersDone = false;
    int code = 0;
    std::string statusLine;
    bool location = false;
    bool chunked = false;
    bool lengthKnown = false;
    bool refused = false;
    bool lineTooLong = false;
    std::exception_ptr failure; // an error inside a curl callback, rethrown once curl is out
    std::size_t headerBytes = 0; // of every answer of this fetch
    std::string contentType;
    std::string retryAfter; // of a refused answer, as it came
    std::string body;
    enum class Limit { None, Header, Body, Idle, Total } limitHit = Limit::None;

    // How it ended.
    bool finished = false;
    bool cancelled = false;
    CURLcode result = CURLE_OK;
    long osError = 0;
    QEventLoop loop;
    QTimer errorPageTimer;
    QTimer idleTimer;
    QTimer totalTimer;
    QTimer turnTimer; // ends the turn: the budget starts anew and a paused body goes on
    std::size_t turnBytes = 0;
    bool paused = false;

    ~Transfer()
    {
        if (headers) curl_slist_free_all(headers);
    }

    void finish()
    {
        finished = true;
        errorPageTimer.stop();
        idleTimer.stop();
        totalTimer.stop();
        turnTimer.stop();
        loop.quit();
    }

    void startAnswer(std::string_view line)
    {
        inHead = true;
        statusLine = std::string(line);
        code = statusCode(line);
        location = chunked = lengthKnown = false;
        contentType.clear();
        retryAfter.clear();
        body.clear();
    }

    void header(std::string_view line)
    {
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) return;
        const std::string_view name = trim(line.substr(0, colon));
        const std::string_view value = trim(line.substr(colon + 1));
        const bool https = url.scheme == "https";
        if (equalsNoCase(name, "Set-Cookie")) {
            cookies->storeSetCookie(url.host, value, https, std::time(nullptr));
        } else if (equalsNoCase(name, "Set-Cookie2")) {
            cookies->storeSetCookie2(url.host, value, https, std::time(nullptr));
        } else if (equalsNoCase(name, "Location")) {
            location = true;
        } else if (equalsNoCase(name, "Transfer-Encoding")) {
            chunked = chunked || containsNoCase(value, "chunked");
        } else if (equalsNoCase(name, "Content-Length")) {
            lengthKnown = true;
            // Room for the whole body at once: growing a large string copies it each time,
            // holding the event loop. Pages not yet written to cost no memory.
            std::size_t length = 0;
            const auto [end, ec] =
                std::from_chars(value.data(), value.data() + value.size(), length);
            if (ec == std::errc() && end == value.data() + value.size())
                body.reserve(std::min(length, limits.bodyBytes));
        } else if (equalsNoCase(name, "Retry-After")) {
            retryAfter = std::string(value.substr(0, value.find_first_of("\r\n")));
        } else if (equalsNoCase(name, "Content-Type")) {
            // A stray CR inside the value ends it, as it ends the line for most readers.
            contentType = std::string(value.substr(0, value.find_first_of("\r\n")));
        } else if ((equalsNoCase(name, "Connection") || equalsNoCase(name, "Proxy-Connection")) &&
                   equalsNoCase(value, "close")) {
            // curl closes on "Connection: close" by itself, but not on the proxy variant.
            curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
        }
    }

    void endOfHead()
    {
        inHead = false;
        if (code >= 100 && code < 200) return; // an interim answer; the real one follows
        headersDone = true;
        refused = code < 200 || code > 299 || location;
        if (refused) {
            errorPageTimer.start(kErrorPageWaitMs);
        }
    }

    static size_t onHeader(char* data, size_t size, size_t count, void* self)
    {
        auto* t = static_cast<Transfer*>(self);
        return guardedCallback<size_t>(0, t->failure, [&] { return t->takeHeader(data, size * count); });
    }

    size_t takeHeader(char* data, size_t bytes)
    {
        auto* t = this;
        std::string_view line(data, bytes);
        if (line.ends_with('\n')) line.remove_suffix(1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        t->idleTimer.start();
        if (line.size() > kMaxLineLength) {
            t->lineTooLong = true;
            return 0;
        }
        t->headerBytes += bytes;
        if (t->headerBytes > t->limits.headerBytes) {
            t->limitHit = Limit::Header;
            return 0;
        }
        if (t->headersDone) return bytes; // trailers after a chunked body
        if (!t->inHead)
            t->startAnswer(line);
        else if (line.empty())
            t->endOfHead();
        else
            t->header(line);
        return bytes;
    }

    static size_t onBody(char* data, size_t size, size_t count, void* self)
    {
        auto* t = static_cast<Transfer*>(self);
        return guardedCallback<size_t>(0, t->failure, [&] { return t->takeBody(data, size, count); });
    }

    size_t takeBody(char* data, size_t size, size_t count)
    {
        auto* t = this;
        t->idleTimer.start();
        if (!t->turnTimer.isActive()) t->turnTimer.start();
        if (t->turnBytes >= kBytesPerTurn) {
            t->paused = true;
            return CURL_WRITEFUNC_PAUSE; // curl keeps the data until the next turn
        }
        t->turnBytes += size * count;
        if (t->body.size() + size * count > t->limits.bodyBytes) {
            t->limitHit = Limit::Body;
            return 0;
        }
        t->body.append(data, size * count);
        return size * count;
    }

    // The connection is up (or a kept one is reused): from now on silence counts.
    static int onConnected(void* self, char*, char*, int, int)
    {
        static_cast<Transfer*>(self)->idleTimer.start();
        return CURL_PREREQFUNC_OK;
    }

    // The body, or the failure as the user sees it.
    std::string outcome()
    {
        if (failure) std::rethrow_exception(failure);
        if (lineTooLong) throw HttpError("Max line length exceeded.");
        if (limitHit == Limit::Header)
            throw HttpError("The answer's header lines exceed " + limitText(limits.headerBytes) +
                            ".");
        if (headersDone && refused) throw HttpError(statusLine, code, std::move(body), retryAfter);
        switch (limitHit) {
        case Limit::Body:
            throw HttpError("The answer is larger than " + limitText(limits.bodyBytes) + ".");
        case Limit::Idle:
            throw HttpError("Read timed out (no data for " + limitText(limits.idle) + ").");
        case Limit::Total:
            throw HttpError("The answer took longer than " + limitText(limits.total) + ".");
        default:
            break;
        }
        if (cancelled) {
            // A body read to a known length or to the connection's end keeps what came.
            if (headersDone && !chunked) return std::move(body);
            throw HttpError(kClosedText);
        }
        switch (result) {
        case CURLE_OK:
            if (!headersDone) throw HttpError(kClosedText);
            return std::move(body);
        case CURLE_PARTIAL_FILE:
            if (headersDone && !chunked && lengthKnown) return std::move(body);
            throw HttpError(kClosedText);
        case CURLE_GOT_NOTHING:
            throw HttpError(kClosedText);
        case CURLE_OPERATION_TIMEDOUT:
            // Our own timers end the other waits, so only the connect limit is curl's.
            throw HttpError("Connect timed out.");
        case CURLE_COULDNT_RESOLVE_HOST:
            throw HttpError(socketErrorText(EAI_NONAME, gai_strerror(EAI_NONAME)));
        case CURLE_OUT_OF_MEMORY:
            // curl's own limit on a header line is far above ours.
            if (!headersDone) throw HttpError("Max line length exceeded.");
            break;
        case CURLE_COULDNT_CONNECT:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
            if (osError != 0)
                throw HttpError(socketErrorText(static_cast<int>(osError),
                                                std::strerror(static_cast<int>(osError))));
            if (result == CURLE_RECV_ERROR && !headersDone) throw HttpError(kClosedText);
            if (result == CURLE_RECV_ERROR)
                throw HttpError("The server broke off the answer after " +
                                std::to_string(body.size()) + " bytes (" +
                                (errorBuffer[0] ? errorBuffer : curl_easy_strerror(result)) + ").");
            break;
        default:
            break;
        }
        throw HttpError(errorBuffer[0] ? errorBuffer : curl_easy_strerror(result));
    }
};

// The first https fetch of the process waits here, in its own loop, while the trust store
// is read on another thread: reading it on this one would hold the window.
static void awaitTrust(Transfer& t)
{
    preloadTrust();
    if (trustReady()) return;
    QTimer check;
    check.setInterval(2);
    QObject::connect(&check, &QTimer::timeout, &t.loop, [&t] {
        if (trustReady()) t.loop.quit();
    });
    check.start();
    const NestedWait nested;
    while (!t.finished && !trustReady())
        t.loop.exec();
}

struct HttpClient::Impl
{
    FetchLimits limits;
    std::unique_ptr<HttpCurlMulti> multi;
    std::string connectionKey; // where the kept connection (if any) goes
    HttpCookieJar cookies;
    std::vector<Transfer*> waiting;
    CURL* spareEasy = nullptr;

    ~Impl()
    {
        multi.reset();
        if (spareEasy) curl_easy_cleanup(spareEasy);
    }

    void cancel(Transfer& t)
    {
        if (t.finished) return;
        if (multi) multi->remove(t.easy);
        t.cancelled = true;
        t.finish();
    }

    void disconnect()
    {
        const std::vector<Transfer*> all = waiting;
        for (Transfer* t : all)
            cancel(*t);
        multi.reset();
        connectionKey.clear();
    }

    void disconnect(FetchGroup group)
    {
        const std::vector<Transfer*> all = waiting;
        for (Transfer* t : all)
            if (t->group == group) cancel(*t);
        // Dropping the multi handle would abandon the other groups' transfers; the idle kept
        // connection goes only when nobody else is using the handle.
        if (multi && !multi->busy()) {
            multi.reset();
            connectionKey.clear();
        }
    }
};

HttpClient::HttpClient(FetchLimits limits) : m_impl(std::make_shared<Impl>())
{
    m_impl->limits = limits; // curl starts with the first Get: it maps megabytes
}

FetchLimits HttpClient::defaultLimits()
{
    using namespace std::chrono_literals;
    return {120s, 60s, 300s, 256 * 1024, 64 * 1024 * 1024};
}

const FetchLimits& HttpClient::limits() const
{
    return m_impl->limits;
}

HttpClient::~HttpClient()
{
    m_impl->disconnect();
}

void HttpClient::Disconnect()
{
    m_impl->disconnect();
}

void HttpClient::Disconnect(FetchGroup group)
{
    m_impl->disconnect(group);
}

HttpPage HttpClient::GetPage(const std::string& text, FetchGroup group)
{
    HttpRequest request;
    request.url = text;
    request.group = group;
    return Fetch(request);
}

HttpPage HttpClient::Fetch(const HttpRequest& request)
{
    const std::string& text = request.url;
    const FetchGroup group = request.group;
    if (!QCoreApplication::instance())
        throw std::logic_error("HttpClient::GetPage needs a QCoreApplication");
    // Kept alive here: a nested handler may destroy the client while this call waits.
    const std::shared_ptr<Impl> impl = m_impl;

    const HttpUrlResult parsed = parseHttpUrl(text);
    if (parsed.unknownScheme) throw HttpError("Unknown Protocol");
    if (parsed.relative) throw HttpError("Not an absolute http or https URL");
    if (!parsed.url) throw HttpError(socketErrorText(EAI_NONAME, gai_strerror(EAI_NONAME)));
    // A line break would start a header of the caller's making.
    if (request.userAgent.find_first_of("\r\n") != std::string::npos)
        throw HttpError("Invalid User-Agent");
    for (const std::string& line : request.headers)
        if (line.find_first_of("\r\n") != std::string::npos || line.find(':') == std::string::npos)
            throw HttpError("Invalid header line");
    if (request.contentType.find_first_of("\r\n") != std::string::npos)
        throw HttpError("Invalid Content-Type");

    Transfer t;
    t.url = *parsed.url;
    t.group = group;
    t.cookies = &impl->cookies;
    t.limits = impl->limits;
    initCurlOnce();
    t.easy = impl->spareEasy ? std::exchange(impl->spareEasy, nullptr) : curl_easy_init();
    if (!t.easy) throw HttpError("Out of memory");
    QObject::connect(&t.errorPageTimer, &QTimer::timeout, &t.errorPageTimer,
                     [&t, &impl] { impl->cancel(t); });
    t.errorPageTimer.setSingleShot(true);
    const auto stopAt = [&t, &impl](QTimer& timer, std::chrono::milliseconds limit,
                                    Transfer::Limit which) {
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer); // a coarse one may fire 5 % early
        timer.setInterval(limit);
        QObject::connect(&timer, &QTimer::timeout, &timer, [&t, &impl, which] {
            t.limitHit = which;
            impl->cancel(t);
        });
    };
    stopAt(t.idleTimer, t.limits.idle, Transfer::Limit::Idle);
    t.turnTimer.setSingleShot(true);
    t.turnTimer.setInterval(0);
    QObject::connect(&t.turnTimer, &QTimer::timeout, &t.turnTimer, [&t] {
        t.turnBytes = 0;
        if (t.paused && !t.finished) {
            t.paused = false;
            curl_easy_pause(t.easy, CURLPAUSE_CONT);
        }
    });
    stopAt(t.totalTimer, t.limits.total, Transfer::Limit::Total);

    const bool https = t.url.scheme == "https";
    t.headers = curl_slist_append(t.headers, ("Host: " + t.url.hostHeader()).c_str());
    t.headers = curl_slist_append(t.headers, "Accept: text/html, */*");
    const std::string agent =
        request.userAgent.empty() ? std::string(kUsualUserAgent) : request.userAgent;
    t.headers = curl_slist_append(t.headers, ("User-Agent: " + agent).c_str());
    const std::string cookie = impl->cookies.headerFor(t.url.host, https, std::time(nullptr));
    if (!cookie.empty()) t.headers = curl_slist_append(t.headers, ("Cookie: " + cookie).c_str());
    if (request.post) {
        t.headers = curl_slist_append(t.headers, ("Content-Type: " + request.contentType).c_str());
        t.headers = curl_slist_append(t.headers, "Expect:"); // the body goes at once
    }
    for (const std::string& line : request.headers)
        t.headers = curl_slist_append(t.headers, line.c_str());

    // Only the host and port come from this URL; the request target is sent verbatim.
    const std::string origin = t.url.scheme + "://" + t.url.host + ":" + std::to_string(t.url.port);
    CURL* e = t.easy;
    curl_easy_setopt(e, CURLOPT_URL, (origin + "/").c_str());
    curl_easy_setopt(e, CURLOPT_REQUEST_TARGET, t.url.target.c_str());
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, t.headers);
    if (request.post) { // the handle is used again: a GET after it must be a GET
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, request.body.data());
    } else {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_PROXY, ""); // direct, whatever the environment says
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(t.limits.connect.count()));
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &Transfer::onConnected);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, &t);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 0L);
    curl_easy_setopt(e, CURLOPT_MAXAGE_CONN, kConnectionReuseSeconds);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t.errorBuffer);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Transfer::onBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
    useSharedTrust(e);

    impl->waiting.push_back(&t);
    t.totalTimer.start();
    if (https) awaitTrust(t);
    if (!t.finished) {
        // A kept connection to another host or port is closed before connecting anew.
        if (impl->multi && !impl->multi->busy() && impl->connectionKey != t.url.connectionKey())
            impl->multi.reset();
        if (!impl->multi) impl->multi = std::make_unique<HttpCurlMulti>();
        impl->multi->add(e, [&t, &impl](CURLcode result) {
            // Only one idle connection is kept: the one of the fetch that ended last.
            impl->connectionKey = t.url.connectionKey();
            t.result = result;
            t.finish();
        });
    }

    const NestedWait nested;
    while (!t.finished) {
        t.loop.exec();
        // Leaving without an answer means the application is quitting: stop waiting.
        if (!t.finished) impl->cancel(t);
    }

    std::erase(impl->waiting, &t);
    curl_easy_getinfo(e, CURLINFO_OS_ERRNO, &t.osError);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, nullptr);
    if (!impl->spareEasy)
        impl->spareEasy = e;
    else
        curl_easy_cleanup(e);
    HttpPage page;
    page.body = t.outcome();
    page.contentType = std::move(t.contentType);
    return page;
}

} // namespace larkspur
