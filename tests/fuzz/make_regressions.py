"""Writes the regression inputs of the fuzz targets into corpus/<target>/: crafted files that
once made the reader write outside its buffers, take gigabytes or read the same bytes over and
over. The test command replays them through every target. Usage:
/usr/bin/python3 tests/fuzz/make_regressions.py"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def record(kind, data=b""):
    return struct.pack("<HH", kind, len(data)) + data


def bof(substream):
    return record(0x0809, struct.pack("<HHHHII", 0x0600, substream, 0x0DBB, 0x07CC, 0, 6))


EOF_RECORD = record(0x000A)


def book(globals_records, sheets):
    """A Workbook stream: globals, one BOUNDSHEET per sheet body, then the bodies."""
    bound = lambda offset, name: record(
        0x0085, struct.pack("<IBBBB", offset, 0, 0, len(name), 0) + name)
    size = len(bof(5)) + len(globals_records) + len(EOF_RECORD)
    size += sum(len(bound(0, name)) for name, _ in sheets)
    bounds, bodies = b"", b""
    for name, body in sheets:
        bounds += bound(size + len(bodies), name)
        bodies += bof(0x10) + body + EOF_RECORD
    return bof(5) + globals_records + bounds + EOF_RECORD + bodies


def label_sst(row, column, index):
    return record(0x00FD, struct.pack("<HHHI", row, column, 15, index))


def compound(stream, extra_entries=0):
    """A version 3 compound file holding `stream` (4096 bytes or more) as "Workbook"; sector 0
    the FAT, 1 the directory, then the stream. `extra_entries` more streams named A, B, ...
    point at the Workbook's sectors."""
    assert len(stream) >= 4096
    sectors = (len(stream) + 511) // 512
    header = bytearray(512)
    header[0:8] = b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"
    struct.pack_into("<HHHHH", header, 24, 0x3E, 3, 0xFFFE, 9, 6)
    struct.pack_into("<IIIIIIII", header, 44, 1, 1, 0, 4096, 0xFFFFFFFE, 0, 0xFFFFFFFE, 0)
    for i in range(109):
        struct.pack_into("<I", header, 76 + 4 * i, 0 if i == 0 else 0xFFFFFFFF)
    fat = bytearray(b"\xFF" * 512)
    struct.pack_into("<II", fat, 0, 0xFFFFFFFD, 0xFFFFFFFE)
    for s in range(sectors):
        struct.pack_into("<I", fat, 4 * (2 + s), 0xFFFFFFFE if s + 1 == sectors else 3 + s)
    directory = bytearray(512)

    def entry(index, name, kind, child, start, size, left=0xFFFFFFFF, right=0xFFFFFFFF):
        e = 128 * index
        encoded = (name + "\0").encode("utf-16-le")
        directory[e:e + len(encoded)] = encoded
        struct.pack_into("<HBBIII", directory, e + 64, len(encoded), kind, 1, left, right, child)
        struct.pack_into("<II", directory, e + 116, start, size)

    entry(0, "Root Entry", 5, 1, 0xFFFFFFFE, 0)
    entry(1, "Workbook", 2, 0xFFFFFFFF, 2, len(stream),
          2 if extra_entries > 0 else 0xFFFFFFFF, 3 if extra_entries > 1 else 0xFFFFFFFF)
    for i in range(extra_entries):
        entry(2 + i, chr(ord("A") + i), 2, 0xFFFFFFFF, 2, len(stream))
    for i in range(1 + extra_entries + 1, 4):
        struct.pack_into("<III", directory, 128 * i + 68, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF)
    return bytes(header + fat + directory) + stream + b"\0" * (sectors * 512 - len(stream))


def save(target, name, data):
    with open(os.path.join(HERE, "corpus", target, name), "wb") as f:
        f.write(data)


# A shared string continued over an empty CONTINUE record: the continued-string reader once
# wrote before its buffer here.
text = b"Kohlenmonoxid"
sst = record(0x00FC, struct.pack("<IIHB", 1, 1, len(text), 0) + text[:3])
sst += record(0x003C) + record(0x003C, b"\0" + text[3:]) + record(0x003C)
zero_continue = book(sst, [(b"S", label_sst(0, 0, 0))])
save("biff", "regression-zero-length-continue.biff", zero_continue)
save("store", "regression-zero-length-continue.xls", compound(zero_continue + b"\0" * 4096))

# A thousand empty sheets, each with one ROW record at the last row: once 1.5 GB of rows.
row = record(0x0208, struct.pack("<HHHHHHHH", 65535, 0, 256, 0xFF, 0, 0, 0x100, 15))
thousand = book(b"", [(b"S%d" % i, row) for i in range(1000)])
save("biff", "regression-thousand-sheets-row-65535.biff", thousand)

# A thousand sheets, each with one cell in the last row: refused by the read budget.
cells = book(record(0x00FC, struct.pack("<IIHB", 1, 1, 1, 0) + b"x"),
             [(b"S%d" % i, label_sst(65535, 0, 0)) for i in range(1000)])
save("biff", "regression-thousand-sheets-cell-65535.biff", cells)

# Two thousand BOUNDSHEET records pointing at one BOF followed by 5000 empty CONTINUE records.
globals_size = len(bof(5)) + 2000 * 13 + len(EOF_RECORD)
bounds = b"".join(record(0x0085, struct.pack("<IBBBB", globals_size, 0, 0, 1, 0) + b"S")
                  for _ in range(2000))
overlap = bof(5) + bounds + EOF_RECORD + bof(0x10) + record(0x003C) * 5000 + EOF_RECORD
save("biff", "regression-sheets-over-one-another.biff", overlap)

# Directory entries sharing the Workbook stream's sectors.
plain = book(b"", [(b"S", b"".join(
    record(0x0204, struct.pack("<HHHHB", r, 0, 15, 8, 0) + b"row text") for r in range(400)))])
save("cfb", "regression-streams-sharing-sectors.xls", compound(plain, 2))
save("store", "regression-streams-sharing-sectors.xls", compound(plain, 2))
