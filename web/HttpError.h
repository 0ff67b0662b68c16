#pragma once
// The failure of one HTTP fetch. what() is the text shown to the user: a socket error
// ("Socket Error # 111\r\nConnection refused"), "Connect timed out.",
// "Connection Closed Gracefully.", "Max line length exceeded.", a limit that ran out
// ("Read timed out (no data for 60 s).", "The answer took longer than 300 s.",
// "The answer's header lines exceed 256 KB.", "The answer is larger than 64 MB."), or, for
// an answer that was not accepted (status outside 200-299, a redirect, any "Location"),
// its status line.

#include <stdexcept>
#include <string>

namespace larkspur {

class HttpError : public std::runtime_error
{
public:
    explicit HttpError(const std::string& text) : std::runtime_error(text) {}
    HttpError(const std::string& statusLine, int statusCode, std::string errorPage,
              std::string retryAfter = {})
        : std::runtime_error(statusLine), m_statusCode(statusCode),
          m_errorPage(std::move(errorPage)), m_retryAfter(std::move(retryAfter))
    {}

    // The answer's status code; -1 when its status line had none; 0 when no answer came.
    int statusCode() const { return m_statusCode; }
    // The body of a refused answer, as much as arrived within 2 s.
    const std::string& errorPage() const { return m_errorPage; }
    // The refused answer's "Retry-After" value as it came (seconds or a date); empty for none.
    const std::string& retryAfter() const { return m_retryAfter; }

private:
    int m_statusCode = 0;
    std::string m_errorPage;
    std::string m_retryAfter;
};

} // namespace larkspur
