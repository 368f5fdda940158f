// SPDX-License-Identifier: GPL-3.0-or-later
// Helper of the end-to-end benchmark, run in a working folder that holds "market.csv" and
// "fetchlist.csv":
//   bench_tool urls quote DIR             curl config: every block's quote page into DIR
//   bench_tool urls history DAYS DIR [distinct]
//                                         curl config: every stock's history pages into DIR,
//                                         under the job's four names or, with distinct (for
//                                         curl's parallel transfers), one name each
//   bench_tool urls profile DIR           curl config: every stock's profile page into DIR
//   bench_tool urls figures DIR           curl config: every block's figures page into DIR
//   bench_tool relay PORT DELAY_MS [MBIT] a TCP relay to PORT on loopback that holds each chunk
//                                         DELAY_MS / 2 each way, behind a line of MBIT Mbit/s
//                                         each way when given; prints its port, then, for
//                                         every line read, "connections N bytes M" (bytes to
//                                         the clients); ends at the end of its input
//   bench_tool parse-quotes DIR REPEAT    parses the saved quote pages REPEAT times; prints the
//                                         median seconds of one pass and writes the daily file
//                                         (layout 3) into DIR
//   bench_tool load-list REPEAT           median seconds of loading the fetch list
//   bench_tool measure CMD [ARGS...]      runs CMD; prints its seconds and peak resident kB
//                                         (measured here, not from a big interpreter's fork,
//                                         whose pages would count as the child's peak)
// The URLs come from the same code the jobs use, so curl requests exactly what Tickora requests.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "catalog/connection_settings.h"
#include "catalog/market_table.h"
#include "catalog/stock_list.h"
#include "formats/quote_file.h"
#include "pages/history_page.h"
#include "pages/profile_page.h"
#include "pages/quote_page.h"
#include "tests/support/tcp_relay.h"
#include "web/hosts.h"

