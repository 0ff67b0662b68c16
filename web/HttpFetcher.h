#pragma once
// What lyrics and dictionary code need from the HTTP client, so tests can give them a fake.

#include <string>

namespace larkspur {

class HttpFetcher
{
public:
    virtual ~HttpFetcher() = default;
    // The body of `url` as bytes; throws HttpError on any failure.
    virtual std::string Get(const std::string& url) = 0;
    // Closes the connection; a Get that is waiting ends early.
    virtual void Disconnect() = 0;
};

} // namespace larkspur
