// curl and OpenSSL opened at their first call instead of at start. Mapping and relocating
// them, with the TLS, Kerberos and LDAP libraries curl pulls in, costs about 7 MiB of memory
// in every run, also in the many that never fetch a page (lyrics from .lyr files).
//
// Each function below stands in for the library's own and calls it; when the library cannot
// be opened the call fails as the library itself reports failures (null handle, an error
// code), so the fetch reports it to the user.

#define CURL_DISABLE_TYPECHECK // the checking macros would rename the definitions below
#include <curl/curl.h>
#include <openssl/opensslv.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include <cstdarg>
#include <cstdio>
#include <dlfcn.h>

namespace {

#define LARKSPUR_STR2(x) #x
#define LARKSPUR_STR(x) LARKSPUR_STR2(x)

void* openLibrary(const char* name)
{
    void* handle = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (!handle) std::fprintf(stderr, "larkspur: %s\n", ::dlerror());
    return handle;
}

void* curlLibrary()
{
    static void* handle = openLibrary("libcurl.so.4");
    return handle;
}

void* sslLibrary()
{
    static void* handle = openLibrary("libssl.so." LARKSPUR_STR(OPENSSL_VERSION_MAJOR));
    return handle;
}

template <typename F> F symbol(void* library, const char* name)
{
    return library ? reinterpret_cast<F>(::dlsym(library, name)) : nullptr;
}

// One argument of a curl option, as its number says it is passed.
template <typename F, typename Handle, typename Option>
auto forwardOption(F f, Handle handle, Option option, va_list args)
{
    const long kind = static_cast<long>(option) / 10000 * 10000;
    if (kind == CURLOPTTYPE_LONG) return f(handle, option, va_arg(args, long));
    if (kind == CURLOPTTYPE_FUNCTIONPOINT) return f(handle, option, va_arg(args, void (*)()));
    if (kind == CURLOPTTYPE_OFF_T) return f(handle, option, va_arg(args, curl_off_t));
    return f(handle, option, va_arg(args, void*));
}

} // namespace

