#pragma once
// The application object a command of larkspur-tool needs: fetches and the browser wait in
// a Qt event loop. Returns nothing when one exists already (a test running the command).

#include <QCoreApplication>

#include <memory>

namespace larkspur {

inline std::unique_ptr<QCoreApplication> makeToolApplication()
{
    static int argc = 1;
    static char name[] = "larkspur-tool";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance()) return nullptr;
    return std::make_unique<QCoreApplication>(argc, argv);
}

} // namespace larkspur