namespace {

using Clock = std::chrono::steady_clock;

// The hosts as the programs take them: connection.toml, then TICKORA_SITE and its kin.
tickora::SiteHosts SettingsHosts() {
    return tickora::SiteAccessOf(tickora::LoadConnectionSettings({}).settings).hosts;
}

bool LoadList(tickora::CMarketTable& markets, tickora::CStockList& list) {
    if (markets.Load() == 0 || list.Load(markets, SettingsHosts().quote.c_str()) != 0) {
        std::fprintf(stderr, "bench_tool: no market.csv or fetchlist.csv here\n");
        return false;
    }
    return true;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int QuoteUrls(const std::string& dir) {
    tickora::CMarketTable markets;
    tickora::CStockList list;
    if (!LoadList(markets, list)) {
        return 1;
    }
    for (int b = 0; b < list.m_nBlocks; ++b) {
        std::printf("url = \"%s\"\noutput = \"%s/webtemp-%03d.html\"\n",
                    list.GetBlock(b)->m_szQuoteUrl, dir.c_str(), b);
    }
    return 0;
}

int HistoryUrls(int days, const std::string& dir, bool distinct) {
    tickora::CMarketTable markets;
    tickora::CStockList list;
    if (!LoadList(markets, list)) {
        return 1;
    }
    const std::string table = SettingsHosts().table;
    for (int b = 0; b < list.m_nBlocks; ++b) {
        const tickora::CQuoteBlock* block = list.GetBlock(b);
        for (int i = 0; i < block->m_nStocks; ++i) {
            const tickora::CStockRecord& stock = block->m_aStocks[i];
            const tickora::CKdtRequest request(stock.m_szSymbol, stock.m_nCode, days, table);
            for (int j = 0; j < request.m_nPages; ++j) {
                if (distinct) {
                    std::printf("url = \"%s\"\noutput = \"%s/kdt-%04d-%03d.html\"\n",
                                request.GetPageUrl(j), dir.c_str(), stock.m_nCode, j);
                } else {
                    std::printf("url = \"%s\"\noutput = \"%s/kdttemp-%03d.html\"\n",
                                request.GetPageUrl(j), dir.c_str(), j);
                }
            }
        }
    }
    return 0;
}

int FiguresUrls(const std::string& dir) {
    tickora::CMarketTable markets;
    tickora::CStockList list;
    if (!LoadList(markets, list)) {
        return 1;
    }
    for (int b = 0; b < list.m_nBlocks; ++b) {
        std::printf("url = \"%s\"\noutput = \"%s/figures-%03d.html\"\n", list.GetFiguresUrl(b),
                    dir.c_str(), b);
    }
    return 0;
}

// Latency at the TCP level, so that it costs HTTP/2 and TLS handshakes what it costs HTTP/1.1.
int Relay(int port, int delayMs, double mbit) {
    tickora::test::TcpRelay relay({.upstreamPort = port,
                                   .delay = std::chrono::milliseconds(delayMs / 2),
                                   .bytesPerSecond = static_cast<std::int64_t>(mbit * 1e6 / 8)});
    if (!relay.Start()) {
        std::fprintf(stderr, "bench_tool: the relay cannot listen\n");
        return 1;
    }
    std::printf("%d\n", relay.Port());
    std::fflush(stdout);
    char line[64];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        std::printf("connections %d bytes %lld\n", relay.Connections(),
                    static_cast<long long>(relay.BytesToClients()));
        std::fflush(stdout);
        if (line[0] == 'r') {
            relay.ResetCounts();
        }
    }
    return 0;
}

int ProfileUrls(const std::string& dir) {
    tickora::CMarketTable markets;
    tickora::CStockList list;
    if (!LoadList(markets, list)) {
        return 1;
    }
    const std::string profile = SettingsHosts().profile;
    for (int b = 0; b < list.m_nBlocks; ++b) {
        const tickora::CQuoteBlock* block = list.GetBlock(b);
        for (int i = 0; i < block->m_nStocks; ++i) {
            const int code = block->m_aStocks[i].m_nCode;
            std::printf("url = \"%s\"\noutput = \"%s/fundamental-%04d.html\"\n",
                        tickora::ProfileUrl(profile, code).c_str(), dir.c_str(), code);
        }
    }
    return 0;
}

int ParseQuotes(const std::string& dir, int repeat) {
    tickora::CMarketTable markets;
    tickora::CStockList list;
    if (!LoadList(markets, list)) {
        return 1;
    }
    // The pages are read once: the pass measures the parse, as the peer's pass does.
    std::vector<std::string> pages(static_cast<std::size_t>(list.m_nBlocks));
    for (int b = 0; b < list.m_nBlocks; ++b) {
        char path[512];
        std::snprintf(path, sizeof path, "%s/webtemp-%03d.html", dir.c_str(), b);
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        pages[static_cast<std::size_t>(b)] = bytes.str().substr(0, tickora::kQuotePageLimit);
    }
    std::vector<double> seconds;
    for (int r = 0; r < repeat; ++r) {
        const auto start = Clock::now();
        for (int b = 0; b < list.m_nBlocks; ++b) {
            tickora::QuotePageOutcome outcome;
            tickora::ParseQuoteText(pages[static_cast<std::size_t>(b)].c_str(), *list.GetBlock(b),
                                    outcome);
        }
        seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    const std::string file = tickora::WriteQuoteFile(list, 3, dir.c_str(), markets, false);
    std::printf("parse_seconds %.6f\nfile %s\n", Median(seconds), file.c_str());
    return file.empty() ? 1 : 0;
}

int LoadListTimed(int repeat) {
    std::vector<double> seconds;
    for (int r = 0; r < repeat; ++r) {
        tickora::CMarketTable markets;
        tickora::CStockList list;
        const auto start = Clock::now();
        if (!LoadList(markets, list)) {
            return 1;
        }
        seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::printf("load_seconds %.6f\npeak_rss_kb %ld\n", Median(seconds), PeakRssKb());
    return 0;
}

int Measure(char** argv) {
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) {
        std::perror(argv[0]);
        return 1;
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("seconds %.6f\npeak_rss_kb %ld\n", seconds, usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// "urls KIND ...": the exit status, or -1 when the words name no list.
int UrlsCommand(const std::vector<std::string>& args) {
    if (args.size() == 3 && args[1] == "quote") {
        return QuoteUrls(args[2]);
    }
    if ((args.size() == 4 || (args.size() == 5 && args[4] == "distinct")) &&
        args[1] == "history") {
        return HistoryUrls(std::atoi(args[2].c_str()), args[3], args.size() == 5);
    }
    if (args.size() == 3 && args[1] == "profile") {
        return ProfileUrls(args[2]);
    }
    if (args.size() == 3 && args[1] == "figures") {
        return FiguresUrls(args[2]);
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "measure") {
        return Measure(argv + 2);
    }
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "urls") {
        if (const int status = UrlsCommand(args); status >= 0) {
            return status;
        }
    }
    if ((args.size() == 3 || args.size() == 4) && args[0] == "relay") {
        return Relay(std::atoi(args[1].c_str()), std::atoi(args[2].c_str()),
                     args.size() == 4 ? std::atof(args[3].c_str()) : 0.0);
    }
    if (args.size() == 3 && args[0] == "parse-quotes") {
        return ParseQuotes(args[1], std::max(1, std::atoi(args[2].c_str())));
    }
    if (args.size() == 2 && args[0] == "load-list") {
        return LoadListTimed(std::max(1, std::atoi(args[1].c_str())));
    }
    std::fprintf(stderr,
                 "usage: bench_tool urls quote DIR | urls history DAYS DIR [distinct] | "
                 "urls profile DIR | urls figures DIR | relay PORT DELAY_MS [MBIT] | "
                 "parse-quotes DIR REPEAT | load-list REPEAT | measure CMD...\n");
    return 2;
}
