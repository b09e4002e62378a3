// A task woken by an event with flag bits and confirmed finished by a
// semaphore: the common shape of the plug-in's background workers.
#pragma once

#include "platform/Multiprocessing.h"

class WorkerTask
{
public:
    static constexpr MPEventFlags kStopFlag = 0x80000000u;

    WorkerTask();
    // Calls Stop(nullptr) when the task is still running.
    ~WorkerTask();
    WorkerTask(const WorkerTask&) = delete;
    WorkerTask& operator=(const WorkerTask&) = delete;

    // Creates the event, the semaphore and the task. The task waits on the
    // event with waitTimeout (kDurationForever, or a period in milliseconds)
    // and calls body(parameter, flags) each time it wakes with bits, the stop
    // bit left out; after a period passes with no bits it calls body with 0.
    // Bits that arrive together with the stop bit are still handed to body
    // before the task ends. Returns 0, kMPParamErr for a null body,
    // kMPInvalidIDErr when already running, or the failing create call's status.
    OSStatus Start(void (*body)(void* parameter, MPEventFlags flags), void* parameter,
                   Duration waitTimeout = kDurationForever);
    // Sets bits in the task's event (kStopFlag is masked out; use Stop). Does
    // nothing when not running. May be called from any thread, but not at the
    // same time as Start or Stop.
    void Signal(MPEventFlags flags);
    // Sets kStopFlag and waits up to timeoutMs for the task to confirm its end.
    // Confirmed: joins the task and frees everything; returns 0. Not
    // confirmed: writes timeoutMessage (when non-null) as one line to standard
    // error, leaves the task running detached and returns kMPTimeoutErr; its
    // event, semaphore and body parameter must then stay valid for as long as
    // the process lives. Returns 0 when not running. Must not be called from
    // the body.
    OSStatus Stop(const char* timeoutMessage, Duration timeoutMs = 10000);
    bool IsRunning() const;

private:
    struct Shared;
    static OSStatus Run(void* shared);

    MPTaskID m_task = nullptr;
    Shared* m_shared = nullptr;
};
