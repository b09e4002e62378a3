// Announces the OSC server on the local network as a zero-configuration
// service through the Avahi client. Without a running Avahi daemon nothing
// is announced and nothing fails.
#pragma once

#include <string>

struct AvahiThreadedPoll;
struct AvahiClient;

namespace VL
{
class ServicePublisher
{
public:
    // Registers name as a service of type "_osc._udp" on port.
    ServicePublisher(const std::string& name, int port);
    // Withdraws the service.
    ~ServicePublisher();
    ServicePublisher(const ServicePublisher&) = delete;
    ServicePublisher& operator=(const ServicePublisher&) = delete;

    bool Published() const { return m_client != nullptr; }

private:
    AvahiThreadedPoll* m_poll = nullptr;
    AvahiClient* m_client = nullptr;
};
} // namespace VL