#define LARKSPUR_FORWARD(library, ret, name, params, args, failed)                                \
    extern "C" ret name params                                                                     \
    {                                                                                              \
        using F = ret(*) params;                                                                   \
        static const F real = symbol<F>(library(), #name);                                         \
        if (!real) return failed;                                                                  \
        return real args;                                                                          \
    }

LARKSPUR_FORWARD(curlLibrary, CURLcode, curl_global_init, (long flags), (flags), CURLE_FAILED_INIT)
LARKSPUR_FORWARD(curlLibrary, void, curl_global_cleanup, (void), (), void())
LARKSPUR_FORWARD(curlLibrary, curl_version_info_data*, curl_version_info, (CURLversion v), (v),
                 nullptr)
LARKSPUR_FORWARD(curlLibrary, CURL*, curl_easy_init, (void), (), nullptr)
LARKSPUR_FORWARD(curlLibrary, void, curl_easy_cleanup, (CURL * curl), (curl), void())
LARKSPUR_FORWARD(curlLibrary, CURLcode, curl_easy_pause, (CURL * handle, int bitmask),
                 (handle, bitmask), CURLE_FAILED_INIT)
LARKSPUR_FORWARD(curlLibrary, const char*, curl_easy_strerror, (CURLcode code), (code),
                 "curl could not be loaded")
LARKSPUR_FORWARD(curlLibrary, curl_slist*, curl_slist_append, (curl_slist * list, const char* data),
                 (list, data), nullptr)
LARKSPUR_FORWARD(curlLibrary, void, curl_slist_free_all, (curl_slist * list), (list), void())
LARKSPUR_FORWARD(curlLibrary, void, curl_free, (void* p), (p), void())
LARKSPUR_FORWARD(curlLibrary, time_t, curl_getdate, (const char* p, const time_t* unused),
                 (p, unused), -1)
LARKSPUR_FORWARD(curlLibrary, CURLM*, curl_multi_init, (void), (), nullptr)
LARKSPUR_FORWARD(curlLibrary, CURLMcode, curl_multi_cleanup, (CURLM * multi), (multi),
                 CURLM_INTERNAL_ERROR)
LARKSPUR_FORWARD(curlLibrary, CURLMcode, curl_multi_add_handle, (CURLM * multi, CURL* easy),
                 (multi, easy), CURLM_INTERNAL_ERROR)
LARKSPUR_FORWARD(curlLibrary, CURLMcode, curl_multi_remove_handle, (CURLM * multi, CURL* easy),
                 (multi, easy), CURLM_INTERNAL_ERROR)
LARKSPUR_FORWARD(curlLibrary, CURLMsg*, curl_multi_info_read, (CURLM * multi, int* queued),
                 (multi, queued), nullptr)
LARKSPUR_FORWARD(curlLibrary, CURLMcode, curl_multi_perform, (CURLM * multi, int* running),
                 (multi, running), CURLM_INTERNAL_ERROR)
LARKSPUR_FORWARD(curlLibrary, CURLMcode, curl_multi_socket_action,
                 (CURLM * multi, curl_socket_t s, int mask, int* running),
                 (multi, s, mask, running), CURLM_INTERNAL_ERROR)
LARKSPUR_FORWARD(curlLibrary, CURLSH*, curl_share_init, (void), (), nullptr)
LARKSPUR_FORWARD(curlLibrary, CURLSHcode, curl_share_cleanup, (CURLSH * share), (share),
                 CURLSHE_NOT_BUILT_IN)
LARKSPUR_FORWARD(curlLibrary, CURLU*, curl_url, (void), (), nullptr)
LARKSPUR_FORWARD(curlLibrary, void, curl_url_cleanup, (CURLU * url), (url), void())
LARKSPUR_FORWARD(curlLibrary, CURLUcode, curl_url_get,
                 (CURLU * url, CURLUPart what, char** part, unsigned int flags),
                 (url, what, part, flags), CURLUE_OUT_OF_MEMORY)
LARKSPUR_FORWARD(curlLibrary, CURLUcode, curl_url_set,
                 (CURLU * url, CURLUPart what, const char* part, unsigned int flags),
                 (url, what, part, flags), CURLUE_OUT_OF_MEMORY)

extern "C" CURLcode curl_easy_setopt(CURL* curl, CURLoption option, ...)
{
    using F = CURLcode (*)(CURL*, CURLoption, ...);
    static const F real = symbol<F>(curlLibrary(), "curl_easy_setopt");
    if (!real) return CURLE_FAILED_INIT;
    va_list args;
    va_start(args, option);
    const CURLcode result = forwardOption(real, curl, option, args);
    va_end(args);
    return result;
}

extern "C" CURLMcode curl_multi_setopt(CURLM* multi, CURLMoption option, ...)
{
    using F = CURLMcode (*)(CURLM*, CURLMoption, ...);
    static const F real = symbol<F>(curlLibrary(), "curl_multi_setopt");
    if (!real) return CURLM_INTERNAL_ERROR;
    va_list args;
    va_start(args, option);
    const CURLMcode result = forwardOption(real, multi, option, args);
    va_end(args);
    return result;
}

extern "C" CURLSHcode curl_share_setopt(CURLSH* share, CURLSHoption option, ...)
{
    using F = CURLSHcode (*)(CURLSH*, CURLSHoption, ...);
    static const F real = symbol<F>(curlLibrary(), "curl_share_setopt");
    if (!real) return CURLSHE_NOT_BUILT_IN;
    va_list args;
    va_start(args, option);
    // Sharing choices are numbers; the lock functions and user data are pointers.
    const CURLSHcode result = option == CURLSHOPT_SHARE || option == CURLSHOPT_UNSHARE
                                  ? real(share, option, va_arg(args, int))
                                  : real(share, option, va_arg(args, void*));
    va_end(args);
    return result;
}

extern "C" CURLcode curl_easy_getinfo(CURL* curl, CURLINFO info, ...)
{
    using F = CURLcode (*)(CURL*, CURLINFO, ...);
    static const F real = symbol<F>(curlLibrary(), "curl_easy_getinfo");
    if (!real) return CURLE_FAILED_INIT;
    va_list args;
    va_start(args, info);
    const CURLcode result = real(curl, info, va_arg(args, void*)); // always a place to write
    va_end(args);
    return result;
}

// The trust store's part of OpenSSL; libssl brings libcrypto, curl's own.
LARKSPUR_FORWARD(sslLibrary, X509_STORE*, X509_STORE_new, (void), (), nullptr)
LARKSPUR_FORWARD(sslLibrary, int, X509_STORE_up_ref, (X509_STORE * store), (store), 0)
LARKSPUR_FORWARD(sslLibrary, int, X509_STORE_set_flags, (X509_STORE * store, unsigned long flags),
                 (store, flags), 0)
LARKSPUR_FORWARD(sslLibrary, int, X509_STORE_load_file, (X509_STORE * store, const char* file),
                 (store, file), 0)
LARKSPUR_FORWARD(sslLibrary, int, X509_STORE_load_path, (X509_STORE * store, const char* path),
                 (store, path), 0)
LARKSPUR_FORWARD(sslLibrary, void, SSL_CTX_set_cert_store, (SSL_CTX * ctx, X509_STORE* store),
                 (ctx, store), void())
