#!/usr/bin/env python3
"""Figures from a tarvel-update transcript (--transcript FILE).

  transcript_stats.py FILE

Prints the turnaround median and p99 in ms: from the host reading a reply to its next write.
"""
import statistics
import sys

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

if __name__ == "__main__":
    main()
