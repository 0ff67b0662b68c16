#include "web/NestedWait.h"

#include <QCoreApplication>
#include <QThread>

namespace larkspur {

namespace {

int g_depth = 0;

// A fetch-all run waits on a thread of its own: its waits hold back nothing of the window's.
bool onInterfaceThread()
{
    const auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace

NestedWait::NestedWait()
{
    if (onInterfaceThread()) ++g_depth;
}

NestedWait::~NestedWait()
{
    if (onInterfaceThread()) --g_depth;
}

int nestedWaitDepth()
{
    return g_depth;
}

} // namespace larkspur
