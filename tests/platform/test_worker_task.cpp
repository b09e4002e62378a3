#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/WorkerTask.h"

namespace
{
constexpr Duration kGuard = 10000;

// Records every call of the body and counts them on a semaphore.
struct Recorder
{
    std::mutex mutex;
    std::vector<MPEventFlags> calls;
    MPSemaphoreID called = nullptr;

    Recorder() { MPCreateSemaphore(100000, 0, &called); }
    ~Recorder() { MPDeleteSemaphore(called); }

    static void Body(void* parameter, MPEventFlags flags)
    {
        Recorder* self = static_cast<Recorder*>(parameter);
        {
            std::lock_guard<std::mutex> lock(self->mutex);
            self->calls.push_back(flags);
        }
        MPSignalSemaphore(self->called);
    }

    MPEventFlags AllBits()
    {
        std::lock_guard<std::mutex> lock(mutex);
        MPEventFlags bits = 0;
        for (MPEventFlags flags : calls)
            bits |= flags;
        return bits;
    }
    std::vector<MPEventFlags> Calls()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }
    // Waits for calls until their bits together hold all of bits.
    bool WaitForBits(MPEventFlags bits)
    {
        while ((AllBits() & bits) != bits)
        {
            if (MPWaitOnSemaphore(called, kGuard) != 0)
                return false;
        }
        return true;
    }
};
} // namespace

TEST(WorkerTask, BodySeesTheSignalledBits)
{
    Recorder recorder;
    WorkerTask worker;
    ASSERT_EQ(worker.Start(Recorder::Body, &recorder), 0);
    EXPECT_TRUE(worker.IsRunning());

    const MPEventFlags steps[] = {0x1, 0x6, 0x100, 0x7FFFFFFF};
    MPEventFlags expected = 0;
    for (MPEventFlags bits : steps)
    {
        worker.Signal(bits);
        expected |= bits;
        ASSERT_TRUE(recorder.WaitForBits(expected)) << "bits 0x" << std::hex << bits << " never arrived";
    }
    EXPECT_EQ(worker.Stop("worker did not stop"), 0);
    EXPECT_FALSE(worker.IsRunning());
    for (MPEventFlags flags : recorder.Calls())
    {
        EXPECT_NE(flags, 0u) << "woken without bits although it waits forever";
        EXPECT_EQ(flags & WorkerTask::kStopFlag, 0u);
    }
    EXPECT_EQ(recorder.AllBits(), 0x7FFFFFFFu);
}

TEST(WorkerTask, BitsSignalledJustBeforeStopStillReachTheBody)
{
    for (MPEventFlags bits : {0x1u, 0x5u, 0x7FFFFFFFu})
    {
        Recorder recorder;
        WorkerTask worker;
        ASSERT_EQ(worker.Start(Recorder::Body, &recorder), 0);
        worker.Signal(bits);
        EXPECT_EQ(worker.Stop(nullptr), 0);
        EXPECT_EQ(recorder.AllBits(), bits);
    }
}

TEST(WorkerTask, SignallingTheStopBitDoesNotStopTheTask)
{
    Recorder recorder;
    WorkerTask worker;
    ASSERT_EQ(worker.Start(Recorder::Body, &recorder), 0);
    worker.Signal(WorkerTask::kStopFlag | 0x2);
    ASSERT_TRUE(recorder.WaitForBits(0x2));
    worker.Signal(0x8);
    ASSERT_TRUE(recorder.WaitForBits(0x8)) << "the task ended on a signalled stop bit";
    EXPECT_EQ(worker.Stop(nullptr), 0);
}

TEST(WorkerTask, PeriodicTaskIsCalledWithNoBitsWhenNothingArrives)
{
    Recorder recorder;
    WorkerTask worker;
    ASSERT_EQ(worker.Start(Recorder::Body, &recorder, 5), 0);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(MPWaitOnSemaphore(recorder.called, kGuard), 0);
    worker.Signal(0x10);
    ASSERT_TRUE(recorder.WaitForBits(0x10));
    EXPECT_EQ(worker.Stop(nullptr), 0);
    int empty = 0;
    for (MPEventFlags flags : recorder.Calls())
        empty += flags == 0;
    EXPECT_GE(empty, 3);
}

