#include <gtest/gtest.h>
#include <time.h>

#include <thread>
#include <vector>

#include "platform/Multiprocessing.h"

namespace
{
// How long a test waits for something that should happen at once, so that a
// broken build fails instead of hanging.
constexpr Duration kGuard = 10000;

uint64_t monotonicNow()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

struct Event
{
    MPEventID id = nullptr;
    Event() { EXPECT_EQ(MPCreateEvent(&id), 0); }
    ~Event() { MPDeleteEvent(id); }
};

struct Semaphore
{
    MPSemaphoreID id = nullptr;
    Semaphore(uint32_t maximum, uint32_t initial) { EXPECT_EQ(MPCreateSemaphore(maximum, initial, &id), 0); }
    ~Semaphore() { MPDeleteSemaphore(id); }
};

struct Region
{
    MPCriticalRegionID id = nullptr;
    Region() { EXPECT_EQ(MPCreateCriticalRegion(&id), 0); }
    ~Region() { MPDeleteCriticalRegion(id); }
};
} // namespace

TEST(MPEvent, SetsBeforeAWaitMergeIntoOneWakeUpThatClearsEverything)
{
    struct Case
    {
        std::vector<MPEventFlags> sets;
        MPEventFlags expected;
    };
    const Case cases[] = {
        {{0x1}, 0x1},
        {{0x1, 0x2, 0x80000000u}, 0x80000003u},
        {{0x4, 0x4, 0x4}, 0x4},
        {{0xFFFFFFFFu, 0x1}, 0xFFFFFFFFu},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "expected bits 0x" << std::hex << c.expected);
        Event event;
        for (MPEventFlags bits : c.sets)
            ASSERT_EQ(MPSetEvent(event.id, bits), 0);
        MPEventFlags flags = 0;
        EXPECT_EQ(MPWaitForEvent(event.id, &flags, kDurationImmediate), 0);
        EXPECT_EQ(flags, c.expected);
        flags = 0xDEADBEEF;
        EXPECT_EQ(MPWaitForEvent(event.id, &flags, 20), kMPTimeoutErr);
        EXPECT_EQ(flags, 0u);
    }
}

TEST(MPEvent, WaitWithoutBitsTimesOutWithNoFlags)
{
    for (Duration timeout : {kDurationImmediate, Duration(1), Duration(30)})
    {
        SCOPED_TRACE(timeout);
        Event event;
        MPEventFlags flags = 0xDEADBEEF;
        const uint64_t start = UpTimeNanoseconds();
        EXPECT_EQ(MPWaitForEvent(event.id, &flags, timeout), kMPTimeoutErr);
        EXPECT_GE(UpTimeNanoseconds() - start, uint64_t(timeout) * 1000000u) << "returned before its time-out";
        EXPECT_EQ(flags, 0u);
        EXPECT_EQ(MPWaitForEvent(event.id, nullptr, kDurationImmediate), kMPTimeoutErr);
    }
}

TEST(MPEvent, NullFlagsStillConsumesTheBits)
{
    Event event;
    MPSetEvent(event.id, 0x30);
    EXPECT_EQ(MPWaitForEvent(event.id, nullptr, kDurationImmediate), 0);
    EXPECT_EQ(MPWaitForEvent(event.id, nullptr, kDurationImmediate), kMPTimeoutErr);
}

TEST(MPEvent, WaiterOnAnotherThreadWakesOnSet)
{
    for (Duration timeout : {kDurationForever, kGuard})
    {
        SCOPED_TRACE(timeout);
        Event event;
        Semaphore waiting(1, 0);
        MPEventFlags received = 0;
        OSStatus status = -1;
        std::thread waiter([&] {
            MPSignalSemaphore(waiting.id);
            status = MPWaitForEvent(event.id, &received, timeout);
        });
        ASSERT_EQ(MPWaitOnSemaphore(waiting.id, kGuard), 0);
        MPSetEvent(event.id, 0x40);
        waiter.join();
        EXPECT_EQ(status, 0);
        EXPECT_EQ(received, 0x40u);
    }
}

TEST(MPEvent, BitsFromManyThreadsAllArrive)
{
    Event event;
    std::vector<std::thread> setters;
    for (int bit = 0; bit < 8; ++bit)
        setters.emplace_back([&event, bit] { MPSetEvent(event.id, 1u << bit); });
    MPEventFlags seen = 0;
    while (seen != 0xFF)
    {
        MPEventFlags flags = 0;
        ASSERT_EQ(MPWaitForEvent(event.id, &flags, kGuard), 0);
        EXPECT_EQ(seen & flags, 0u) << "a bit was delivered twice";
        seen |= flags;
    }
    for (std::thread& setter : setters)
        setter.join();
    EXPECT_EQ(MPWaitForEvent(event.id, nullptr, kDurationImmediate), kMPTimeoutErr);
}

