#include "web/TlsTrust.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include <atomic>
#include <mutex>
#include <vector>

namespace larkspur {

namespace {

struct Shared
{
    std::once_flag loadOnce;
    std::atomic<bool> ready{false};
    std::atomic<bool> preloading{false};
    std::mutex mutex; // guards extra and the store's contents after the load
    std::vector<std::string> extra;
    X509_STORE* store = nullptr;
};

Shared& shared()
{
    static Shared s; // never destroyed before connections end: curl holds references
    return s;
}

bool curlUsesOpenSsl()
{
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    return info && info->ssl_version && std::string_view(info->ssl_version).starts_with("OpenSSL");
}

// curl's built-in CA bundle and folder, which it would read for each connection.
void defaultLocations(std::string& bundle, std::string& folder)
{
    CURL* probe = curl_easy_init();
    if (!probe) return;
    char* text = nullptr;
    if (curl_easy_getinfo(probe, CURLINFO_CAINFO, &text) == CURLE_OK && text) bundle = text;
    text = nullptr;
    if (curl_easy_getinfo(probe, CURLINFO_CAPATH, &text) == CURLE_OK && text) folder = text;
    curl_easy_cleanup(probe);
}

void load()
{
    Shared& s = shared();
    std::call_once(s.loadOnce, [&s] {
        X509_STORE* store = X509_STORE_new();
        if (store) {
            std::string bundle, folder;
            defaultLocations(bundle, folder);
            // Missing files are no error here, as for curl: verification then fails.
            if (!bundle.empty()) X509_STORE_load_file(store, bundle.c_str());
            if (!folder.empty()) X509_STORE_load_path(store, folder.c_str());
            // What curl sets on a store of its own making.
            X509_STORE_set_flags(store, X509_V_FLAG_TRUSTED_FIRST | X509_V_FLAG_PARTIAL_CHAIN);
        }
        const std::lock_guard lock(s.mutex);
        for (const std::string& file : s.extra)
            if (store) X509_STORE_load_file(store, file.c_str());
        s.store = store;
        s.ready = true;
    });
}

CURLcode installStore(CURL*, void* context, void*)
{
    load();
    Shared& s = shared();
    if (!s.store || !X509_STORE_up_ref(s.store)) return CURLE_SSL_CACERT_BADFILE;
    SSL_CTX_set_cert_store(static_cast<SSL_CTX*>(context), s.store);
    return CURLE_OK;
}

} // namespace

void useSharedTrust(CURL* easy)
{
    if (!curlUsesOpenSsl()) return;
    if (curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &installStore) != CURLE_OK) return;
    curl_easy_setopt(easy, CURLOPT_CAINFO, nullptr);
    curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
}

void preloadTrust()
{
    Shared& s = shared();
    // Without an application there is no pool: connections then read the store themselves.
    if (s.ready || !curlUsesOpenSsl() || !QCoreApplication::instance()) return;
    if (!s.preloading.exchange(true)) QThreadPool::globalInstance()->start([] { load(); });
}

bool trustReady()
{
    const Shared& s = shared();
    return s.ready || !s.preloading || !curlUsesOpenSsl();
}

void addTrustedCertificates(const std::string& pemFile)
{
    Shared& s = shared();
    const std::lock_guard lock(s.mutex);
    if (s.store)
        X509_STORE_load_file(s.store, pemFile.c_str());
    else
        s.extra.push_back(pemFile);
}

} // namespace larkspur
