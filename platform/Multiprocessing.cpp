#include "platform/Multiprocessing.h"

#include <pthread.h>
#include <time.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

struct MPTaskRecord
{
    pthread_t thread;
};

struct MPEventRecord
{
    std::mutex mutex;
    std::condition_variable changed;
    MPEventFlags flags = 0;
};

struct MPSemaphoreRecord
{
    std::mutex mutex;
    std::condition_variable signalled;
    uint32_t count;
    uint32_t maximum;
};

struct MPCriticalRegionRecord
{
    std::mutex mutex;
    std::condition_variable released;
    std::thread::id owner; // default id: free
    unsigned depth = 0;
};

namespace
{
struct TaskStart
{
    TaskProc entry;
    void* parameter;
};

void* runTask(void* argument)
{
    TaskStart start = *static_cast<TaskStart*>(argument);
    delete static_cast<TaskStart*>(argument);
    start.entry(start.parameter);
    return nullptr;
}

// Waits on cv until ready() holds or timeout (milliseconds) passes; returns
// whether ready() holds. 0 or less checks once without waiting.
template <typename Ready>
bool waitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, Duration timeout, Ready ready)
{
    if (timeout == kDurationForever)
    {
        cv.wait(lock, ready);
        return true;
    }
    if (timeout <= 0)
        return ready();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
    return cv.wait_until(lock, deadline, ready);
}
} // namespace

bool MPIsFullyInitialized()
{
    return true;
}

OSStatus MPCreateTask(TaskProc entry, void* parameter, size_t stackSize, MPTaskID* task)
{
    if (!task)
        return kMPInvalidIDErr;
    *task = nullptr;
    if (!entry)
        return kMPParamErr;

    MPTaskRecord* record = new (std::nothrow) MPTaskRecord;
    TaskStart* start = new (std::nothrow) TaskStart{entry, parameter};
    pthread_attr_t attributes;
    bool haveAttributes = false;
    int error = (record && start) ? 0 : -1;
    if (error == 0)
        error = pthread_attr_init(&attributes);
    if (error == 0)
    {
        haveAttributes = true;
        size_t defaultSize = 0;
        if (stackSize > 0 && pthread_attr_getstacksize(&attributes, &defaultSize) == 0 && stackSize > defaultSize)
            error = pthread_attr_setstacksize(&attributes, stackSize);
    }
    if (error == 0)
        error = pthread_create(&record->thread, &attributes, runTask, start);
    if (haveAttributes)
        pthread_attr_destroy(&attributes);
    if (error != 0)
    {
        delete start;
        delete record;
        return kMPInsufficientResourcesErr;
    }
    *task = record;
    return 0;
}

OSStatus MPDeleteTask(MPTaskID task)
{
    if (!task)
        return kMPInvalidIDErr;
    // A task deleting itself cannot wait for its own end.
    if (pthread_equal(task->thread, pthread_self()))
        pthread_detach(task->thread);
    else
        pthread_join(task->thread, nullptr);
    delete task;
    return 0;
}

OSStatus MPTerminateTask(MPTaskID task, OSStatus /*status*/)
{
    if (!task)
        return kMPInvalidIDErr;
    pthread_detach(task->thread);
    delete task;
    return 0;
}

OSStatus MPCreateEvent(MPEventID* event)
{
    if (!event)
        return kMPInvalidIDErr;
    *event = new (std::nothrow) MPEventRecord;
    return *event ? 0 : kMPInsufficientResourcesErr;
}

OSStatus MPDeleteEvent(MPEventID event)
{
    if (!event)
        return kMPInvalidIDErr;
    delete event;
    return 0;
}

OSStatus MPSetEvent(MPEventID event, MPEventFlags flags)
{
    if (!event)
        return kMPInvalidIDErr;
    {
        std::lock_guard<std::mutex> lock(event->mutex);
        event->flags |= flags;
    }
    event->changed.notify_all();
    return 0;
}

OSStatus MPWaitForEvent(MPEventID event, MPEventFlags* flags, Duration timeout)
{
    if (!event)
    {
        if (flags)
            *flags = 0;
        return kMPInvalidIDErr;
    }
    std::unique_lock<std::mutex> lock(event->mutex);
    bool set = waitFor(event->changed, lock, timeout, [event] { return event->flags != 0; });
    MPEventFlags delivered = event->flags;
    event->flags = 0;
    if (flags)
        *flags = delivered;
    return set ? 0 : kMPTimeoutErr;
}

OSStatus MPCreateSemaphore(uint32_t maximum, uint32_t initial, MPSemaphoreID* semaphore)
{
    if (!semaphore)
        return kMPInvalidIDErr;
    *semaphore = nullptr;
    if (maximum == 0 || initial > maximum)
        return kMPParamErr;
    MPSemaphoreRecord* record = new (std::nothrow) MPSemaphoreRecord;
    if (!record)
        return kMPInsufficientResourcesErr;
    record->count = initial;
    record->maximum = maximum;
    *semaphore = record;
    return 0;
}

OSStatus MPDeleteSemaphore(MPSemaphoreID semaphore)
{
    if (!semaphore)
        return kMPInvalidIDErr;
    delete semaphore;
    return 0;
}

OSStatus MPSignalSemaphore(MPSemaphoreID semaphore)
{
    if (!semaphore)
        return kMPInvalidIDErr;
    {
        std::lock_guard<std::mutex> lock(semaphore->mutex);
        if (semaphore->count >= semaphore->maximum)
            return kMPInsufficientResourcesErr;
        ++semaphore->count;
    }
    semaphore->signalled.notify_one();
    return 0;
}

OSStatus MPWaitOnSemaphore(MPSemaphoreID semaphore, Duration timeout)
{
    if (!semaphore)
        return kMPInvalidIDErr;
    std::unique_lock<std::mutex> lock(semaphore->mutex);
    if (!waitFor(semaphore->signalled, lock, timeout, [semaphore] { return semaphore->count > 0; }))
        return kMPTimeoutErr;
    --semaphore->count;
    return 0;
}

OSStatus MPCreateCriticalRegion(MPCriticalRegionID* region)
{
    if (!region)
        return kMPInvalidIDErr;
    *region = new (std::nothrow) MPCriticalRegionRecord;
    return *region ? 0 : kMPInsufficientResourcesErr;
}

OSStatus MPDeleteCriticalRegion(MPCriticalRegionID region)
{
    if (!region)
        return kMPInvalidIDErr;
    delete region;
    return 0;
}

OSStatus MPEnterCriticalRegion(MPCriticalRegionID region, Duration timeout)
{
    if (!region)
        return kMPInvalidIDErr;
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(region->mutex);
    if (region->depth > 0 && region->owner == self)
    {
        ++region->depth;
        return 0;
    }
    if (!waitFor(region->released, lock, timeout, [region] { return region->depth == 0; }))
        return kMPTimeoutErr;
    region->owner = self;
    region->depth = 1;
    return 0;
}

OSStatus MPExitCriticalRegion(MPCriticalRegionID region)
{
    if (!region)
        return kMPInvalidIDErr;
    {
        std::lock_guard<std::mutex> lock(region->mutex);
        if (region->depth == 0 || region->owner != std::this_thread::get_id())
            return kMPInvalidIDErr;
        if (--region->depth > 0)
            return 0;
        region->owner = std::thread::id();
    }
    region->released.notify_one();
    return 0;
}

uint64_t UpTimeNanoseconds()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}