TEST(MPSemaphore, CountsUpToItsMaximumAndDownToZero)
{
    struct Case
    {
        uint32_t maximum, initial, signals;
        int expectedWaits; // successful waits before one times out
        int expectedRefusedSignals;
    };
    const Case cases[] = {
        {1, 0, 0, 0, 0}, {1, 0, 1, 1, 0}, {1, 0, 3, 1, 2}, {1, 1, 1, 1, 1},
        {3, 0, 5, 3, 2}, {3, 2, 0, 2, 0}, {2, 2, 1, 2, 1}, {10, 4, 3, 7, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "maximum " << c.maximum << " initial " << c.initial << " signals "
                                        << c.signals);
        Semaphore semaphore(c.maximum, c.initial);
        int refused = 0;
        for (uint32_t i = 0; i < c.signals; ++i)
            refused += MPSignalSemaphore(semaphore.id) != 0;
        EXPECT_EQ(refused, c.expectedRefusedSignals);
        for (int i = 0; i < c.expectedWaits; ++i)
            EXPECT_EQ(MPWaitOnSemaphore(semaphore.id, kDurationImmediate), 0);
        EXPECT_EQ(MPWaitOnSemaphore(semaphore.id, 20), -29296);
    }
}

TEST(MPSemaphore, TimedWaitLastsItsTimeOut)
{
    Semaphore semaphore(1, 0);
    const uint64_t start = UpTimeNanoseconds();
    EXPECT_EQ(MPWaitOnSemaphore(semaphore.id, 30), kMPTimeoutErr);
    EXPECT_GE(UpTimeNanoseconds() - start, 30000000u);
}

TEST(MPSemaphore, RejectsImpossibleLimits)
{
    const uint32_t limits[][2] = {{0, 0}, {1, 2}, {5, 6}};
    for (const auto& limit : limits)
    {
        MPSemaphoreID semaphore = reinterpret_cast<MPSemaphoreID>(1);
        EXPECT_NE(MPCreateSemaphore(limit[0], limit[1], &semaphore), 0);
        EXPECT_EQ(semaphore, nullptr);
    }
}

TEST(MPSemaphore, WaiterOnAnotherThreadWakesOnSignal)
{
    Semaphore semaphore(1, 0);
    Semaphore waiting(1, 0);
    OSStatus status = -1;
    std::thread waiter([&] {
        MPSignalSemaphore(waiting.id);
        status = MPWaitOnSemaphore(semaphore.id, kDurationForever);
    });
    ASSERT_EQ(MPWaitOnSemaphore(waiting.id, kGuard), 0);
    EXPECT_EQ(MPSignalSemaphore(semaphore.id), 0);
    waiter.join();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(MPWaitOnSemaphore(semaphore.id, kDurationImmediate), kMPTimeoutErr);
}

TEST(MPCriticalRegion, IsRecursiveAndHeldUntilTheLastExit)
{
    Region region;
    auto otherThreadEnters = [&region](Duration timeout) {
        OSStatus status = -1;
        std::thread other([&] {
            status = MPEnterCriticalRegion(region.id, timeout);
            if (status == 0)
                MPExitCriticalRegion(region.id);
        });
        other.join();
        return status == 0;
    };

    for (int depth = 1; depth <= 3; ++depth)
        ASSERT_EQ(MPEnterCriticalRegion(region.id, depth == 1 ? kDurationForever : kDurationImmediate), 0);
    for (int depth = 3; depth >= 1; --depth)
    {
        EXPECT_FALSE(otherThreadEnters(kDurationImmediate)) << "entered at depth " << depth;
        EXPECT_EQ(MPExitCriticalRegion(region.id), 0);
    }
    EXPECT_TRUE(otherThreadEnters(kDurationImmediate));
    EXPECT_TRUE(otherThreadEnters(kDurationForever));
}

TEST(MPCriticalRegion, TimedEnterWhileHeldElsewhereTimesOut)
{
    Region region;
    ASSERT_EQ(MPEnterCriticalRegion(region.id, kDurationForever), 0);
    OSStatus status = 0;
    uint64_t waited = 0;
    std::thread other([&] {
        const uint64_t start = UpTimeNanoseconds();
        status = MPEnterCriticalRegion(region.id, 30);
        waited = UpTimeNanoseconds() - start;
        if (status == 0)
            MPExitCriticalRegion(region.id);
    });
    other.join();
    EXPECT_EQ(status, kMPTimeoutErr);
    EXPECT_GE(waited, 30000000u);
    EXPECT_EQ(MPExitCriticalRegion(region.id), 0);
}

