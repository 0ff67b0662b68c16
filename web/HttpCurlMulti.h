#pragma once
// A libcurl multi handle driven by the Qt event loop of the calling thread: socket
// notifiers and a timer feed curl, so transfers progress whenever that thread's event
// loop runs (the main loop or any nested QEventLoop). Use from that one thread only.
//
// Keeps at most one idle connection for reuse; destroying the object closes it.
// Destroying it with transfers attached abandons them without calling their callbacks.

#include <curl/curl.h>

#include <functional>
#include <map>
#include <memory>

class QSocketNotifier;
class QTimer;

namespace larkspur {

class HttpCurlMulti
{
public:
    HttpCurlMulti();
    ~HttpCurlMulti();
    HttpCurlMulti(const HttpCurlMulti&) = delete;
    HttpCurlMulti& operator=(const HttpCurlMulti&) = delete;

    // Starts `easy`; `onDone` is called once from the event loop with curl's result,
    // after the handle has been detached again. It must not destroy this object.
    void add(CURL* easy, std::function<void(CURLcode)> onDone);
    // Detaches a transfer that has not finished; its callback is not called. A connection
    // left in the middle of an answer is closed by curl.
    void remove(CURL* easy);
    bool busy() const { return !m_transfers.empty(); }

private:
    struct Watch
    {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };
    static int onSocket(CURL* easy, curl_socket_t fd, int what, void* self, void* socketp);
    static int onTimer(CURLM* multi, long timeoutMs, void* self);
    void act(curl_socket_t fd, int events);
    void watch(curl_socket_t fd, int what);
    static void drop(QSocketNotifier*& notifier);

    CURLM* m_multi = nullptr;
    std::unique_ptr<QTimer> m_timer;
    std::map<curl_socket_t, Watch> m_watches;
    std::map<CURL*, std::function<void(CURLcode)>> m_transfers;
};

} // namespace larkspur
