// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A server on loopback for the answers the simulated site does not give: every request is
// counted, time-stamped and its target kept. The answer comes from the first that applies: a
// route the test added for the path, the test's handler (given the request's 1-based number),
// a page set for the exact target, or the fallback status (404 unless switched).
#include <httplib.h>

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tickora::test {

class LoopbackServer {
  public:
    using Clock = std::chrono::steady_clock;
    using Handler = std::function<void(int number, httplib::Response& res)>;
    using Route = std::function<void(const httplib::Request& req, httplib::Response& res)>;

    explicit LoopbackServer(Handler handler = {});
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    [[nodiscard]] std::string Url(const std::string& target = "") const;
    [[nodiscard]] int Port() const { return m_port; }

    // target is the path and query after the host, as a URL built on Url() holds it.
    void Set(const std::string& target, const std::string& body, int status = 200);
    void AddRoute(const std::string& path, Route route);
    // What a target with no page, route or handler gets.
    void SetFallbackStatus(int status);

    [[nodiscard]] int Requests() const;
    [[nodiscard]] std::vector<Clock::time_point> Starts() const;
    [[nodiscard]] std::vector<std::string> Targets() const;

  private:
    void Serve(const httplib::Request& req, httplib::Response& res);

    Handler m_handler;
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<Clock::time_point> m_starts;
    std::vector<std::string> m_targets;
    std::map<std::string, std::pair<int, std::string>> m_pages;
    std::map<std::string, Route> m_routes;
    int m_fallbackStatus = 404;
};

// Fault switches for handlers: a status with an error page (kLoopbackPage for 200, with
// Retry-After when given), and a 200 whose connection closes after a few bytes of a longer
// announced body.
inline const std::string kLoopbackPage = "<html>page body</html>";
void Answer(httplib::Response& res, int status, const char* retryAfter = nullptr);
void AnswerCutShort(httplib::Response& res);

}  // namespace tickora::test
