#!/usr/bin/python3
"""Writes the seed scripts of the receive-path fuzz target into corpus/receive/.

A script is: a layout byte (odd: six channels), a record-count byte, then operations:
0 download tick, 1 parameter tick, 2 Read parameter, 3 Download Data, 4 <n> <n bytes> raw
bytes, 5 <cut> <k> <k bytes> the instrument's answer to the last request with stray bytes,
7 <i> a copy of an earlier answer, 8 line closed/opened, 9 <16 bytes> <k> <byte> a record
answer whose CRC is 00 00 with k stray bytes, 10 <b> the six-channel flag.
"""
import os

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "receive")

seeds = {
    "download-prompt": bytes([0, 10] + [0, 5, 0, 0] * 10),
    "download-six-split": bytes([1, 4] + [0, 5, 9, 2, 0x55, 0xAA] * 4),
    "late-copy-after-repeat": bytes([0, 8, 0, 0, 5, 0, 0, 0, 7, 0, 0, 0, 5, 0, 0, 7, 0, 7, 1, 0, 5, 0, 0]),
    "zero-crc-stray": bytes([0, 5, 0, 9] + list(range(1, 17)) + [10, 0, 0, 5, 0, 0]),
    "parameter-read": bytes([0, 5, 2] + [1, 5, 0, 0] * 9 + [3, 0, 5, 0, 0]),
    "close-port-mid-download": bytes([0, 6, 0, 5, 0, 0, 0, 8, 0, 0, 8, 3, 0, 5, 0, 0, 0, 5, 0, 0]),
    "raw-garbage": bytes([0, 3, 0, 4, 20] + [0x01, 0x41] * 10 + [0, 4, 3, 1, 0x41, 0]),
}

os.makedirs(HERE, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)
