#include "web/HttpCurlMulti.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cassert>

namespace larkspur {

HttpCurlMulti::HttpCurlMulti() : m_multi(curl_multi_init()), m_timer(std::make_unique<QTimer>())
{
    assert(m_multi);
    m_timer->setSingleShot(true);
    QObject::connect(m_timer.get(), &QTimer::timeout, m_timer.get(),
                     [this] { act(CURL_SOCKET_TIMEOUT, 0); });
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &HttpCurlMulti::onSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &HttpCurlMulti::onTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_MAXCONNECTS, 1L);
}

HttpCurlMulti::~HttpCurlMulti()
{
    for (auto& [easy, done] : m_transfers)
        curl_multi_remove_handle(m_multi, easy);
    m_transfers.clear();
    // Closing the cached connection must not reach notifiers that are gone.
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, nullptr);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, nullptr);
    for (auto& [fd, w] : m_watches) {
        drop(w.read);
        drop(w.write);
    }
    m_watches.clear();
    curl_multi_cleanup(m_multi);
}

void HttpCurlMulti::add(CURL* easy, std::function<void(CURLcode)> onDone)
{
    m_transfers.emplace(easy, std::move(onDone));
    curl_multi_add_handle(m_multi, easy);
}

void HttpCurlMulti::remove(CURL* easy)
{
    if (m_transfers.erase(easy)) curl_multi_remove_handle(m_multi, easy);
}

int HttpCurlMulti::onSocket(CURL*, curl_socket_t fd, int what, void* self, void*)
{
    // An error here (no memory for a notifier) must not unwind through curl: it gives up.
    try {
        static_cast<HttpCurlMulti*>(self)->watch(fd, what);
        return 0;
    } catch (...) {
        return -1;
    }
}

int HttpCurlMulti::onTimer(CURLM*, long timeoutMs, void* self)
{
    auto* me = static_cast<HttpCurlMulti*>(self);
    // curl must not be re-entered from its own callback: even "now" goes through the loop.
    if (timeoutMs < 0)
        me->m_timer->stop();
    else
        me->m_timer->start(static_cast<int>(timeoutMs));
    return 0;
}

void HttpCurlMulti::drop(QSocketNotifier*& notifier)
{
    if (!notifier) return;
    // Disabled at once so a reused descriptor can get a new notifier; deleted later
    // because we may be inside this notifier's own signal.
    notifier->setEnabled(false);
    notifier->deleteLater();
    notifier = nullptr;
}

void HttpCurlMulti::watch(curl_socket_t fd, int what)
{
    if (what == CURL_POLL_REMOVE) {
        auto it = m_watches.find(fd);
        if (it == m_watches.end()) return;
        drop(it->second.read);
        drop(it->second.write);
        m_watches.erase(it);
        return;
    }
    Watch& w = m_watches[fd];
    const auto ensure = [&](QSocketNotifier*& n, QSocketNotifier::Type type, int event) {
        if (!n) {
            n = new QSocketNotifier(fd, type);
            QObject::connect(n, &QSocketNotifier::activated, n,
                             [this, fd, event] { act(fd, event); });
        }
        n->setEnabled(true);
    };
    if (what == CURL_POLL_IN || what == CURL_POLL_INOUT)
        ensure(w.read, QSocketNotifier::Read, CURL_CSELECT_IN);
    else if (w.read)
        w.read->setEnabled(false);
    if (what == CURL_POLL_OUT || what == CURL_POLL_INOUT)
        ensure(w.write, QSocketNotifier::Write, CURL_CSELECT_OUT);
    else if (w.write)
        w.write->setEnabled(false);
}

void HttpCurlMulti::act(curl_socket_t fd, int events)
{
    int running = 0;
    curl_multi_socket_action(m_multi, fd, events, &running);
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(m_multi, &left)) {
        if (msg->msg != CURLMSG_DONE) continue;
        CURL* easy = msg->easy_handle;
        const CURLcode result = msg->data.result;
        auto it = m_transfers.find(easy);
        curl_multi_remove_handle(m_multi, easy);
        if (it == m_transfers.end()) continue;
        auto done = std::move(it->second);
        m_transfers.erase(it);
        done(result);
    }
}

} // namespace larkspur
