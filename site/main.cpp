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
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
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

struct SiteArgs {
    tickora::site::SiteOptions options;
    std::string truthPath;
    std::string fetchListPath;
};

bool TakeNumber(const char* text, long long min, long long max, long long& value) {
    return ParseNumber(text, value) && value >= min && value <= max;
}

// The options that take one value; false refuses the value.
struct ValueOption {
    const char* name;
    bool (*take)(const char* value, SiteArgs& args);
};

constexpr long long kAnyNumber = std::numeric_limits<long long>::max();

constexpr ValueOption kValueOptions[] = {
    {"--port",
     [](const char* value, SiteArgs& args) {
         long long number = 0;
         const bool ok = TakeNumber(value, 0, 65535, number);
         args.options.port = static_cast<int>(number);
         return ok;
     }},
    {"--stocks",
     [](const char* value, SiteArgs& args) {
         long long number = 0;
         const bool ok = TakeNumber(value, 1, kAnyNumber, number);
         args.options.stocks = static_cast<int>(number);
         return ok;
     }},
    {"--seed",
     [](const char* value, SiteArgs& args) {
         long long number = 0;
         const bool ok = ParseNumber(value, number);
         args.options.seed = static_cast<std::uint64_t>(number);
         return ok;
     }},
    {"--date",
     [](const char* value, SiteArgs& args) {
         return ParseDate(value, args.options.year, args.options.month, args.options.day);
     }},
    {"--split",
     [](const char* value, SiteArgs& args) {
         return ParseDate(value, args.options.splitYear, args.options.splitMonth,
                          args.options.splitDay);
     }},
    {"--listed",
     [](const char* value, SiteArgs& args) {
         return ParseDate(value, args.options.listedYear, args.options.listedMonth,
                          args.options.listedDay);
     }},
    {"--latency",
     [](const char* value, SiteArgs& args) {
         long long number = 0;
         const bool ok = TakeNumber(value, 0, kMaxLatencyMs, number);
         args.options.latency = std::chrono::milliseconds(number);
         return ok;
     }},
    {"--dump-truth",
     [](const char* value, SiteArgs& args) {
         args.truthPath = value;
         return true;
     }},
    {"--write-fetchlist",
     [](const char* value, SiteArgs& args) {
         args.fetchListPath = value;
         return true;
     }},
};

enum class Parsed { kRun, kHelp, kUsageError };

// Left to right: the first mistake ends it, and the last of an option given twice counts.
Parsed ParseArgs(int argc, char** argv, SiteArgs& args) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--gzip") {
            args.options.gzip = true;
            continue;
        }
        if (arg == "--tls" && i + 2 < argc) {
            args.options.tlsCertFile = argv[++i];
            args.options.tlsKeyFile = argv[++i];
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            return Parsed::kHelp;
        }
        if (i + 1 >= argc) {
            return Parsed::kUsageError;
        }
        const char* value = argv[++i];
        const auto* option = std::find_if(std::begin(kValueOptions), std::end(kValueOptions),
                                          [&](const ValueOption& o) { return arg == o.name; });
        if (option == std::end(kValueOptions) || !option->take(value, args)) {
            return Parsed::kUsageError;
        }
    }
    return Parsed::kRun;
}

int WriteFiles(const tickora::site::SiteServer& server, const SiteArgs& args) {
    if (!args.truthPath.empty() && !server.DumpTruth(args.truthPath)) {
        std::fprintf(stderr, "tickora-site: cannot write %s\n", args.truthPath.c_str());
        return 1;
    }
    if (!args.fetchListPath.empty()) {
        std::ofstream out(args.fetchListPath, std::ios::binary | std::ios::trunc);
        out << server.FetchListCsv();
        if (!out.flush()) {
            std::fprintf(stderr, "tickora-site: cannot write %s\n", args.fetchListPath.c_str());
            return 1;
        }
    }
    return 0;
}

int Serve(tickora::site::SiteServer& server, const tickora::site::SiteOptions& options) {
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

}  // namespace

int main(int argc, char** argv) {
    SiteArgs args;
    switch (ParseArgs(argc, argv, args)) {
        case Parsed::kHelp:
            Usage(stdout);
            return 0;
        case Parsed::kUsageError:
            Usage(stderr);
            return 2;
        case Parsed::kRun:
            break;
    }
    tickora::site::SiteServer server(args.options);
    if (!args.truthPath.empty() || !args.fetchListPath.empty()) {
        return WriteFiles(server, args);
    }
    return Serve(server, args.options);
}