TEST(MPCriticalRegion, ExitWithoutHoldingIsRefused)
{
    Region region;
    EXPECT_NE(MPExitCriticalRegion(region.id), 0);
    ASSERT_EQ(MPEnterCriticalRegion(region.id, kDurationForever), 0);
    OSStatus status = 0;
    std::thread other([&] { status = MPExitCriticalRegion(region.id); });
    other.join();
    EXPECT_NE(status, 0);
    EXPECT_EQ(MPExitCriticalRegion(region.id), 0);
    EXPECT_NE(MPExitCriticalRegion(region.id), 0);
}

TEST(MPCriticalRegion, ExcludesOtherThreads)
{
    Region region;
    constexpr int kThreads = 4;
    constexpr int kIncrements = 20000;
    long counter = 0; // deliberately not atomic: only the region protects it
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back([&] {
            for (int i = 0; i < kIncrements; ++i)
            {
                MPEnterCriticalRegion(region.id, kDurationForever);
                MPEnterCriticalRegion(region.id, kDurationForever);
                long seen = counter;
                counter = seen + 1;
                MPExitCriticalRegion(region.id);
                MPExitCriticalRegion(region.id);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(counter, long(kThreads) * kIncrements);
}

namespace
{
struct TaskProbe
{
    MPSemaphoreID ran = nullptr;
    void* parameterSeen = nullptr;
    std::thread::id thread;
};

OSStatus probeTask(void* parameter)
{
    TaskProbe* probe = static_cast<TaskProbe*>(parameter);
    probe->parameterSeen = parameter;
    probe->thread = std::this_thread::get_id();
    MPSignalSemaphore(probe->ran);
    return 0;
}
} // namespace

TEST(MPTask, RunsItsEntryOnANewThreadWithItsParameter)
{
    for (size_t stackSize : {size_t(0), size_t(4096), size_t(16) << 20})
    {
        SCOPED_TRACE(stackSize);
        Semaphore ran(1, 0);
        TaskProbe probe;
        probe.ran = ran.id;
        MPTaskID task = nullptr;
        ASSERT_EQ(MPCreateTask(probeTask, &probe, stackSize, &task), 0);
        ASSERT_NE(task, nullptr);
        ASSERT_EQ(MPWaitOnSemaphore(ran.id, kGuard), 0);
        EXPECT_EQ(MPDeleteTask(task), 0);
        EXPECT_EQ(probe.parameterSeen, &probe);
        EXPECT_NE(probe.thread, std::this_thread::get_id());
    }
}

TEST(MPTask, RefusesAMissingEntry)
{
    MPTaskID task = reinterpret_cast<MPTaskID>(1);
    EXPECT_NE(MPCreateTask(nullptr, nullptr, 0, &task), 0);
    EXPECT_EQ(task, nullptr);
}

TEST(MultiprocessingNullIDs, EveryCallRefusesThem)
{
    MPEventFlags flags = 7;
    const OSStatus statuses[] = {
        MPCreateTask(probeTask, nullptr, 0, nullptr),
        MPDeleteTask(nullptr),
        MPTerminateTask(nullptr, 0),
        MPCreateEvent(nullptr),
        MPDeleteEvent(nullptr),
        MPSetEvent(nullptr, 1),
        MPWaitForEvent(nullptr, &flags, kDurationImmediate),
        MPCreateSemaphore(1, 0, nullptr),
        MPDeleteSemaphore(nullptr),
        MPSignalSemaphore(nullptr),
        MPWaitOnSemaphore(nullptr, kDurationImmediate),
        MPCreateCriticalRegion(nullptr),
        MPDeleteCriticalRegion(nullptr),
        MPEnterCriticalRegion(nullptr, kDurationImmediate),
        MPExitCriticalRegion(nullptr),
    };
    for (size_t i = 0; i < sizeof statuses / sizeof statuses[0]; ++i)
        EXPECT_EQ(statuses[i], kMPInvalidIDErr) << "call " << i;
    EXPECT_EQ(flags, 0u);
    EXPECT_TRUE(MPIsFullyInitialized());
}

TEST(UpTime, ReadsTheMonotonicClock)
{
    uint64_t previous = 0;
    for (int i = 0; i < 1000; ++i)
    {
        const uint64_t before = monotonicNow();
        const uint64_t upTime = UpTimeNanoseconds();
        const uint64_t after = monotonicNow();
        EXPECT_LE(before, upTime);
        EXPECT_LE(upTime, after);
        EXPECT_LE(previous, upTime);
        previous = upTime;
    }
}
