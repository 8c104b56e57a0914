#!/usr/bin/env python3
"""Bytes the host puts on the line for a whole update of an image, and the time they need at
115200 baud 8N1 (11,520 bytes/s): the floor under any update of that image.

  line_bytes.py request|ack IMAGE
"""
import sys

LINE_RATE = 11520
SECTOR, BLOCK = 65536, 1024


def request_bytes(image):
    sectors = round(len(image) / SECTOR)
    return 12 + 3 + sectors * SECTOR  # switch check, "OK"+N, the sectors


def ack_bytes(image):
    body = image[64:]
    sectors = round(len(body) / SECTOR)
    total = 12 + 1 + 30 + 6  # switch check, "q", the answered probe (the first), type code
    sector, last_blank = 0, False
    while sector <= sectors - 1:
        if last_blank:
            sector = sectors - 1
        for block in range(64):
            data = body[sector * SECTOR + block * BLOCK:][:BLOCK]
            blank = all(b == 0xFF for b in data)
            total += 2 if blank else 2 + BLOCK + 1
            last_blank = blank
        total += 2  # write sector
        sector += 1
    return total + 1  # "q"


def main():
    kind, path = sys.argv[1], sys.argv[2]
    image = open(path, "rb").read()
    total = request_bytes(image) if kind == "request" else ack_bytes(image)
    print(f"{total} {total / LINE_RATE:.2f}")


if __name__ == "__main__":
    main()
