#pragma once
// The certificates https connections trust, read into memory once per process.
//
// curl as Debian builds it reads its whole CA bundle for every new connection (its own
// cache is off while a CA folder is set too), which holds the event loop for tens of
// milliseconds each time. Here the bundle and folder curl would use by default are read once,
// on a pool thread, and every connection shares that store: the same certificates stay
// trusted, the folder is still searched by name as curl would.

#include <curl/curl.h>

#include <string>

namespace larkspur {

// Makes `easy` verify against the shared store instead of reading the CA files itself.
// Leaves curl's own settings when its TLS library is not OpenSSL.
void useSharedTrust(CURL* easy);

// Starts reading the store on a pool thread unless that has begun (needs a QCoreApplication).
void preloadTrust();
// False only while a preload is under way. A connection made before the store is in memory
// reads it on its own thread.
bool trustReady();

// Also trusts the certificates of a PEM file, as if it were part of the bundle (loopback
// test servers). Read at once when the store is already there.
void addTrustedCertificates(const std::string& pemFile);

} // namespace larkspur
