#pragma once
// C libraries (curl) cannot be unwound through: an error inside one of their callbacks is
// caught here and turned into the value that tells the library to give up.

#include <exception>

namespace larkspur {

// Returns body(), or onError when it throws; `failure` keeps the error for the caller to
// rethrow once the library has returned.
template <typename Result, typename Body>
Result guardedCallback(Result onError, std::exception_ptr& failure, Body&& body) noexcept
{
    try {
        return body();
    } catch (...) {
        if (!failure) failure = std::current_exception();
        return onError;
    }
}

} // namespace larkspur
