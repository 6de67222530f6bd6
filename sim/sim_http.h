// The simulated board's web interface: one German page with the firmware version, the time and
// every page's entries with their states, and a button per output that switches it, over the same
// board the command port serves. On 127.0.0.1 only; its threads never hold up the command port.
#pragma once

#include "netio_sim.h"

#include <cstdint>
#include <memory>

namespace netio {

class WebServer {
public:
    explicit WebServer(Simulator& board);
    ~WebServer();   // stops
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    bool Start(std::uint16_t port);   // 0: any free port; serves on threads of its own
    void Stop();
    std::uint16_t Port() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace netio
