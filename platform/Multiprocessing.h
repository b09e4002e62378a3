// Tasks, events, semaphores and critical regions in the style of the Mac OS
// Multiprocessing Services, built on POSIX threads.
//
// Every call taking an ID returns kMPInvalidIDErr for a null ID; every create
// call returns kMPInvalidIDErr for a null result pointer and leaves a null ID
// behind on failure. A timeout is in milliseconds: kDurationForever waits
// without end, 0 (or less) only looks without waiting.
#pragma once

#include <cstddef>
#include <cstdint>

typedef int32_t OSStatus;
typedef uint32_t MPEventFlags;
typedef int32_t Duration; // milliseconds

constexpr Duration kDurationImmediate = 0;
constexpr Duration kDurationForever = 0x7FFFFFFF;

constexpr OSStatus kMPTimeoutErr = -29296;
constexpr OSStatus kMPInvalidIDErr = -29292;
// Out of memory or threads, or a semaphore signalled at its maximum.
constexpr OSStatus kMPInsufficientResourcesErr = -29298;
// A semaphore asked for with a maximum of 0 or an initial count above its maximum.
constexpr OSStatus kMPParamErr = -50;

struct MPTaskRecord;
struct MPEventRecord;
struct MPSemaphoreRecord;
struct MPCriticalRegionRecord;
typedef MPTaskRecord* MPTaskID;
typedef MPEventRecord* MPEventID;
typedef MPSemaphoreRecord* MPSemaphoreID;
typedef MPCriticalRegionRecord* MPCriticalRegionID;

typedef OSStatus (*TaskProc)(void* parameter);

// Always true: there is nothing to load.
bool MPIsFullyInitialized();

// Starts entry(parameter) on a new thread at once. stackSize is a lower bound;
// 0 (or anything below the system default) gets the default stack. Returns 0,
// or kMPInsufficientResourcesErr when no thread could be made.
OSStatus MPCreateTask(TaskProc entry, void* parameter, size_t stackSize, MPTaskID* task);
// For a task that has confirmed its end (signalled its semaphore): waits for
// its thread to finish and frees the handle.
OSStatus MPDeleteTask(MPTaskID task);
// For a task that did not confirm its end in time. A thread cannot be stopped
// safely from outside, so it is left to run on detached and only the handle
// is freed; the caller must leave alone everything the task still uses.
// status is accepted for the familiar call shape and otherwise ignored.
OSStatus MPTerminateTask(MPTaskID task, OSStatus status);

// A group of 32 flag bits, all clear.
OSStatus MPCreateEvent(MPEventID* event);
OSStatus MPDeleteEvent(MPEventID event);
// ORs flags in and wakes a waiter.
OSStatus MPSetEvent(MPEventID event, MPEventFlags flags);
// Returns 0 once any bit is set, delivering all set bits into *flags and
// clearing them in the same step (sets made before the wait merge into one
// wake-up), or kMPTimeoutErr with *flags = 0 when timeout passes first.
// flags may be null.
OSStatus MPWaitForEvent(MPEventID event, MPEventFlags* flags, Duration timeout);

// A counting semaphore; maximum must be at least 1 and initial at most maximum.
OSStatus MPCreateSemaphore(uint32_t maximum, uint32_t initial, MPSemaphoreID* semaphore);
OSStatus MPDeleteSemaphore(MPSemaphoreID semaphore);
// Counts up by one; at the maximum the count stays and
// kMPInsufficientResourcesErr is returned.
OSStatus MPSignalSemaphore(MPSemaphoreID semaphore);
// Counts down by one and returns 0 once the count is above zero, or returns
// kMPTimeoutErr when timeout passes first.
OSStatus MPWaitOnSemaphore(MPSemaphoreID semaphore, Duration timeout);

// A recursive lock: the thread holding it may enter again, and must exit as
// many times as it entered.
OSStatus MPCreateCriticalRegion(MPCriticalRegionID* region);
OSStatus MPDeleteCriticalRegion(MPCriticalRegionID region);
// Returns 0 once entered, or kMPTimeoutErr when timeout passes first.
OSStatus MPEnterCriticalRegion(MPCriticalRegionID region, Duration timeout);
// kMPInvalidIDErr when the calling thread does not hold the region.
OSStatus MPExitCriticalRegion(MPCriticalRegionID region);

// CLOCK_MONOTONIC in nanoseconds.
uint64_t UpTimeNanoseconds();