TEST(WorkerTask, StartStopAndSignalOutOfTurn)
{
    Recorder recorder;
    WorkerTask worker;
    worker.Signal(0x1); // not running: nothing happens
    EXPECT_EQ(worker.Stop("never started"), 0);
    EXPECT_NE(worker.Start(nullptr, &recorder), 0);
    EXPECT_FALSE(worker.IsRunning());

    for (int round = 0; round < 3; ++round)
    {
        SCOPED_TRACE(round);
        ASSERT_EQ(worker.Start(Recorder::Body, &recorder), 0);
        EXPECT_NE(worker.Start(Recorder::Body, &recorder), 0) << "a second task was started";
        worker.Signal(1u << round);
        ASSERT_TRUE(recorder.WaitForBits(1u << round));
        EXPECT_EQ(worker.Stop(nullptr), 0);
        EXPECT_EQ(worker.Stop(nullptr), 0);
        EXPECT_FALSE(worker.IsRunning());
    }
    EXPECT_TRUE(recorder.Calls().size() >= 3);
}

namespace
{
// A body that ignores the stop bit: it stays inside until the test lets it
// go. Instances are static and never destroyed, because the abandoned thread
// still uses them after the test has moved on.
struct StuckBody
{
    MPSemaphoreID entered = nullptr;
    MPSemaphoreID release = nullptr;
    MPSemaphoreID left = nullptr;

    StuckBody()
    {
        MPCreateSemaphore(1, 0, &entered);
        MPCreateSemaphore(1, 0, &release);
        MPCreateSemaphore(1, 0, &left);
    }

    static void Body(void* parameter, MPEventFlags)
    {
        StuckBody* self = static_cast<StuckBody*>(parameter);
        MPSignalSemaphore(self->entered);
        MPWaitOnSemaphore(self->release, kDurationForever);
        MPSignalSemaphore(self->left);
    }
};
} // namespace

TEST(WorkerTask, StopGivesUpOnATaskThatIgnoresItAndPrintsTheMessage)
{
    struct Case
    {
        const char* message;
        const char* expectedOutput;
    };
    const Case cases[] = {
        {"Orvotide: the disk task did not stop", "Orvotide: the disk task did not stop\n"},
        {"two\nlines", "two lines\n"},
        {nullptr, ""},
    };
    static StuckBody stuckBodies[sizeof cases / sizeof cases[0]];
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
    {
        const Case& c = cases[i];
        SCOPED_TRACE(c.expectedOutput);
        StuckBody* stuck = &stuckBodies[i];
        WorkerTask worker;
        ASSERT_EQ(worker.Start(StuckBody::Body, stuck), 0);
        worker.Signal(0x1);
        ASSERT_EQ(MPWaitOnSemaphore(stuck->entered, kGuard), 0);

        // Stop cannot wait for the body: the body only leaves once Stop has returned.
        testing::internal::CaptureStderr();
        const OSStatus status = worker.Stop(c.message, 200);
        const std::string output = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, kMPTimeoutErr);
        EXPECT_EQ(output, c.expectedOutput);
        EXPECT_FALSE(worker.IsRunning());
        EXPECT_EQ(worker.Stop("again"), 0);

        // Let the abandoned task finish, so the process ends without it inside the body.
        MPSignalSemaphore(stuck->release);
        ASSERT_EQ(MPWaitOnSemaphore(stuck->left, kGuard), 0);
    }
}

TEST(WorkerTask, CanStartAgainAfterAnAbandonedTask)
{
    static StuckBody stuckBody;
    StuckBody* stuck = &stuckBody;
    WorkerTask worker;
    ASSERT_EQ(worker.Start(StuckBody::Body, stuck), 0);
    worker.Signal(0x1);
    ASSERT_EQ(MPWaitOnSemaphore(stuck->entered, kGuard), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(worker.Stop(nullptr, 50), kMPTimeoutErr);
    testing::internal::GetCapturedStderr();

    Recorder recorder;
    ASSERT_EQ(worker.Start(Recorder::Body, &recorder), 0);
    worker.Signal(0x4);
    EXPECT_TRUE(recorder.WaitForBits(0x4));
    EXPECT_EQ(worker.Stop(nullptr), 0);

    MPSignalSemaphore(stuck->release);
    ASSERT_EQ(MPWaitOnSemaphore(stuck->left, kGuard), 0);
    EXPECT_EQ(recorder.AllBits(), 0x4u) << "the abandoned task's bits reached the new one";
}
