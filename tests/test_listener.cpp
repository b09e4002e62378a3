// Parameter handles and the change listener that feeds the GUI.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "plugin/VmraEditor.h"
#include "plugin/VmraListener.h"
#include "plugin/VmraXFadeLooperSynth.h"

namespace
{
struct Delivery
{
    void* element;
    long parameterID;
    float value;
    bool operator==(const Delivery& o) const
    {
        return element == o.element && parameterID == o.parameterID && value == o.value;
    }
};

std::vector<Delivery> g_deliveries;

void record(void*, void* element, long parameterID, float value)
{
    g_deliveries.push_back({element, parameterID, value});
}

int g_element1, g_element2;

// An editor that forwards parameter changes to a listener, as the GUI does.
class ListeningEditor : public VmraEditor
{
public:
    ListeningEditor(AudioEffect* effect, VmraListener* listener) : VmraEditor(effect), m_listener(listener) {}
    void setParameter(int index, float value) override { m_listener->Notify(index, value); }

private:
    VmraListener* m_listener;
};

VstIntPtr refusingHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? kVstVersion : 0;
}
} // namespace

class Listener : public ::testing::Test
{
protected:
    void SetUp() override { g_deliveries.clear(); }
    VmraListener listener{record, nullptr, kNumParams};
};

TEST_F(Listener, ChangesArriveInOrderEveryTime)
{
    listener.Add(kParam_FilterCutoff, &g_element1);
    listener.Add(kParam_FilterCutoff, &g_element2);
    listener.Add(kParam_Volume, &g_element1);
    listener.Notify(kParam_FilterCutoff, 500);
    listener.Notify(kParam_Volume, 1.5f);
    listener.Notify(kParam_FilterCutoff, 700);
    listener.Notify(kParam_Attack, 2); // nobody listens
    EXPECT_TRUE(g_deliveries.empty());
    listener.DoCallbacks();
    std::vector<Delivery> expected = {{&g_element1, 15, 500}, {&g_element2, 15, 500}, {&g_element1, 0, 1.5f},
                                      {&g_element1, 15, 700}, {&g_element2, 15, 700}};
    EXPECT_EQ(g_deliveries, expected);
    g_deliveries.clear();
    listener.DoCallbacks();
    EXPECT_TRUE(g_deliveries.empty());
}

TEST_F(Listener, PlaceholdersNeverCallBack)
{
    for (int i = 0; i < 3; ++i)
    {
        listener.Add(kParam_Unused13, &g_element1);
        listener.Add(kParam_Unused25, &g_element2);
    }
    listener.Notify(kParam_Unused13, 1);
    listener.Notify(kParam_Unused25, 1);
    listener.DoCallbacks();
    VmraXFadeLooperSynth unit(refusingHost);
    listener.UpdateAll(&unit);
    EXPECT_TRUE(g_deliveries.empty());
}

TEST_F(Listener, UpdateAllCallsBackEveryBoundParameter)
{
    VmraXFadeLooperSynth unit(refusingHost);
    listener.Add(kParam_RootNote, &g_element1);
    listener.Add(kParam_Sustain, &g_element2);
    EXPECT_EQ(listener.UpdateAll(&unit), kNumParams);
    std::vector<Delivery> expected = {{&g_element1, 1, 60}, {&g_element2, 14, 0.7f}};
    EXPECT_EQ(g_deliveries, expected);
}

TEST_F(Listener, ManyWritersOneReaderLoseNoFinalValue)
{
    listener.Add(kParam_FilterCutoff, &g_element1);
    listener.Add(kParam_Volume, &g_element2);
    std::atomic<bool> done{false};
    // Two writers (think automation and a script) each send an increasing
    // series; far more than the ring holds between two idles.
    std::thread a([&] {
        for (int i = 1; i <= 20000; ++i)
            listener.Notify(kParam_FilterCutoff, static_cast<float>(i));
    });
    std::thread b([&] {
        for (int i = 1; i <= 20000; ++i)
            listener.Notify(kParam_Volume, static_cast<float>(i));
    });
    std::thread reader([&] {
        while (!done.load())
            listener.DoCallbacks();
    });
    a.join();
    b.join();
    done = true;
    reader.join();
    listener.DoCallbacks();
    float lastCutoff = 0, lastVolume = 0;
    for (const Delivery& d : g_deliveries)
    {
        float& last = d.parameterID == kParam_FilterCutoff ? lastCutoff : lastVolume;
        EXPECT_GE(d.value, last) << "out of order for " << d.parameterID;
        last = d.value;
    }
    EXPECT_EQ(lastCutoff, 20000);
    EXPECT_EQ(lastVolume, 20000);
}

TEST(Parameter, HandleReadsAndWritesThroughTheOwner)
{
    g_deliveries.clear();
    VmraListener listener(record, nullptr, kNumParams);
    VmraXFadeLooperSynth unit(refusingHost);
    unit.SetVmraEditor(new ListeningEditor(&unit, &listener));
    listener.Add(kParam_FilterCutoff, &g_element1);

    CAAUParameter cutoff(&unit, kParam_FilterCutoff, 0, 0);
    EXPECT_STREQ(cutoff.ParameterInfo().name, "Filter Cutoff");
    EXPECT_EQ(cutoff.ParameterInfo().maxValue, 12000);
    EXPECT_EQ(cutoff.GetValue(), 1000);
    // The host refuses the automation message; the value is stored anyway.
    EXPECT_EQ(cutoff.SetValue(nullptr, nullptr, 2500), 0);
    EXPECT_EQ(cutoff.GetValue(), 2500);
    EXPECT_EQ(unit.CurrentProgram()->GetParameter(kParam_FilterCutoff), 2500);
    listener.DoCallbacks();
    ASSERT_EQ(g_deliveries.size(), 1u);
    EXPECT_EQ(g_deliveries[0].value, 2500);

    // Host automation reaches the listener through the editor as well.
    g_deliveries.clear();
    unit.setParameter(kParam_FilterCutoff, 0.0f);
    listener.DoCallbacks();
    ASSERT_EQ(g_deliveries.size(), 1u);
    EXPECT_EQ(g_deliveries[0].value, 50);

    CAAUParameter empty;
    EXPECT_STREQ(empty.ParameterInfo().name, "");
    EXPECT_EQ(empty.ParameterInfo().maxValue, 0);
}
