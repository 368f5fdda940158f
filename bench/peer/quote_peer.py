#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A quote scraper as a user would write it: BeautifulSoup over lxml.

Reads the saved quote pages webtemp-NNN.html of a working folder's fetch list (blocks of 50 stocks,
one page each), matches each page's table rows to the block's stocks in order, and prints the daily
quote lines of the comma layout: code,market number,name,open,high,low,close,volume.

    quote_peer.py WORKDIR PAGEDIR REPEAT OUTFILE

Prints the median seconds of one parse pass over all pages (the pages are read once beforehand).
"""
import statistics
import sys
import time
from pathlib import Path

from bs4 import BeautifulSoup


def read_markets(path):
    numbers = {}
    for line in path.read_bytes().decode("cp932").splitlines():
        parts = line.split(",")
        if len(parts) >= 2:
            numbers[parts[1].strip()] = int(parts[0])
    return numbers


def read_blocks(path, numbers):
    stocks = []
    for line in path.read_bytes().decode("cp932").splitlines():
        parts = line.split(",", 3)
        if len(parts) == 4:
            stocks.append({"symbol": parts[0], "code": int(parts[1]),
                           "market": numbers.get(parts[2], 0), "name": parts[3]})
    return [stocks[i:i + 50] for i in range(0, len(stocks), 50)]


def number(text):
    text = text.replace(",", "").strip()
    try:
        return float(text)
    except ValueError:
        digits = "".join(c for c in text if c.isdigit() or c in "-.")
        try:
            return float(digits)
        except ValueError:
            return 0.0


def parse_page(html, block):
    soup = BeautifulSoup(html, "lxml", from_encoding="euc-jp")
    quotes = {}
    slot = 0
    for row in soup.find_all("tr"):
        cells = [td.get_text() for td in row.find_all("td")]
        if len(cells) < 10 or slot >= len(block):
            continue
        symbol = cells[0].split()[0] if cells[0].split() else ""
        stock = block[slot]
        if not (len(symbol) > 5 and symbol[4] == "." and symbol[5] in "ON") and symbol != stock["symbol"]:
            continue
        slot += 1
        if cells[1].startswith("一致する銘柄はありません"):
            continue
        close = number(cells[3])
        if close <= 0:
            continue
        prices = [number(cells[7]), number(cells[8]), number(cells[9])]
        if min(prices) <= 0:
            prices = [close, close, close]
        quotes[stock["code"]] = (prices[0], prices[1], prices[2], close, number(cells[6]))
    return quotes


def main():
    workdir, pagedir, repeat, outfile = Path(sys.argv[1]), Path(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    blocks = read_blocks(workdir / "fetchlist.csv", read_markets(workdir / "market.csv"))
    pages = [(pagedir / f"webtemp-{i:03d}.html").read_bytes()[:153599] for i in range(len(blocks))]
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        results = [parse_page(page, block) for page, block in zip(pages, blocks)]
        times.append(time.perf_counter() - start)
    with open(outfile, "w", encoding="cp932", newline="\r\n") as out:
        for block, quotes in zip(blocks, results):
            for stock in block:
                if stock["code"] in quotes:
                    o, h, l, c, v = quotes[stock["code"]]
                    out.write(f"{stock['code']:04d},{stock['market']},{stock['name']},"
                              f"{int(o)},{int(h)},{int(l)},{int(c)},{int(v)}\n")
    print(f"parse_seconds {statistics.median(times):.6f}")


if __name__ == "__main__":
    main()
