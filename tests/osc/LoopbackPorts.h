// Free UDP ports on this machine, for servers under test on loopback.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <random>

inline bool UdpPortIsFree(int port)
{
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<uint16_t>(port));
    bool free = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return free;
}

// A high port nobody is bound to right now.
inline int FreePort()
{
    static std::mt19937 random(std::random_device{}());
    for (;;)
    {
        int port = 20000 + static_cast<int>(random() % 40000);
        if (UdpPortIsFree(port))
            return port;
    }
}
