#pragma once
// An error caught where it must not unwind (a native event filter, a session bus call) is
// handed to the event loop, whose boundary reports it as it reports any handler's error.

#include <QCoreApplication>
#include <QTimer>

#include <exception>

namespace larkspur {

inline void postError(std::exception_ptr error)
{
    QTimer::singleShot(0, QCoreApplication::instance(), [error] { std::rethrow_exception(error); });
}

} // namespace larkspur
