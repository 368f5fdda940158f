// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/loopback_server.h"

#include <gtest/gtest.h>

#include "tests/support/wait_for.h"

namespace tickora::test {

LoopbackServer::LoopbackServer(Handler handler) : m_handler(std::move(handler)) {
    m_server.Get(".*",
                 [this](const httplib::Request& req, httplib::Response& res) { Serve(req, res); });
    // One request per connection: a client's idle keep-alive connection would otherwise hold
    // stop() for the whole keep-alive time-out.
    m_server.set_keep_alive_max_count(1);
    m_port = m_server.bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    // stop() ends only a server whose loop already runs: a test that ends at once would
    // otherwise leave the loop listening and its join waiting for ever.
    if (!WaitFor([this] { return m_server.is_running(); })) {
        ADD_FAILURE() << "the loopback server did not start listening";
    }
}

LoopbackServer::~LoopbackServer() {
    m_server.stop();
    m_thread.join();
}

std::string LoopbackServer::Url(const std::string& target) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + target;
}

void LoopbackServer::Set(const std::string& target, const std::string& body, int status) {
    std::lock_guard lock(m_mutex);
    m_pages[target] = {status, body};
}

void LoopbackServer::AddRoute(const std::string& path, Route route) {
    std::lock_guard lock(m_mutex);
    m_routes[path] = std::move(route);
}

void LoopbackServer::SetFallbackStatus(int status) {
    std::lock_guard lock(m_mutex);
    m_fallbackStatus = status;
}

int LoopbackServer::Requests() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_starts.size());
}

std::vector<LoopbackServer::Clock::time_point> LoopbackServer::Starts() const {
    std::lock_guard lock(m_mutex);
    return m_starts;
}

std::vector<std::string> LoopbackServer::Targets() const {
    std::lock_guard lock(m_mutex);
    return m_targets;
}

void LoopbackServer::Serve(const httplib::Request& req, httplib::Response& res) {
    Route route;
    int number = 0;
    {
        std::lock_guard lock(m_mutex);
        m_starts.push_back(Clock::now());
        m_targets.push_back(req.target);
        number = static_cast<int>(m_starts.size());
        const auto found = m_routes.find(req.path);
        if (found != m_routes.end()) {
            route = found->second;
        } else if (!m_handler) {
            const auto page = m_pages.find(req.target);
            if (page == m_pages.end()) {
                res.status = m_fallbackStatus;
                res.set_content("<html>not found</html>", "text/html");
            } else {
                res.status = page->second.first;
                res.set_content(page->second.second, "text/html; charset=EUC-JP");
            }
            return;
        }
    }
    // Outside the lock: a route or handler may take its time (a drip, a stall).
    route ? route(req, res) : m_handler(number, res);
}

void Answer(httplib::Response& res, int status, const char* retryAfter) {
    res.status = status;
    if (retryAfter != nullptr) {
        res.set_header("Retry-After", retryAfter);
    }
    res.set_content(status == 200 ? kLoopbackPage : "error page", "text/html");
}

void AnswerCutShort(httplib::Response& res) {
    res.status = 200;
    res.set_content_provider(1000, "text/html",
                             [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                 if (offset == 0) {
                                     sink.write("partial", 7);
                                 }
                                 return false;
                             });
}

}  // namespace tickora::test
