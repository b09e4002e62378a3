#include "osc/ServicePublisher.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/error.h>
#include <avahi-common/thread-watch.h>
#include <dlfcn.h>

#include <mutex>

namespace VL
{
namespace
{
// State changes (daemon gone, name collisions) need no action: the service
// simply stays absent.
void ignoreClientEvent(AvahiClient*, AvahiClientState, void*) {}
void ignoreGroupEvent(AvahiEntryGroup*, AvahiEntryGroupState, void*) {}

// Once a client has talked to the daemon, libdbus keeps process-wide state
// that it never releases; unloading it with the plug-in would lose that
// state (and any thread of it still running). Keep the client libraries
// loaded for the life of the process.
void pinClientLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (const char* library : {"libdbus-1.so.3", "libavahi-common.so.3", "libavahi-client.so.3"})
            dlopen(library, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    });
}
} // namespace

ServicePublisher::ServicePublisher(const std::string& name, int port)
{
    pinClientLibraries();
    m_poll = avahi_threaded_poll_new();
    if (!m_poll)
        return;
    int error = 0;
    m_client = avahi_client_new(avahi_threaded_poll_get(m_poll), static_cast<AvahiClientFlags>(0), ignoreClientEvent,
                                nullptr, &error);
    if (!m_client)
        return; // no daemon
    // The poll thread is not running yet, so the client may be used freely.
    AvahiEntryGroup* group = avahi_entry_group_new(m_client, ignoreGroupEvent, nullptr);
    if (!group ||
        avahi_entry_group_add_service(group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, static_cast<AvahiPublishFlags>(0),
                                      name.c_str(), "_osc._udp", nullptr, nullptr, static_cast<uint16_t>(port),
                                      nullptr) < 0 ||
        avahi_entry_group_commit(group) < 0 || avahi_threaded_poll_start(m_poll) < 0)
    {
        avahi_client_free(m_client); // frees the group too
        m_client = nullptr;
    }
}

ServicePublisher::~ServicePublisher()
{
    if (m_poll)
        avahi_threaded_poll_stop(m_poll);
    if (m_client)
        avahi_client_free(m_client);
    if (m_poll)
        avahi_threaded_poll_free(m_poll);
}
} // namespace VL
