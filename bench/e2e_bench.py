#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end benchmarks of Tickora against the simulated site, written to bench/REPORT.md.

    e2e_bench.py BUILD_DIR REPORT [--runs N] [--quick] [--distance-only] [--routine-only]
                 [--check-only]

Everything runs on loopback: tickora-site serves the market, tickora-cli runs the jobs, and curl
fetches the very same URLs (one process, connection reuse) as the physical limit. Times are
medians over N runs; peak memory is the maximum resident set of the measured process.

The runs "at a distance" hold every answer of the site back 20 ms (tickora-site --latency), where
one request at a time decides everything, and set Tickora on one connection against curl one URL
after another and on eight against curl --parallel --parallel-max 8. --distance-only runs just
those and puts their section into the existing report in place of the old one.

The daily routine of the whole market (fetch, performance, kdt --all --update) runs behind a TCP
relay that holds each chunk half the delay each way, so that HTTP/2 pays the distance as
HTTP/1.1 does: over one HTTP/2 connection (nghttpx in h2c in front of the site) against eight
HTTP/1.1 connections, at 20 ms and at 100 ms, and over one HTTP/2 connection behind a line of
20 Mbit/s with and without gzip. curl fetches the very pages Tickora asked in a run on loopback
(the site's log), so the update's proof pages count for both. --routine-only runs just that
section.

The day's check runs under Google Benchmark on a whole market's stored files; --check-only runs
just that and puts its section into the existing report.
"""
import argparse
import collections
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import urllib.request
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SITE_DATE = "2026-12-04"
LATENCY_MS = 20
DISTANT_STOCKS = 500
DISTANT_HISTORY_DAYS = 100  # two pages a stock, 1,006 pages: the run first measured at 20 ms
UPDATE_DAYS = 200
PARALLEL = 8
DISTANCE_HEADING = "## At a distance"
ROUTINE_HEADING = "## The daily routine over HTTP/2"
CHECK_HEADING = "## The day's check"
ROUTINE_STOCKS = int(os.environ.get("TICKORA_BENCH_ROUTINE_STOCKS", "3800"))
ROUTINE_DAYS = 200
ROUTINE_LATENCIES = (20, 100)
ROUTINE_STREAMS = 16  # the default of `streams`
ROUTINE_TARGET = 1.05  # at 20 ms and at 100 ms, against curl
BYTES_TARGET = 1.10  # at 20 Mbit/s with gzip, against curl
BYTES_MBIT = 20
BYTES_LATENCY = 20
NGHTTPX = "/usr/sbin/nghttpx"


BENCH_TOOL = None  # set in main: the build's bench_tool, which spawns and measures a command


def run_measured(args, cwd=None, env=None):
    """Runs a command through bench_tool measure; returns (seconds, peak resident kB)."""
    proc = subprocess.run([str(BENCH_TOOL), "measure", *args], cwd=cwd, env=env,
                          capture_output=True, text=True)
    if proc.returncode != 0:
        raise RuntimeError(f"{args[0]} exited {proc.returncode}: {proc.stderr.strip()[-400:]}")
    fields = proc.stdout.split()
    return float(fields[fields.index("seconds") + 1]), int(fields[fields.index("peak_rss_kb") + 1])


def median_run(args, runs, **kw):
    results = [run_measured(args, **kw) for _ in range(runs)]
    return statistics.median(r[0] for r in results), max(r[1] for r in results), None


class Site:
    def __init__(self, build, stocks, latency_ms=0, gzip=False):
        args = [str(build / "site" / "tickora-site"), "--port", "0", "--stocks", str(stocks),
                "--date", SITE_DATE]
        if latency_ms:
            args += ["--latency", str(latency_ms)]
        if gzip:
            args.append("--gzip")
        self.proc = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.url = "http://127.0.0.1:" + self.proc.stdout.readline().decode().strip()

    def control(self, what):
        """/_control/clear, /_control/requests, /_control/peak: the site's own count."""
        with urllib.request.urlopen(self.url + "/_control/" + what) as answer:
            return answer.read().decode()

    def stop(self):
        self.proc.terminate()
        self.proc.wait()


def workdir_for(build, site, stocks, base, name=None):
    work = base / (name or f"work-{stocks}")
    if work.exists():
        shutil.rmtree(work)
    work.mkdir(parents=True)
    shutil.copy(ROOT / "data" / "market.csv", work / "market.csv")
    subprocess.run([str(build / "site" / "tickora-site"), "--stocks", str(stocks), "--date",
                    SITE_DATE, "--write-fetchlist", str(work / "fetchlist.csv")], check=True,
                   stdout=subprocess.DEVNULL)
    return work


def curl_config(build, work, site, kind, pages, days=200, distinct=False):
    args = [str(build / "bench" / "bench_tool"), "urls", kind]
    if kind == "history":
        args.append(str(days))
    args.append(str(pages))
    if distinct:
        args.append("distinct")  # parallel transfers must not write one file at once
    env = dict(os.environ, TICKORA_SITE=site.url)
    text = subprocess.run(args, cwd=work, env=env, check=True, capture_output=True).stdout
    config = work / f"curl-{kind}{'-distinct' if distinct else ''}.cfg"
    config.write_bytes(b'user-agent = "Http Ver1.0 Session"\n' + text)
    return config, text.count(b"url = ")


def cli(build, work, site, *command, options=()):
    return [str(build / "cli" / "tickora-cli"), "--workdir", str(work), "--site", site.url,
            *options, *command]


def cli_knows(build, word):
    """Whether tickora-cli's usage mentions word (an option still being added, say)."""
    proc = subprocess.run([str(build / "cli" / "tickora-cli"), "--help"], capture_output=True,
                          text=True)
    return word in proc.stdout + proc.stderr


def curl_parallel(config):
    return ["curl", "-s", "--parallel", "--parallel-max", str(PARALLEL), "-K", str(config)]


def ratio_row(what, pages, tick, curl, curl_how, limit):
    """One line of the distance table; tick is None when the run could not be made."""
    if tick is None:
        return (f"| {what} | {pages} | not measured yet | {curl:.2f} s ({curl_how}) | – | "
                f"≤ {limit:.2f} × | not measured |")
    ratio = tick / curl
    return (f"| {what} | {pages} | {tick:.2f} s | {curl:.2f} s ({curl_how}) | {ratio:.2f} × | "
            f"≤ {limit:.2f} × | {verdict(ratio <= limit)} |")


def distance_section(build, base, runs):
    """The runs at LATENCY_MS a page: the section's lines."""
    knows_connections = cli_knows(build, "--connections")
    knows_update = cli_knows(build, "--update")

    def tickora(work, site, command, connections, peak=None):
        if connections > 1 and not knows_connections:
            return None
        env = dict(os.environ, TICKORA_CONNECTIONS=str(connections))
        options = ["--connections", str(connections)] if knows_connections else []
        if peak is not None:
            site.control("clear")
        seconds, _, _ = median_run(cli(build, work, site, *command, options=options), runs,
                                   env=env)
        if peak is not None:
            peak.append(int(site.control("peak")))
        return seconds

    rows = []
    peaks = []
    print(f"at {LATENCY_MS} ms: history of {DISTANT_STOCKS} stocks ...", file=sys.stderr)
    site = Site(build, DISTANT_STOCKS, LATENCY_MS)
    try:
        work = workdir_for(build, site, DISTANT_STOCKS, base, "distant")
        pages = work / "curl-pages"
        pages.mkdir()
        days = str(DISTANT_HISTORY_DAYS)
        seq, hpages = curl_config(build, work, site, "history", pages, DISTANT_HISTORY_DAYS)
        par, _ = curl_config(build, work, site, "history", pages, DISTANT_HISTORY_DAYS, True)
        history = ["kdt", "--all", "--days", days]
        what = f"all-stocks history, {DISTANT_STOCKS} stocks, {days} days"
        rows.append(ratio_row(f"{what}, 1 connection", hpages,
                              tickora(work, site, history, 1),
                              median_run(["curl", "-s", "-K", str(seq)], runs)[0],
                              "one after another", 1.05))
        rows.append(ratio_row(f"{what}, {PARALLEL} connections", hpages,
                              tickora(work, site, history, PARALLEL, peaks),
                              median_run(curl_parallel(par), runs)[0],
                              f"--parallel-max {PARALLEL}", 1.15))

        print(f"at {LATENCY_MS} ms: profiles ...", file=sys.stderr)
        pconfig, ppages = curl_config(build, work, site, "profile", pages)
        what = f"profiles, {DISTANT_STOCKS} stocks"
        rows.append(ratio_row(f"{what}, 1 connection", ppages,
                              tickora(work, site, ["profiles"], 1),
                              median_run(["curl", "-s", "-K", str(pconfig)], runs)[0],
                              "one after another", 1.05))
        rows.append(ratio_row(f"{what}, {PARALLEL} connections", ppages,
                              tickora(work, site, ["profiles"], PARALLEL, peaks),
                              median_run(curl_parallel(pconfig), runs)[0],
                              f"--parallel-max {PARALLEL}", 1.15))

        print(f"at {LATENCY_MS} ms: histories brought up to date ...", file=sys.stderr)
        _, stocks = curl_config(build, work, site, "history", pages, 50)
        update = None
        if knows_update:
            # The files of a full fetch, from a site as near as can be: same market, same bytes.
            near = Site(build, DISTANT_STOCKS)
            try:
                run_measured(cli(build, work, near, "kdt", "--all", "--days", str(UPDATE_DAYS)))
            finally:
                near.stop()
            site.control("clear")
            seconds, _ = run_measured(cli(build, work, site, "kdt", "--all", "--days",
                                          str(UPDATE_DAYS), "--update"))
            requests = sum(1 for line in site.control("requests").splitlines()
                           if line.startswith("/t?"))
            update = (requests, seconds)
    finally:
        site.stop()

    print(f"at {LATENCY_MS} ms: daily fetch of 3,800 stocks ...", file=sys.stderr)
    site = Site(build, 3800, LATENCY_MS)
    try:
        work = workdir_for(build, site, 3800, base, "distant-3800")
        pages = work / "curl-pages"
        pages.mkdir()
        qconfig, qpages = curl_config(build, work, site, "quote", pages)
        what = "daily fetch, 3,800 stocks"
        rows.append(ratio_row(f"{what}, 1 connection", qpages,
                              tickora(work, site, ["fetch"], 1),
                              median_run(["curl", "-s", "-K", str(qconfig)], runs)[0],
                              "one after another", 1.05))
        rows.append(ratio_row(f"{what}, {PARALLEL} connections", qpages,
                              tickora(work, site, ["fetch"], PARALLEL, peaks),
                              median_run(curl_parallel(qconfig), runs)[0],
                              f"--parallel-max {PARALLEL}", 1.15))
    finally:
        site.stop()

    if update:
        requests, seconds = update
        per_stock = requests / stocks
        # Page 0, and the page of the oldest day kept, which proves that no split rewrote it.
        rows.append(f"| `kdt --all --update`, unchanged histories of {stocks} stocks | {requests} "
                    f"| {seconds:.2f} s | – | {per_stock:.3f} requests a stock | ≤ 2.02 requests "
                    f"a stock | {verdict(per_stock <= 2.02)} |")
    else:
        rows.append(f"| `kdt --all --update`, unchanged histories of {stocks} stocks | – | not "
                    f"measured yet (tickora-cli has no `kdt --update`) | – | – | ≤ 2.02 requests "
                    f"a stock | not measured |")

    lines = [f"{DISTANCE_HEADING}: {LATENCY_MS} ms an answer\n",
             f"`tickora-site --latency {LATENCY_MS}` holds every answer back {LATENCY_MS} ms, as a "
             f"site some way off does. curl fetches the same URLs one after another (`curl -K`, "
             f"one connection) and over {PARALLEL} connections (`curl --parallel --parallel-max "
             f"{PARALLEL}`); Tickora runs on one connection and on {PARALLEL} (`--connections "
             f"{PARALLEL}`, `TICKORA_CONNECTIONS={PARALLEL}`). Medians of {runs} runs.\n",
             "| Run | Pages | Tickora | curl | Ratio | Target | Result |",
             "|---|---|---|---|---|---|---|"]
    lines.extend(rows)
    lines.append("")
    if peaks:
        lines.append(f"The most requests the site answered at once during the {PARALLEL}-connection "
                     f"runs: {max(peaks)}.\n")
    if not knows_connections:
        lines.append("tickora-cli has no `--connections` yet: the runs on more than one "
                     "connection were not made.\n")
    return lines


def port_of(site):
    return int(site.url.rsplit(":", 1)[1])


class Relay:
    """bench_tool relay: latency at the TCP level in front of a port, and the bytes it passed."""

    def __init__(self, port, delay_ms, mbit=0):
        self.proc = subprocess.Popen([str(BENCH_TOOL), "relay", str(port), str(delay_ms),
                                      *([str(mbit)] if mbit else [])],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.url = "http://127.0.0.1:" + self.proc.stdout.readline().strip()

    def counts(self, reset=False):
        self.proc.stdin.write("reset\n" if reset else "count\n")
        self.proc.stdin.flush()
        fields = self.proc.stdout.readline().split()
        return int(fields[1]), int(fields[3])

    def stop(self):
        self.proc.stdin.close()
        self.proc.wait()


class H2Front:
    """nghttpx in h2c in front of a site, with room for every stream on the site's side."""

    def __init__(self, site_port):
        import socket
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            self.port = probe.getsockname()[1]
        self.proc = subprocess.Popen(
            [NGHTTPX, "--conf=/dev/null", "--workers=1", "--log-level=ERROR",
             "--accesslog-file=/dev/null", "--errorlog-file=/dev/null",
             "--backend-connections-per-host=128",
             f"-b127.0.0.1,{site_port};;proto=http/1.1", f"-f127.0.0.1,{self.port};no-tls"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 20
        while time.time() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("nghttpx did not start")

    def stop(self):
        self.proc.terminate()
        self.proc.wait()


class LoadWatch:
    """The one-minute load average, sampled every few seconds while the routine runs."""

    def __init__(self):
        self.samples = [os.getloadavg()[0]]
        self.done = threading.Event()
        self.thread = threading.Thread(target=self._watch, daemon=True)
        self.thread.start()

    def _watch(self):
        while not self.done.wait(5):
            self.samples.append(os.getloadavg()[0])

    def stop(self):
        self.done.set()
        self.thread.join()
        return statistics.mean(self.samples), max(self.samples)


def page_targets(site):
    """The pages the site was asked since its last clear, in order."""
    return [t for t in site.control("requests").splitlines()
            if t and not t.startswith("/_control/")]


def record_routine(build, seed, base, near, routine):
    """Runs the routine once on a copy of seed against the near site: each command's pages."""
    work = base / "routine-record"
    if work.exists():
        shutil.rmtree(work)
    shutil.copytree(seed, work)
    asked = []
    for command in routine:
        near.control("clear")
        run_measured(cli(build, work, near, *command))
        asked.append(page_targets(near))
    return asked


def recorded_configs(seed, near, asked):
    """curl configs of the very pages Tickora asked, one per command, each page its own file."""
    pages = seed / "curl-pages"
    pages.mkdir(exist_ok=True)
    configs = []
    for n, targets in enumerate(asked):
        lines = ['user-agent = "Http Ver1.0 Session"', "globoff"]
        for i, target in enumerate(targets):
            lines += [f'url = "{near.url}{target}"', f'output = "{pages}/r{n}-{i:05d}.html"']
        config = seed / f"curl-routine-{n}.cfg"
        config.write_text("\n".join(lines) + "\n")
        configs.append(config)
    return configs


def pages_per_stock(targets):
    """{history pages asked: stocks that asked that many}, from the update's page targets."""
    per_stock = collections.Counter(
        urllib.parse.parse_qs(t.split("?", 1)[1]).get("s", [""])[0]
        for t in targets if t.startswith("/t?"))
    return dict(sorted(collections.Counter(per_stock.values()).items()))


def warm_up(site, near, configs):
    """Has site serve every recorded page once, untimed: a fresh site builds its market's pages
    on first asking, and whoever came first would pay for it (1.4 s of the first `fetch`)."""
    for config in configs:
        moved = config.with_suffix(".warm.cfg")
        moved.write_text(config.read_text().replace(near.url, site.url))
        subprocess.run(["curl", "-s", "--compressed", "--parallel", "--parallel-max", "16", "-K",
                        str(moved)], check=False, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)


class RoutineRunner:
    """The routine of Tickora, and curl's over the recorded pages, through a relay; each run of
    Tickora followed by one of curl, so that the load of whatever else the machine does falls on
    both alike."""

    def __init__(self, build, base, seed, near, routine, configs, runs):
        self.build, self.base, self.seed, self.near = build, base, seed, near
        self.routine, self.configs, self.runs = routine, configs, runs
        self.asked = []  # pages each Tickora run asked, from the log of the site behind the relay

    def tickora_once(self, url, options, site):
        work = self.base / "routine-run"
        if work.exists():
            shutil.rmtree(work)
        shutil.copytree(self.seed, work)
        site.control("clear")
        total = 0.0
        for command in self.routine:
            args = [str(self.build / "cli" / "tickora-cli"), "--workdir", str(work),
                    "--site", url, *options, *command]
            total += run_measured(args)[0]
        self.asked.append(len(page_targets(site)))
        return total

    def curl_once(self, url, options):
        total = 0.0
        for config in self.configs:
            moved = config.with_suffix(".moved.cfg")
            moved.write_text(config.read_text().replace(self.near.url, url))
            total += run_measured(["curl", "-s", *options, "-K", str(moved)])[0]
        return total

    def pair(self, port, latency, mbit, site, tick_options, curl_options):
        """(Tickora s, its bytes, its connections a routine, curl s, curl's bytes) via a relay:
        medians of the runs, bytes and connections averaged."""
        relay = Relay(port, latency, mbit)
        tick, curl = [], []
        connections = tick_bytes = curl_bytes = 0
        try:
            relay.counts(reset=True)
            for _ in range(self.runs):
                tick.append(self.tickora_once(relay.url, tick_options, site))
                opened, passed = relay.counts(reset=True)
                connections += opened
                tick_bytes += passed
                curl.append(self.curl_once(relay.url, curl_options))
                curl_bytes += relay.counts(reset=True)[1]
        finally:
            relay.stop()
        return (statistics.median(tick), tick_bytes / self.runs, connections / self.runs,
                statistics.median(curl), curl_bytes / self.runs)


H2_TICKORA = ["--http2", "prior-knowledge"]  # default settings otherwise: 1 connection, 16 streams
# curl 7.88 breaks a reused prior-knowledge connection: it asks h2c by Upgrade.
H2_CURL = ["--http2", "--parallel", "--parallel-max", str(ROUTINE_STREAMS)]
H1_TICKORA = ["--http2", "off", "--connections", str(PARALLEL)]
H1_CURL = ["--http1.1", "--parallel", "--parallel-max", str(PARALLEL)]


def distance_rows(runner, front, near, page_count):
    """The routine at each distance: rows, and the HTTP/2 times for the notes."""
    rows = []
    h2_times = {}
    connections_by_latency = {}
    for latency in ROUTINE_LATENCIES:
        print(f"routine at {latency} ms ...", file=sys.stderr)
        tick_h2, _, connections, curl_h2, _ = runner.pair(front.port, latency, 0, near,
                                                         H2_TICKORA, H2_CURL)
        tick_h1, _, _, curl_h1, _ = runner.pair(port_of(near), latency, 0, near, H1_TICKORA,
                                                H1_CURL)
        h2_times[latency] = (tick_h2, curl_h2)
        connections_by_latency[latency] = connections
        ratio = tick_h2 / curl_h2
        rows.append(f"| {latency} ms, 1 HTTP/2 connection, {ROUTINE_STREAMS} streams (default "
                    f"settings) | {page_count} | {tick_h2:.2f} s | {curl_h2:.2f} s | "
                    f"{ratio:.2f} × | ≤ {ROUTINE_TARGET:.2f} × curl | "
                    f"{verdict(ratio <= ROUTINE_TARGET)} |")
        rows.append(f"| {latency} ms, {PARALLEL} HTTP/1.1 connections | {page_count} | "
                    f"{tick_h1:.2f} s | {curl_h1:.2f} s | {tick_h1 / curl_h1:.2f} × | – | – |")
    for latency, connections in connections_by_latency.items():
        if len(runner.routine) == 1:
            rows.append(f"| {latency} ms: HTTP/2 connections opened by the routine (one command) "
                        f"| – | {connections:.1f} | – | – | 1 | {verdict(connections <= 1.0)} |")
        else:
            rows.append(f"| {latency} ms: HTTP/2 connections opened by the routine "
                        f"({len(runner.routine)} commands) | – | {connections:.1f} | – | – | "
                        f"1 a command | {verdict(connections <= len(runner.routine))} |")
    return rows, h2_times


def bytes_rows(runner, fronts, sites, page_count):
    """The routine at BYTES_MBIT and BYTES_LATENCY over HTTP/2, gzip against none: rows, and
    the bytes and Tickora's times of each."""
    sizes = {}
    times = {}
    rows = []
    for name in ("none", "gzip"):
        print(f"routine at {BYTES_MBIT} Mbit/s, {name} ...", file=sys.stderr)
        compressed = ["--compressed"] if name == "gzip" else []
        tick, tick_bytes, _, curl, curl_bytes = runner.pair(
            fronts[name].port, BYTES_LATENCY, BYTES_MBIT, sites[name], H2_TICKORA,
            H2_CURL + compressed)
        sizes[name] = (tick_bytes, curl_bytes)
        times[name] = tick
        how = "gzip (curl `--compressed`)" if compressed else "no compression"
        target = (f"≤ {BYTES_TARGET:.2f} × curl", verdict(tick / curl <= BYTES_TARGET)) \
            if compressed else ("–", "–")
        rows.append(f"| {BYTES_MBIT} Mbit/s, {BYTES_LATENCY} ms, 1 HTTP/2 connection, {how} | "
                    f"{page_count} | {tick:.2f} s, {tick_bytes / 1e6:.1f} MB | {curl:.2f} s, "
                    f"{curl_bytes / 1e6:.1f} MB | {tick / curl:.2f} × | {target[0]} | "
                    f"{target[1]} |")
    share = sizes["gzip"][0] / sizes["none"][0]
    curl_share = sizes["gzip"][1] / sizes["none"][1]
    rows.append(f"| bytes received by the routine, gzip against none | {page_count} | "
                f"{share * 100:.0f} % | {curl_share * 100:.0f} % | – | ≤ 30 % | "
                f"{verdict(share <= 0.30)} |")
    return rows, sizes, times


def routine_notes(asked, page_count, h2_times, sizes, times, asked_runs, load):
    """The routine's notes, from what was measured."""
    quote, figures, update = (len(a) for a in asked)
    spread = ", ".join(f"{stocks} stock{'s' if stocks > 1 else ''} asked {pages}"
                       for pages, stocks in sorted(pages_per_stock(asked[2]).items(),
                                                   key=lambda item: -item[1]))
    lines = [f"- What Tickora asks, from the site's log of a run on loopback: `fetch` {quote} "
             f"pages, `performance` {figures}, `kdt --update` {update} ({spread}). The update "
             f"asks page 0 and the page that holds the oldest day it keeps, which proves that no "
             f"split rewrote the stored file (one page for a history within page 0, a third when "
             f"the history ends at a page boundary, the whole history when the proof fails). curl fetches exactly those {page_count} URLs."]
    same = all(n == page_count for n in asked_runs)
    lines.append(f"- Every timed Tickora run asked {page_count} pages, as recorded: "
                 f"{'yes' if same else 'NO (' + ', '.join(map(str, asked_runs)) + ')'}.")
    trips = page_count / ROUTINE_STREAMS
    floors = ", ".join(f"{trips * ms / 1000:.1f} s at {ms} ms (Tickora {h2_times[ms][0]:.1f} s, "
                       f"curl {h2_times[ms][1]:.1f} s)" for ms in ROUTINE_LATENCIES)
    lines.append(f"- One connection of {ROUTINE_STREAMS} streams needs at least pages ÷ "
                 f"{ROUTINE_STREAMS} × the round trip: {page_count} ÷ {ROUTINE_STREAMS} = "
                 f"{trips:.0f} round trips, {floors}.")
    plain, gz = sizes["none"][0], sizes["gzip"][0]
    lines.append(f"- At {BYTES_MBIT} Mbit/s the line alone takes bytes × 8 ÷ {BYTES_MBIT} Mbit/s: "
                 f"{plain * 8 / BYTES_MBIT / 1e6:.1f} s for the routine's {plain / 1e6:.1f} MB "
                 f"without compression, {gz * 8 / BYTES_MBIT / 1e6:.1f} s for its "
                 f"{gz / 1e6:.1f} MB gzipped.")
    busy = load[0] > os.cpu_count()
    if times["gzip"] > times["none"]:
        lines.append(f"- gzip took longer than no compression here ({times['gzip']:.1f} s against "
                     f"{times['none']:.1f} s) although the line carried {gz / plain * 100:.0f} % of "
                     f"the bytes: the site compresses every page at zlib's best ratio on the "
                     f"same cores" + (", which the load below left short" if busy else "") +
                     f"; curl pays that too (its gzip row against its plain one).")
    lines.append(f"- The one-minute load average during the run: {load[0]:.1f} on average, "
                 f"{load[1]:.1f} at most, on {os.cpu_count()} cores"
                 + (": other work shared the cores, so the times carry its noise; each run of "
                    "Tickora was followed by one of curl, so that it fell on both alike." if busy
                    else "; each run of Tickora was followed by one of curl."))
    return lines


def routine_section(build, base, runs):
    """The whole market's daily routine at a distance, over HTTP/2 and over 8 HTTP/1.1."""
    if not Path(NGHTTPX).exists():
        return [f"{ROUTINE_HEADING}\n", "nghttpx (nghttp2-proxy) is not installed: not measured.\n"]
    load = LoadWatch()
    started = time.strftime("%Y-%m-%d %H:%M %Z")
    near = Site(build, ROUTINE_STOCKS)
    gz = Site(build, ROUTINE_STOCKS, gzip=True)
    fronts = {"none": H2Front(port_of(near)), "gzip": H2Front(port_of(gz))}
    routine = [["fetch"], ["performance"],
               ["kdt", "--all", "--days", str(ROUTINE_DAYS), "--update"]]
    # One command when the program has it: its steps share a process (and may share a
    # connection), as a user's timer runs them; else the three commands, summed.
    one_command = cli_knows(build, "\n  daily ")
    timed_routine = [["daily", "--skip", "retry,check"]] if one_command else routine
    try:
        print("routine: the histories to bring up to date ...", file=sys.stderr)
        seed = workdir_for(build, near, ROUTINE_STOCKS, base, "routine-seed")
        run_measured(cli(build, seed, near, "kdt", "--all", "--days", str(ROUTINE_DAYS)))
        asked = record_routine(build, seed, base, near, routine)
        page_count = sum(len(a) for a in asked)
        configs = recorded_configs(seed, near, asked)
        warm_up(gz, near, configs)
        runner = RoutineRunner(build, base, seed, near, timed_routine, configs, runs)
        rows, h2_times = distance_rows(runner, fronts["none"], near, page_count)
        more, sizes, times = bytes_rows(runner, fronts, {"none": near, "gzip": gz}, page_count)
        rows += more
    finally:
        for front in fronts.values():
            front.stop()
        near.stop()
        gz.stop()
    notes = routine_notes(asked, page_count, h2_times, sizes, times, runner.asked, load.stop())

    return [f"{ROUTINE_HEADING}\n",
            f"The whole market ({ROUTINE_STOCKS} stocks and the indices): `fetch`, `performance` "
            f"and `kdt --all --days {ROUTINE_DAYS} --update` on histories fetched just before, "
            + ("timed as one command, `tickora-cli daily --skip retry,check`. " if one_command
               else "timed as the three commands, summed (this tickora-cli has no `daily`). ")
            + f"The distance is a TCP relay (`bench_tool relay`) that holds each chunk half "
            f"the delay each way, in front of the site for HTTP/1.1 and in front of nghttpx "
            f"(h2c, `--http2 prior-knowledge`) for HTTP/2; for the bytes it also passes them "
            f"through a line of {BYTES_MBIT} Mbit/s each way, shared by all connections. curl "
            f"fetches the very URLs Tickora asked in a run on loopback (recorded from the site's "
            f"log), one command's pages at a time, with `--http2 --parallel --parallel-max "
            f"{ROUTINE_STREAMS}` and with `--http1.1 --parallel --parallel-max {PARALLEL}`. "
            f"Both sites serve every page once before the timed runs. Medians of {runs} "
            f"run{'s' if runs > 1 else ''}, {started}; the bytes are those the relay passed to "
            f"the client. Command: `./run bench --routine-only` (or `python3 bench/e2e_bench.py "
            f"build-release bench/REPORT.md --routine-only --runs 3`).\n",
            "| Run | Pages | Tickora | curl | Ratio | Target | Result |",
            "|---|---|---|---|---|---|---|",
            *rows, "",
            *notes, ""]


def splice_section(report, section, heading=DISTANCE_HEADING):
    """Puts section in place of the report's section under heading, or before the parsers'."""
    text = report.read_text() if report.exists() else "# Tickora benchmark report\n"
    blocks = text.split("\n## ")
    head, rest = blocks[0], ["## " + b for b in blocks[1:]]
    body = "\n".join(section).rstrip("\n") + "\n"
    kept = [b for b in rest if not b.startswith(heading)]
    at = next((i for i, b in enumerate(kept) if b.startswith("## Parsers")), len(kept))
    kept.insert(at, body)
    report.write_text("\n".join([head.rstrip("\n") + "\n"] + [b.rstrip("\n") + "\n" for b in kept]))


def machine():
    cpu = "unknown"
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    mem = ""
    try:
        kb = int(Path("/proc/meminfo").read_text().split()[1])
        mem = f"{kb / 1024 / 1024:.1f} GiB"
    except (OSError, ValueError, IndexError):
        pass
    return f"{cpu}, {os.cpu_count()} cores, {mem}, {platform.system()} {platform.release()}"


def verdict(ok):
    return "met" if ok else "**not met**"


def parser_table(build, runs):
    out = subprocess.run(
        [str(build / "bench" / "bench_parsers"), "--benchmark_format=json",
         f"--benchmark_repetitions={runs}", "--benchmark_report_aggregates_only=true",
         "--benchmark_min_time=0.2"], check=True, capture_output=True, cwd=tempfile.gettempdir())
    data = json.loads(out.stdout)
    rows = []
    for b in data["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        name = b["run_name"].replace("BM_", "")
        rows.append(f"| {name} | {b['real_time'] / 1000:.1f} µs | "
                    f"{b.get('bytes_per_second', 0) / 1e6:.0f} MB/s |")
    return rows


def check_section(build, runs):
    """The day's check of a whole market under Google Benchmark (bench_check), its CPU time held
    against the bound of well under a second."""
    load = os.getloadavg()[0]
    out = subprocess.run(
        [str(build / "bench" / "bench_check"), "--benchmark_format=json",
         f"--benchmark_repetitions={runs}", "--benchmark_report_aggregates_only=true"],
        check=True, capture_output=True, cwd=tempfile.gettempdir(),
        env=dict(os.environ, TZ="Asia/Tokyo", LC_ALL="C"))
    data = json.loads(out.stdout)
    rows = []
    cpu = None
    stocks = days = 0
    for b in data["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        name = b["run_name"].replace("BM_", "")
        stocks, days = int(b.get("stocks", 0)), int(b.get("days", 0))
        factor = {"ms": 1e-3, "us": 1e-6, "ns": 1e-9}.get(b.get("time_unit", "ns"), 1e-9)
        real_s, cpu_s = b["real_time"] * factor, b["cpu_time"] * factor
        if name == "CheckDay":
            cpu = cpu_s
        rows.append(f"| {name} | {stocks} × {days} | {real_s * 1000:.0f} ms | {cpu_s * 1000:.0f} ms "
                    f"| {cpu_s / max(stocks, 1) * 1e6:.1f} µs |")
    lines = [f"{CHECK_HEADING}\n",
             f"`bench_check`: the check of the whole market's stored files (a day file, and a "
             f"history of {days} days for each of {stocks} stocks) as the day's jobs leave them, "
             f"from the page cache; medians of {runs} runs. CheckDay takes the list and the "
             f"markets loaded; CheckDayLoadingTheList reads \"market.csv\" and \"fetchlist.csv\" "
             f"too, as a check on its own does.\n",
             "| Benchmark | Stocks × days | Time | CPU | CPU per stock |",
             "|---|---|---|---|---|",
             *rows, ""]
    if cpu is not None:
        lines.append(f"Target: the check of {stocks} stocks × {days} days well under a second of "
                     f"CPU: {cpu * 1000:.0f} ms, {verdict(cpu < 0.5)} (half a second taken as "
                     f"\"well under\").\n")
    lines.append(f"The one-minute load average as it began: {load:.1f} on {os.cpu_count()} cores; "
                 f"the times include waiting for a processor, the CPU times do not.\n")
    return lines


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", type=Path)
    parser.add_argument("report", type=Path)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--quick", action="store_true", help="fewer sizes and runs")
    parser.add_argument("--distance-only", action="store_true",
                        help="only the runs at a distance, put into the existing report")
    parser.add_argument("--routine-only", action="store_true",
                        help="only the daily routine over HTTP/2, put into the existing report")
    parser.add_argument("--check-only", action="store_true",
                        help="only the day's check, put into the existing report")
    opts = parser.parse_args()
    build = opts.build.resolve()
    global BENCH_TOOL
    BENCH_TOOL = build / "bench" / "bench_tool"
    runs = 2 if opts.quick else opts.runs
    # A sequential run at a distance takes tens of seconds; three give a median.
    distance_runs = 1 if opts.quick else min(runs, 3)
    sizes = [500, 1000, 3800] if opts.quick else [500, 1000, 2000, 3800]
    if opts.check_only:
        splice_section(opts.report, check_section(build, runs), CHECK_HEADING)
        print(opts.report.read_text())
        return
    base = Path(tempfile.mkdtemp(prefix="tickora-bench-"))
    if opts.routine_only or opts.distance_only:
        splice_section(opts.report, routine_section(build, base, distance_runs), ROUTINE_HEADING)
    if opts.routine_only:
        shutil.rmtree(base, ignore_errors=True)
        print(opts.report.read_text())
        return
    if opts.distance_only:
        splice_section(opts.report, distance_section(build, base, distance_runs))
        shutil.rmtree(base, ignore_errors=True)
        print(opts.report.read_text())
        return
    lines = []
    targets = []

    print("parsers ...", file=sys.stderr)
    parser_rows = parser_table(build, runs)

    growth = []
    fetch_3800 = None
    for stocks in sizes:
        print(f"daily fetch, {stocks} stocks ...", file=sys.stderr)
        site = Site(build, stocks)
        try:
            work = workdir_for(build, site, stocks, base)
            pages = work / "curl-pages"
            pages.mkdir()
            config, requests = curl_config(build, work, site, "quote", pages)
            # A fetch of the market takes well under a second: more runs keep the medians of the
            # small sizes out of the noise of a few milliseconds.
            fetch_runs = max(runs, 15)
            curl_s, _, _ = median_run(["curl", "-s", "-K", str(config)], fetch_runs)
            tick_s, tick_kb, _ = median_run(cli(build, work, site, "fetch"), fetch_runs)
            load_s = float(subprocess.run(
                [str(build / "bench" / "bench_tool"), "load-list", "20"], cwd=work, check=True,
                capture_output=True, text=True).stdout.split()[1])
            growth.append((stocks, requests, tick_s, tick_kb, curl_s, load_s))
            if stocks == 3800:
                fetch_3800 = (work, site.url, requests, tick_s, curl_s, pages)
                print("price history of every stock ...", file=sys.stderr)
                hist_pages = work / "curl-history"
                hist_pages.mkdir()
                hconfig, hrequests = curl_config(build, work, site, "history", hist_pages)
                hist_runs = 1 if opts.quick else 3
                hcurl_s, _, _ = median_run(["curl", "-s", "-K", str(hconfig)], hist_runs)
                htick_s, htick_kb, _ = median_run(
                    cli(build, work, site, "kdt", "--all", "--days", "200"), hist_runs)
                history = (hrequests, htick_s, htick_kb, hcurl_s)
                print("start-up ...", file=sys.stderr)
                start_s, start_kb, _ = median_run(
                    [str(build / "cli" / "tickora-cli"), "--workdir", str(work), "settings"], 20)
                gui = build / "app" / "gui" / "tickora"
                gui_result = None
                if gui.exists():
                    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
                    try:
                        gui_result = median_run([str(gui), "--workdir", str(work),
                                                 "--quit-when-shown"], runs, env=env)
                    except RuntimeError as error:
                        print(f"GUI start-up not measured: {error}", file=sys.stderr)
        finally:
            site.stop()

    # The peer: the same saved pages, the same daily lines.
    work, _, requests, tick_s, curl_s, pages = fetch_3800
    print("parse against the Python peer ...", file=sys.stderr)
    ours = subprocess.run([str(build / "bench" / "bench_tool"), "parse-quotes", str(pages), "50"],
                          cwd=work, check=True, capture_output=True, text=True).stdout.split()
    ours_s = float(ours[1])
    ours_lines = Path(ours[3]).read_bytes().split(b"\r\n")[2:]
    peer_out = work / "peer.csv"
    # Debian's interpreter: bs4 and lxml are its packages, whatever python3 comes first on PATH.
    peer_python = "/usr/bin/python3" if Path("/usr/bin/python3").exists() else sys.executable
    peer = subprocess.run([peer_python, str(ROOT / "bench" / "peer" / "quote_peer.py"),
                           str(work), str(pages), "1" if opts.quick else "3", str(peer_out)],
                          check=True, capture_output=True, text=True).stdout.split()
    peer_s = float(peer[1])
    peer_lines = peer_out.read_bytes().split(b"\r\n")
    same = [l for l in ours_lines if l] == [l for l in peer_lines if l]

    fetch_ratio = tick_s / curl_s
    hrequests, htick_s, htick_kb, hcurl_s = history
    hist_ratio = htick_s / hcurl_s
    parse_ratio = peer_s / ours_s
    # Linear growth: time = fixed + slope * stocks; linear when no size strays from the fit by
    # more than 15 % (the fixed part is the process start and the first connection).
    xs = [g[0] for g in growth]
    ys = [g[2] for g in growth]
    mean_x, mean_y = statistics.mean(xs), statistics.mean(ys)
    slope = sum((x - mean_x) * (y - mean_y) for x, y in zip(xs, ys)) / sum((x - mean_x) ** 2 for x in xs)
    fixed = mean_y - slope * mean_x
    worst = max(abs(y - (fixed + slope * x)) / y for x, y in zip(xs, ys))
    linear = worst <= 0.15

    lines.append("# Tickora benchmark report\n")
    lines.append(f"Machine: {machine()}. Run: {time.strftime('%Y-%m-%d %H:%M %Z')}, "
                 f"medians of {runs} runs (the daily fetches: {max(runs, 15)}; the history: "
                 f"{1 if opts.quick else 3}). Site and program on loopback; "
                 f"command: `./run bench`.\n")
    lines.append("## Targets\n")
    lines.append("| Target | Figure | Result |")
    lines.append("|---|---|---|")
    lines.append(f"| daily fetch ≤ 1.10 × curl on the same URLs | {fetch_ratio:.2f} × "
                 f"({tick_s:.2f} s vs {curl_s:.2f} s, {requests} pages) | {verdict(fetch_ratio <= 1.10)} |")
    lines.append(f"| all-stocks history ≤ 1.10 × curl | {hist_ratio:.2f} × ({htick_s:.1f} s vs "
                 f"{hcurl_s:.1f} s, {hrequests} pages) | {verdict(hist_ratio <= 1.10)} |")
    lines.append(f"| parsing ≥ 100 × the Python peer | {parse_ratio:.0f} × ({ours_s * 1000:.1f} ms "
                 f"vs {peer_s * 1000:.0f} ms for {requests} pages; same lines: {'yes' if same else 'NO'}) "
                 f"| {verdict(parse_ratio >= 100 and same)} |")
    lines.append(f"| CLI start-up < 20 ms, < 20 MB with 3,800 stocks | {start_s * 1000:.1f} ms, "
                 f"{start_kb / 1024:.1f} MB | {verdict(start_s < 0.020 and start_kb < 20 * 1024)} |")
    lines.append(f"| time grows linearly with the stocks | {fixed * 1000:.1f} ms + {slope * 1e6:.1f} µs "
                 f"per stock; worst size {worst * 100:.0f} % off the line | {verdict(linear)} |")
    if gui_result:
        lines.append(f"| GUI to its first shown window (offscreen) | {gui_result[0] * 1000:.0f} ms, "
                     f"{gui_result[1] / 1024:.1f} MB | no target |")
    lines.append("")
    lines.append("## Growth of the daily fetch\n")
    lines.append("| Stocks | Pages | Tickora fetch | Peak memory | curl | Ratio | Load of the list |")
    lines.append("|---|---|---|---|---|---|---|")
    for stocks, req, t, kb, c, load in growth:
        lines.append(f"| {stocks} | {req} | {t:.3f} s | {kb / 1024:.1f} MB | {c:.3f} s | "
                     f"{t / c:.2f} | {load * 1000:.2f} ms |")
    lines.append("")
    lines.append(f"The all-stocks price history: {hrequests} pages, peak memory "
                 f"{htick_kb / 1024:.1f} MB.\n")
    lines.extend(distance_section(build, base, distance_runs))
    lines.extend(check_section(build, runs))
    lines.append("## Parsers (Google Benchmark, medians)\n")
    lines.append("| Benchmark | Time per page | Throughput |")
    lines.append("|---|---|---|")
    lines.extend(parser_rows)
    lines.append("")
    opts.report.write_text("\n".join(lines) + "\n")
    shutil.rmtree(base, ignore_errors=True)
    print(opts.report.read_text())


if __name__ == "__main__":
    main()
