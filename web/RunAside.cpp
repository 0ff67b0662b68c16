#include "web/RunAside.h"

#include <system_error>

namespace larkspur {

AsideLane::AsideLane(QObject* context) : m_shared(std::make_shared<Shared>())
{
    m_shared->context = context;
}

AsideLane::~AsideLane()
{
    std::lock_guard lock(m_shared->mutex);
    m_shared->context = nullptr;
    m_shared->alive = false;
}

void AsideLane::drop()
{
    ++m_ticket;
    m_waiting = nullptr;
}

void AsideLane::startWaiting()
{
    if (m_running || !m_waiting) return;
    Job start = std::move(m_waiting);
    m_waiting = nullptr;
    start();
}

void AsideLane::launch(Job job, Job finish)
{
    m_running = true;
    const std::shared_ptr<Shared> shared = m_shared;
    auto ended = [this, shared, finish = std::move(finish)] {
        if (!shared->alive) return;
        m_running = false;
        finish();
        if (shared->alive) startWaiting();
    };
    try {
        std::thread([shared, job = std::move(job), ended = std::move(ended)] {
            job();
            std::lock_guard lock(shared->mutex);
            // Posted: the context's thread runs it from its own loop, or drops it with the
            // context.
            if (shared->context)
                QMetaObject::invokeMethod(shared->context, ended, Qt::QueuedConnection);
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the work runs here rather than not at all.
        job();
        QMetaObject::invokeMethod(shared->context, ended, Qt::QueuedConnection);
    }
}

} // namespace larkspur
