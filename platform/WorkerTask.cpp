#include "platform/WorkerTask.h"

#include <atomic>
#include <new>

#include "platform/Alert.h"

// What the task itself uses. It never touches the WorkerTask, so the owner
// may go away once the task is stopped or abandoned.
struct WorkerTask::Shared
{
    void (*body)(void* parameter, MPEventFlags flags);
    void* parameter;
    Duration waitTimeout;
    MPEventID event = nullptr;
    MPSemaphoreID finished = nullptr;
    void* nextAbandoned = nullptr; // the next Shared on the abandoned list
};

namespace
{
// Tasks that did not stop in time keep running detached and still use their
// event and semaphore, so those are never freed. Keeping them on this list
// makes the deliberate leak visible to leak checkers as reachable memory.
std::atomic<void*> g_abandoned{nullptr};
} // namespace

WorkerTask::WorkerTask() = default;

WorkerTask::~WorkerTask()
{
    if (IsRunning())
        Stop(nullptr);
}

OSStatus WorkerTask::Run(void* argument)
{
    Shared* shared = static_cast<Shared*>(argument);
    for (;;)
    {
        MPEventFlags flags = 0;
        MPWaitForEvent(shared->event, &flags, shared->waitTimeout);
        const MPEventFlags work = flags & ~kStopFlag;
        if (work != 0 || flags == 0)
            shared->body(shared->parameter, work);
        if (flags & kStopFlag)
            break;
    }
    MPSignalSemaphore(shared->finished);
    return 0;
}

OSStatus WorkerTask::Start(void (*body)(void* parameter, MPEventFlags flags), void* parameter,
                           Duration waitTimeout)
{
    if (!body)
        return kMPParamErr;
    if (IsRunning())
        return kMPInvalidIDErr;

    Shared* shared = new (std::nothrow) Shared{body, parameter, waitTimeout};
    if (!shared)
        return kMPInsufficientResourcesErr;
    OSStatus status = MPCreateEvent(&shared->event);
    if (status == 0)
        status = MPCreateSemaphore(1, 0, &shared->finished);
    if (status == 0)
        status = MPCreateTask(Run, shared, 0, &m_task);
    if (status != 0)
    {
        if (shared->finished)
            MPDeleteSemaphore(shared->finished);
        if (shared->event)
            MPDeleteEvent(shared->event);
        delete shared;
        m_task = nullptr;
        return status;
    }
    m_shared = shared;
    return 0;
}

void WorkerTask::Signal(MPEventFlags flags)
{
    flags &= ~kStopFlag;
    if (m_shared && flags != 0)
        MPSetEvent(m_shared->event, flags);
}

OSStatus WorkerTask::Stop(const char* timeoutMessage, Duration timeoutMs)
{
    if (!IsRunning())
        return 0;
    Shared* shared = m_shared;
    MPTaskID task = m_task;
    m_shared = nullptr;
    m_task = nullptr;

    MPSetEvent(shared->event, kStopFlag);
    if (MPWaitOnSemaphore(shared->finished, timeoutMs) != 0)
    {
        if (timeoutMessage)
            WriteErrorLine(timeoutMessage);
        MPTerminateTask(task, kMPTimeoutErr);
        // The task may still wake on the event and signal the semaphore:
        // leave both (and the shared record) alive for good.
        shared->nextAbandoned = g_abandoned.load(std::memory_order_relaxed);
        while (!g_abandoned.compare_exchange_weak(shared->nextAbandoned, shared, std::memory_order_release,
                                                  std::memory_order_relaxed))
        {
        }
        return kMPTimeoutErr;
    }
    MPDeleteTask(task);
    MPDeleteSemaphore(shared->finished);
    MPDeleteEvent(shared->event);
    delete shared;
    return 0;
}

bool WorkerTask::IsRunning() const
{
    return m_task != nullptr;
}
