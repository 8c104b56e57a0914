#!/usr/bin/env python3
"""Figures from a tarvel-update transcript (--transcript FILE).

  transcript_stats.py FILE

Prints: turnaround median and p99 in ms (from the host reading a reply to its next write), and
the acknowledged transfer's data phase: bytes sent from the first block announcement to "q", the
time it took and the share of the line rate (11,520 bytes/s).
"""
import statistics
import sys

LINE_RATE = 11520


def parse(path):
    """Writes and reads as (ms, direction, bytes), one entry per write or read."""
    entries = []
    for line in open(path, encoding="latin-1"):
        # Fixed columns: time (10), blank, direction (2), two blanks, hex (48), " |text|".
        direction = line[11:13]
        if direction not in ("TX", "RX"):
            continue
        ms = float(line[:10])
        data = bytes.fromhex(line[15:63])
        if entries and entries[-1][0] == ms and entries[-1][1] == direction:
            entries[-1] = (ms, direction, entries[-1][2] + data)  # a long write over lines
        else:
            entries.append((ms, direction, data))
    return entries


def main():
    entries = parse(sys.argv[1])
    turnarounds = [b[0] - a[0] for a, b in zip(entries, entries[1:])
                   if a[1] == "RX" and b[1] == "TX"]
    turnarounds.sort()
    p99 = turnarounds[min(len(turnarounds) - 1, int(len(turnarounds) * 0.99))]
    print(f"turnaround_median_ms {statistics.median(turnarounds):.3f}")
    print(f"turnaround_p99_ms {p99:.3f}")
    print(f"turnarounds {len(turnarounds)}")
    starts = [e for e in entries if e[1] == "TX" and len(e[2]) == 2 and e[2][:1] in b"ef"]
    ends = [e for e in entries if e[1] == "TX" and e[2] == b"q"]
    if starts and ends:
        first, last = starts[0][0], ends[-1][0]
        sent = sum(len(e[2]) for e in entries if e[1] == "TX" and first <= e[0] < last)
        seconds = (last - first) / 1000
        print(f"data_phase_bytes {sent}")
        print(f"data_phase_seconds {seconds:.3f}")
        print(f"data_phase_line_share {100 * sent / LINE_RATE / seconds:.1f}")


if __name__ == "__main__":
    main()
