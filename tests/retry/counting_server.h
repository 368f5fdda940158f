// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A local HTTP server for the retry tests: each request is counted and time-stamped, and a test's
// handler decides the answer from the request's number (1-based).
#include <httplib.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tickora::test {

class CountingServer {
  public:
    using Clock = std::chrono::steady_clock;
    using Handler = std::function<void(int number, httplib::Response& res)>;

    explicit CountingServer(Handler handler) : m_handler(std::move(handler)) {
        m_server.Get(".*", [this](const httplib::Request&, httplib::Response& res) {
            int number = 0;
            {
                std::lock_guard lock(m_mutex);
                m_starts.push_back(Clock::now());
                number = static_cast<int>(m_starts.size());
            }
            m_handler(number, res);
        });
        // One request per connection: a client's idle keep-alive connection would otherwise hold
        // stop() for the whole keep-alive time-out.
        m_server.set_keep_alive_max_count(1);
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        // stop() ends only a server whose loop already runs: a test that ends at once would
        // otherwise leave the loop listening and its join waiting for ever.
        while (!m_server.is_running()) {
            std::this_thread::yield();
        }
        // stop() only works on a running server: never leave the constructor before it runs.
        while (!m_server.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    ~CountingServer() {
        m_server.stop();
        m_thread.join();
    }
    CountingServer(const CountingServer&) = delete;
    CountingServer& operator=(const CountingServer&) = delete;

    [[nodiscard]] std::string Url(const std::string& path = "/page.html") const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    [[nodiscard]] int Port() const { return m_port; }
    [[nodiscard]] int Requests() const {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(m_starts.size());
    }
    [[nodiscard]] std::vector<Clock::time_point> Starts() const {
        std::lock_guard lock(m_mutex);
        return m_starts;
    }

  private:
    Handler m_handler;
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<Clock::time_point> m_starts;
};

}  // namespace tickora::test
