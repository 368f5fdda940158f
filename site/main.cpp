// tickora-site: the simulated finance site on loopback, for the demo, the tests and the
// benchmarks.
//   tickora-site [--port N] [--stocks N] [--seed N] [--date YYYY-MM-DD] [--dump-truth FILE]
//                [--write-fetchlist FILE]
// With --port 0 the chosen port is the first line of standard output. SIGINT and SIGTERM stop it.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "site/site_server.h"

namespace {

void Usage() {
    std::fprintf(stderr,
                 "usage: tickora-site [--port N] [--stocks N] [--seed N] [--date YYYY-MM-DD]\n"
                 "                    [--dump-truth FILE] [--write-fetchlist FILE]\n");
}

bool ParseNumber(const char* text, long long& value) {
    char* end = nullptr;
    value = std::strtoll(text, &end, 10);
    return end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
    tickora::site::SiteOptions options;
    std::string truthPath;
    std::string fetchListPath;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) {
            Usage();
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
        } else if (arg == "--date" &&
                   std::sscanf(value, "%d-%d-%d", &options.year, &options.month, &options.day) ==
                       3 &&
                   options.year >= 1983 && options.month >= 1 && options.month <= 12 &&
                   options.day >= 1 && options.day <= 31) {
        } else if (arg == "--dump-truth") {
            truthPath = value;
        } else if (arg == "--write-fetchlist") {
            fetchListPath = value;
        } else {
            Usage();
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
        std::fprintf(stderr, "tickora-site: cannot listen on %s port %d\n",
                     options.bindAddress.c_str(), options.port);
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
