#pragma once
// A TCP relay on loopback for the tests and the benchmark: it counts the connections a client
// opens and the bytes it receives, can hold every chunk for a while in each direction (a distant
// site at the TCP level, so HTTP/2 and TLS pay it too), and can act as a small HTTP proxy that
// only knows CONNECT, or as one that refuses every request.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace tickora::test {

struct RelayOptions {
    int upstreamPort = 0;  // where every connection goes; unused as a proxy
    // Each chunk waits this long before it is passed on, in each direction.
    std::chrono::milliseconds delay{0};
    // A line of this many bytes a second each way, shared by every connection as a user's line
    // is; 0 for none. A chunk waits its turn on the line, then the delay.
    std::int64_t bytesPerSecond = 0;
    // Answer "CONNECT host:port" and then relay to that port on loopback, as a proxy does.
    bool connectProxy = false;
    // Answer every request, CONNECT or not, with this status and close, as a proxy that wants a
    // user name and password does with 407; 0 for none.
    int proxyRefusal = 0;
};

class TcpRelay {
  public:
    explicit TcpRelay(RelayOptions options);
    ~TcpRelay();
    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;

    // Listens on a free loopback port; false when it cannot.
    [[nodiscard]] bool Start();
    [[nodiscard]] int Port() const;
    [[nodiscard]] int Connections() const;
    // Bytes passed from the upstream to the clients.
    [[nodiscard]] std::int64_t BytesToClients() const;
    // The CONNECT requests a proxy answered, as "host:port".
    [[nodiscard]] int ConnectRequests() const;
    void ResetCounts();

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace tickora::test
