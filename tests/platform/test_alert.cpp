#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Alert.h"

namespace
{
std::mutex g_mutex;
std::vector<std::string> g_alerts;
std::vector<std::string> g_confirms;

void recordAlert(const char* text)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_alerts.push_back(text);
}

bool confirmYes(const char* text)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_confirms.push_back(text);
    return true;
}

bool confirmNo(const char* text)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_confirms.push_back(text);
    return false;
}

class Alerts : public testing::Test
{
protected:
    void SetUp() override
    {
        g_alerts.clear();
        g_confirms.clear();
    }
    void TearDown() override
    {
        SetAlertHandler(nullptr);
        SetConfirmHandler(nullptr);
    }
};

struct LineCase
{
    const char* text;
    const char* line;
};
const LineCase kLineCases[] = {
    {"Could not open the sound file.", "Could not open the sound file.\n"},
    {"first\nsecond\nthird", "first second third\n"},
    {"ends with a newline\n", "ends with a newline \n"},
    {"windows\r\nline", "windows  line\n"},
    {"", "\n"},
    {"ünïcødé ✓", "ünïcødé ✓\n"},
};
} // namespace

TEST_F(Alerts, DefaultWritesOneLineToStandardError)
{
    for (const LineCase& c : kLineCases)
    {
        testing::internal::CaptureStderr();
        ShowAlert(c.text);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line);
    }
    testing::internal::CaptureStderr();
    ShowAlert(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\n");
}

TEST_F(Alerts, HandlerReceivesTheTextInsteadOfStandardError)
{
    EXPECT_EQ(SetAlertHandler(recordAlert), nullptr);
    testing::internal::CaptureStderr();
    for (const LineCase& c : kLineCases)
        ShowAlert(c.text);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(g_alerts.size(), sizeof kLineCases / sizeof kLineCases[0]);
    for (size_t i = 0; i < g_alerts.size(); ++i)
        EXPECT_EQ(g_alerts[i], kLineCases[i].text) << "the handler gets the text as it was given";

    EXPECT_EQ(SetAlertHandler(nullptr), recordAlert);
    testing::internal::CaptureStderr();
    ShowAlert("back to the default");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "back to the default\n");
    EXPECT_EQ(g_alerts.size(), sizeof kLineCases / sizeof kLineCases[0]);
}

TEST_F(Alerts, ConfirmDefaultsToCancel)
{
    for (const LineCase& c : kLineCases)
    {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(ShowConfirm(c.text));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line);
    }
}

TEST_F(Alerts, ConfirmHandlerAnswers)
{
    struct Case
    {
        ConfirmHandler handler;
        bool answer;
    };
    const Case cases[] = {{confirmYes, true}, {confirmNo, false}};
    for (const Case& c : cases)
    {
        SetConfirmHandler(c.handler);
        g_confirms.clear();
        testing::internal::CaptureStderr();
        EXPECT_EQ(ShowConfirm("Replace the loop?"), c.answer);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(g_confirms, std::vector<std::string>{"Replace the loop?"});
    }
    EXPECT_EQ(SetConfirmHandler(nullptr), confirmNo);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(ShowConfirm("Replace the loop?"));
    testing::internal::GetCapturedStderr();
}

TEST_F(Alerts, HandlersCanBeSwappedWhileOtherThreadsAlert)
{
    std::atomic<bool> stop{false};
    testing::internal::CaptureStderr();
    std::vector<std::thread> alerting;
    for (int t = 0; t < 3; ++t)
    {
        alerting.emplace_back([&stop] {
            while (!stop.load())
                ShowAlert("busy");
        });
    }
    for (int i = 0; i < 2000; ++i)
        SetAlertHandler(i % 2 ? recordAlert : nullptr);
    SetAlertHandler(recordAlert);
    stop = true;
    for (std::thread& thread : alerting)
        thread.join();
    const std::string output = testing::internal::GetCapturedStderr();
    // Whatever went to standard error went there as whole lines.
    std::string expected;
    while (expected.size() < output.size())
        expected += "busy\n";
    EXPECT_EQ(output, expected);
    std::lock_guard<std::mutex> lock(g_mutex);
    for (const std::string& alert : g_alerts)
        ASSERT_EQ(alert, "busy");
}
