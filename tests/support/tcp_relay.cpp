#include "tests/support/tcp_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tickora::test {
namespace {

using Clock = std::chrono::steady_clock;

int ConnectLoopback(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    int yes = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    return fd;
}

bool SendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

struct Chunk {
    Clock::time_point due;
    std::string bytes;
};

}  // namespace

struct TcpRelay::Impl {
    RelayOptions options;
    int listenFd = -1;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::atomic<int> connections{0};
    std::atomic<std::int64_t> bytesToClients{0};
    std::atomic<int> connectRequests{0};
    std::thread acceptor;
    std::mutex mutex;
    std::vector<std::thread> pipes;
    std::mutex lineMutex;
    Clock::time_point lineFree[2];  // when each direction's line has sent what it was given

    // When a chunk of size bytes read now reaches the other side.
    Clock::time_point Due(int direction, std::size_t size) {
        const auto now = Clock::now();
        if (options.bytesPerSecond <= 0) {
            return now + options.delay;
        }
        const auto sending = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(static_cast<double>(size) /
                                          static_cast<double>(options.bytesPerSecond)));
        std::lock_guard lock(lineMutex);
        Clock::time_point& free = lineFree[direction];
        free = std::max(free, now) + sending;
        return free + options.delay;
    }

    // The request head up to its blank line; empty when the client closed first.
    static std::string ReadHead(int client) {
        std::string head;
        char c = 0;
        while (head.size() < 8192 && head.find("\r\n\r\n") == std::string::npos) {
            if (::recv(client, &c, 1, 0) != 1) {
                return {};
            }
            head += c;
        }
        return head;
    }

    void Refuse(int client) const {
        if (ReadHead(client).empty()) {
            return;
        }
        const std::string answer = "HTTP/1.1 " + std::to_string(options.proxyRefusal) +
                                   " Refused\r\nProxy-Authenticate: Basic realm=\"test\"\r\n"
                                   "Content-Length: 0\r\nConnection: close\r\n\r\n";
        (void)SendAll(client, answer.data(), answer.size());
    }

    // Reads "CONNECT 127.0.0.1:PORT HTTP/1.1 ... \r\n\r\n" and answers it; the upstream port, or
    // -1 for anything else.
    int AnswerConnect(int client) {
        const std::string head = ReadHead(client);
        if (head.empty()) {
            return -1;
        }
        if (head.rfind("CONNECT ", 0) != 0) {
            const char* refusal = "HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\n\r\n";
            (void)SendAll(client, refusal, std::strlen(refusal));
            return -1;
        }
        const std::size_t colon = head.find(':', 8);
        const std::size_t space = head.find(' ', 8);
        if (colon == std::string::npos || space == std::string::npos || colon > space) {
            return -1;
        }
        ++connectRequests;
        const char* ok = "HTTP/1.1 200 Connection established\r\n\r\n";
        (void)SendAll(client, ok, std::strlen(ok));
        return std::atoi(head.substr(colon + 1, space - colon - 1).c_str());
    }

    // Passes bytes both ways, each chunk held for the delay, until either side closes.
    void Pipe(int client) {
        if (options.proxyRefusal != 0) {
            Refuse(client);
            ::close(client);
            return;
        }
        int upstreamPort = options.upstreamPort;
        if (options.connectProxy) {
            upstreamPort = AnswerConnect(client);
        }
        const int upstream = upstreamPort > 0 ? ConnectLoopback(upstreamPort) : -1;
        if (upstream < 0) {
            ::close(client);
            return;
        }
        const int fds[2] = {client, upstream};
        std::deque<Chunk> queued[2];  // queued[i]: read from fds[i], to go to fds[1 - i]
        bool open[2] = {true, true};
        std::vector<char> buffer(64 * 1024);
        while (!stopping && (open[0] || open[1] || !queued[0].empty() || !queued[1].empty())) {
            const auto now = Clock::now();
            int timeout = 50;
            for (int i = 0; i < 2; ++i) {
                while (!queued[i].empty() && queued[i].front().due <= now) {
                    const std::string& bytes = queued[i].front().bytes;
                    if (!SendAll(fds[1 - i], bytes.data(), bytes.size())) {
                        open[0] = open[1] = false;
                        queued[0].clear();
                        queued[1].clear();
                        break;
                    }
                    if (i == 1) {
                        bytesToClients += static_cast<std::int64_t>(bytes.size());
                    }
                    queued[i].pop_front();
                }
                if (!queued[i].empty()) {
                    const auto wait =
                        std::chrono::ceil<std::chrono::milliseconds>(queued[i].front().due - now);
                    timeout = std::min(timeout, static_cast<int>(wait.count()));
                }
                // A side that closed passes its close on once its bytes are through.
                if (!open[i] && queued[i].empty()) {
                    ::shutdown(fds[1 - i], SHUT_WR);
                }
            }
            if (!open[0] && !open[1]) {
                break;
            }
            pollfd polls[2] = {{fds[0], static_cast<short>(open[0] ? POLLIN : 0), 0},
                               {fds[1], static_cast<short>(open[1] ? POLLIN : 0), 0}};
            if (::poll(polls, 2, std::max(timeout, 0)) < 0) {
                break;
            }
            for (int i = 0; i < 2; ++i) {
                if (!open[i] || (polls[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                    continue;
                }
                const ssize_t n = ::recv(fds[i], buffer.data(), buffer.size(), 0);
                if (n <= 0) {
                    open[i] = false;
                    continue;
                }
                queued[i].push_back({Due(i, static_cast<std::size_t>(n)),
                                     std::string(buffer.data(), static_cast<std::size_t>(n))});
            }
        }
        ::close(client);
        ::close(upstream);
    }

    void Accept() {
        while (!stopping) {
            pollfd poll{listenFd, POLLIN, 0};
            if (::poll(&poll, 1, 50) <= 0) {
                continue;
            }
            const int client = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) {
                continue;
            }
            int yes = 1;
            ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
            ++connections;
            std::lock_guard lock(mutex);
            pipes.emplace_back([this, client] { Pipe(client); });
        }
    }
};

TcpRelay::TcpRelay(RelayOptions options) : m_impl(std::make_unique<Impl>()) {
    m_impl->options = options;
}

TcpRelay::~TcpRelay() {
    m_impl->stopping = true;
    if (m_impl->acceptor.joinable()) {
        m_impl->acceptor.join();
    }
    for (std::thread& pipe : m_impl->pipes) {
        pipe.join();
    }
    if (m_impl->listenFd >= 0) {
        ::close(m_impl->listenFd);
    }
}

bool TcpRelay::Start() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, SOMAXCONN) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    m_impl->listenFd = fd;
    m_impl->port = ntohs(address.sin_port);
    m_impl->acceptor = std::thread([this] { m_impl->Accept(); });
    return true;
}

int TcpRelay::Port() const {
    return m_impl->port;
}

int TcpRelay::Connections() const {
    return m_impl->connections.load();
}

std::int64_t TcpRelay::BytesToClients() const {
    return m_impl->bytesToClients.load();
}

int TcpRelay::ConnectRequests() const {
    return m_impl->connectRequests.load();
}

void TcpRelay::ResetCounts() {
    m_impl->connections = 0;
    m_impl->bytesToClients = 0;
    m_impl->connectRequests = 0;
}

}  // namespace tickora::test
