// SPDX-License-Identifier: GPL-3.0-or-later
// tickora-site: the simulated finance site on loopback, for the demo, the tests and the
// benchmarks.
//   tickora-site [--port N] [--stocks N] [--seed N] [--date YYYY-MM-DD] [--latency MS]
//                [--split YYYY-MM-DD] [--listed YYYY-MM-DD] [--dump-truth FILE]
//                [--write-fetchlist FILE] [--gzip] [--tls CERT KEY]
//   tickora-site --help
// With --port 0 the chosen port is the first line of standard output. SIGINT and SIGTERM stop it.
// --latency delays every page answer by MS milliseconds, as a distant site would; --split shows
// the history before that date adjusted for a 1:2 split. --listed places the young stocks'
// listings before that date instead of before --date, so that two sites with the same --listed
// and a later --date show histories that only grew. --gzip compresses the pages for a client that
// asks for gzip; --tls serves HTTPS with the PEM certificate chain CERT and its key KEY.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "site/site_server.h"

namespace {

void Usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: tickora-site [--port N] [--stocks N] [--seed N] [--date YYYY-MM-DD]\n"
                 "                    [--latency MS] [--split YYYY-MM-DD] [--listed YYYY-MM-DD]\n"
                 "                    [--dump-truth FILE] [--write-fetchlist FILE] [--gzip]\n"
                 "                    [--tls CERT KEY]\n");
}

bool ParseNumber(const char* text, long long& value) {
    char* end = nullptr;
    value = std::strtoll(text, &end, 10);
    return end != text && *end == '\0';
}

// YYYY-MM-DD naming a day of the calendar from 1983 on, with nothing after it.
bool ParseDate(const char* text, int& year, int& month, int& day) {
    int used = 0;
    if (std::sscanf(text, "%d-%d-%d%n", &year, &month, &day, &used) != 3 || text[used] != '\0' ||
        year < 1983 || year > 9999 || month < 1 || month > 12 || day < 1) {
        return false;
    }
    using namespace std::chrono;
    return year_month_day{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                          std::chrono::day{static_cast<unsigned>(day)}}
        .ok();
}

// A minute per answer is already no site at all.
constexpr long long kMaxLatencyMs = 60000;

}  // namespace

int main(int argc, char** argv) {
    tickora::site::SiteOptions options;
    std::string truthPath;
    std::string fetchListPath;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--gzip") {
            options.gzip = true;
            continue;
        }
        if (arg == "--tls" && i + 2 < argc) {
            options.tlsCertFile = argv[++i];
            options.tlsKeyFile = argv[++i];
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        }
        if (i + 1 >= argc) {
            Usage(stderr);
            return 2;
        }
        const char* value = argv[++i];
        long long number = 0;
        if (arg == "--port" && ParseNumber(value, number) && number >= 0 && number <= 65535) {
            options.port = static_cast<int>(number);
        } else if (arg == "--stocks" && ParseNumber(value, number) && number > 0) {
            options.stocks = static_cast<int>(number);
        } else if (arg == "--seed" && ParseNumber(value, number)) {
            options.seed = static_cast<std::uint64_t>(number);
        } else if (arg == "--date" && ParseDate(value, options.year, options.month, options.day)) {
        } else if (arg == "--split" &&
                   ParseDate(value, options.splitYear, options.splitMonth, options.splitDay)) {
        } else if (arg == "--listed" &&
                   ParseDate(value, options.listedYear, options.listedMonth, options.listedDay)) {
        } else if (arg == "--latency" && ParseNumber(value, number) && number >= 0 &&
                   number <= kMaxLatencyMs) {
            options.latency = std::chrono::milliseconds(number);
        } else if (arg == "--dump-truth") {
            truthPath = value;
        } else if (arg == "--write-fetchlist") {
            fetchListPath = value;
        } else {
            Usage(stderr);
            return 2;
        }
    }

    tickora::site::SiteServer server(options);
    if (!truthPath.empty() || !fetchListPath.empty()) {
        if (!truthPath.empty() && !server.DumpTruth(truthPath)) {
            std::fprintf(stderr, "tickora-site: cannot write %s\n", truthPath.c_str());
            return 1;
        }
        if (!fetchListPath.empty()) {
            std::ofstream out(fetchListPath, std::ios::binary | std::ios::trunc);
            out << server.FetchListCsv();
            if (!out.flush()) {
                std::fprintf(stderr, "tickora-site: cannot write %s\n", fetchListPath.c_str());
                return 1;
            }
        }
        return 0;
    }

    // The server threads inherit this mask, so the signals reach only the sigwait below.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    if (!server.Start()) {
        std::fprintf(stderr, "tickora-site: cannot listen on %s port %d%s\n",
                     options.bindAddress.c_str(), options.port,
                     options.tlsCertFile.empty() ? "" : " (or the certificate or key is unusable)");
        return 1;
    }
    std::printf("%d\n", server.Port());
    std::fflush(stdout);
    std::fprintf(stderr, "tickora-site: serving %s\n", server.Url().c_str());

    int received = 0;
    sigwait(&signals, &received);
    server.Stop();
    return 0;
}
