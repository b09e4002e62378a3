#include "platform/Alert.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

namespace
{
std::atomic<AlertHandler> g_alertHandler{nullptr};
std::atomic<ConfirmHandler> g_confirmHandler{nullptr};
} // namespace

void WriteErrorLine(const char* text)
{
    std::string line = text ? text : "";
    for (char& c : line)
    {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    line += '\n';
    // One write per line keeps lines from different threads apart.
    const char* data = line.data();
    size_t left = line.size();
    while (left > 0)
    {
        ssize_t written = ::write(STDERR_FILENO, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        data += written;
        left -= static_cast<size_t>(written);
    }
}

void ShowAlert(const char* text)
{
    if (AlertHandler handler = g_alertHandler.load())
        handler(text ? text : "");
    else
        WriteErrorLine(text);
}

AlertHandler SetAlertHandler(AlertHandler handler)
{
    return g_alertHandler.exchange(handler);
}

bool ShowConfirm(const char* text)
{
    if (ConfirmHandler handler = g_confirmHandler.load())
        return handler(text ? text : "");
    WriteErrorLine(text);
    return false;
}

ConfirmHandler SetConfirmHandler(ConfirmHandler handler)
{
    return g_confirmHandler.exchange(handler);
}
