#!/usr/bin/env python3
"""Make the sample price file from the public S&P 500 daily series.

Reads a CSV with the columns date,open,high,low,close,... (dates YYYY-MM-DD)
and writes it in the form a Japanese broker's download has: Shift-JIS text,
CR LF line ends, a Japanese header line, one line per trading day with the
date as YYYY/MM/DD and the close, open, high and low rounded to two decimals,
double-quoted and written with thousands separators ("1,455.22"), and a
Japanese trailer line naming the source.  The header and the trailer are not
data: the program skips the first and the last line of the file.

Usage: make_sample.py [SOURCE.csv [OUTPUT.csv]]
Defaults: ../shared/data/sp500-2000.csv and samples/tarvok_stock_average_daily_jp.csv,
both relative to the repository root.  Standard library only.
"""

import csv
import sys
from decimal import ROUND_HALF_UP, Decimal
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
DEFAULT_SOURCE = ROOT.parent / "shared" / "data" / "sp500-2000.csv"
DEFAULT_OUTPUT = ROOT / "samples" / "tarvok_stock_average_daily_jp.csv"

HEADER = "日付,終値,始値,高値,安値"
TRAILER = "※出典: S&P 500 日次価格 (vega-datasets 3.2.1 sp500-2000.csv, Yahoo Finance)"


def price_text(value: str) -> str:
    """A price rounded to two decimals with thousands separators, quoted."""
    cents = Decimal(value).quantize(Decimal("0.01"), rounding=ROUND_HALF_UP)
    return '"{:,.2f}"'.format(cents)


def date_text(iso: str) -> str:
    year, month, day = iso.split("-")
    return f"{int(year):04d}/{int(month):02d}/{int(day):02d}"


def convert(source: Path) -> list:
    lines = [HEADER]
    with source.open(newline="", encoding="ascii") as f:
        for row in csv.DictReader(f):
            lines.append(",".join([
                date_text(row["date"]),
                price_text(row["close"]),
                price_text(row["open"]),
                price_text(row["high"]),
                price_text(row["low"]),
            ]))
    lines.append(TRAILER)
    return lines


def main(argv: list) -> int:
    source = Path(argv[1]) if len(argv) > 1 else DEFAULT_SOURCE
    output = Path(argv[2]) if len(argv) > 2 else DEFAULT_OUTPUT
    lines = convert(source)
    output.parent.mkdir(parents=True, exist_ok=True)
    with output.open("wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("shift_jis"))
    print(f"{output}: {len(lines) - 2} data lines, "
          f"{lines[1].split(',')[0]} to {lines[-2].split(',')[0]}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
