"""Prints what an .xls file holds, as JSON, for the tests that check what a write-back keeps.

"records": the BIFF records of every sheet substream by sheet name, and of the workbook
globals, read with xlrd's compound-file reader, each as "type:hex data". Fields that only
say where things lie are blanked (BOUNDSHEET's sheet position, INDEX's positions); shared
string cells are shown with their text instead of the table index; the string table, its
CONTINUE records and its index become the list of strings.
"sheets": what xlrd with formatting information sees: visibility, every cell's type, value,
number format and font, merged ranges, column widths and row heights.
"streams": the names and sizes of the compound file's other streams.
"string_index_problem": empty when every EXTSST bucket points at the string it indexes (its
stream position and its offset in the record it starts in), else the first one that does not.
"""
import json
import struct
import sys

import xlrd
import xlrd.compdoc

BOF, EOF, CONTINUE, BOUNDSHEET, SST, EXTSST, LABELSST, INDEX = (
    0x0809, 0x000A, 0x003C, 0x0085, 0x00FC, 0x00FF, 0x00FD, 0x020B)


def records(stream, at):
    while at + 4 <= len(stream):
        kind, length = struct.unpack_from("<HH", stream, at)
        yield kind, stream[at + 4:at + 4 + length], at
        at += 4 + length


def substream(stream, at):
    out = []
    depth = 0
    for kind, data, _ in records(stream, at):
        out.append((kind, data))
        if kind == BOF:
            depth += 1
        elif kind == EOF:
            depth -= 1
            if depth == 0:
                break
    return out


def main(path):
    with open(path, "rb") as f:
        data = f.read()
    doc = xlrd.compdoc.CompDoc(data)
    stream = doc.get_named_stream("Workbook")
    book = xlrd.open_workbook(path, formatting_info=True, ragged_rows=True)
    pieces = []
    for kind, body, _ in substream_positions(stream):
        if kind == SST or (kind == CONTINUE and pieces and pieces[-1] is not None):
            pieces.append(body)
        elif pieces and pieces[-1] is not None:
            pieces.append(None)
    pieces = [p for p in pieces if p is not None]
    strings = []
    if pieces:
        count = struct.unpack_from("<I", pieces[0], 4)[0]
        strings = xlrd.book.unpack_SST_table(pieces, count)[0]

    result = {"records": {}, "sheets": [], "streams": [],
              "string_index_problem": string_index_problem(stream)}
    globals_ = []
    sheets = []
    in_sst = False
    for kind, body, _ in substream_positions(stream):
        if kind == BOUNDSHEET:
            position = struct.unpack_from("<I", body)[0]
            sheets.append(position)
            body = b"\0\0\0\0" + body[4:]
        if kind == SST:
            in_sst = True
            globals_.append("SST:" + json.dumps(strings, ensure_ascii=False))
            continue
        if kind == CONTINUE and in_sst:
            continue
        in_sst = False
        if kind == EXTSST:
            continue
        globals_.append("%04X:%s" % (kind, body.hex()))
    result["records"]["(globals)"] = globals_

    for index, position in enumerate(sheets):
        name = book._sheet_names[index] if index < len(book._sheet_names) else str(index)
        listed = []
        depth = 0
        for kind, body in substream(stream, position):
            depth += kind == BOF
            if kind == LABELSST and depth == 1:
                row, col, xf, sst = struct.unpack_from("<HHHI", body)
                listed.append("LABELSST:%d:%d:%d:%s" % (row, col, xf, strings[sst]))
            elif kind == INDEX and depth == 1:
                listed.append("INDEX:" + body[4:12].hex())
            else:
                listed.append("%04X:%s" % (kind, body.hex()))
            depth -= kind == EOF
        result["records"][name] = listed

    for sheet in book.sheets():
        cells = []
        for r in range(sheet.nrows):
            for c in range(sheet.row_len(r)):
                cell = sheet.cell(r, c)
                if cell.ctype == xlrd.XL_CELL_EMPTY:
                    continue
                xf = book.xf_list[cell.xf_index]
                font = book.font_list[xf.font_index]
                fmt = book.format_map[xf.format_key].format_str
                cells.append([r, c, cell.ctype, repr(cell.value), fmt, font.bold, font.italic,
                              font.colour_index])
        result["sheets"].append({
            "name": sheet.name,
            "visibility": sheet.visibility,
            "cells": cells,
            "merged": sorted(list(m) for m in sheet.merged_cells),
            "widths": sorted([c, i.width] for c, i in sheet.colinfo_map.items()),
            "heights": sorted([r, i.height] for r, i in sheet.rowinfo_map.items()),
        })
    for name in ("\x05SummaryInformation", "\x05DocumentSummaryInformation", "CompObj"):
        s = doc.get_named_stream(name)
        if s is not None:
            result["streams"].append([name.strip("\x05"), len(s), s.hex()])
    json.dump(result, sys.stdout, ensure_ascii=False)


def string_starts(stream):
    """Stream position of each string of the SST and of the record it starts in."""
    pieces = []  # [data position, data, record position]
    for kind, body, at in substream_positions(stream):
        if kind == SST:
            pieces = [[at + 4 + 8, body[8:], at]]
        elif kind == CONTINUE and pieces and pieces[-1] is not None:
            pieces.append([at + 4, body, at])
        elif pieces and pieces[-1] is not None:
            pieces.append(None)
    pieces = [p for p in pieces if p is not None]
    starts = []
    p, i = 0, 0

    def take(n):
        nonlocal p, i
        out = b""
        while n > 0:
            while p < len(pieces) and i >= len(pieces[p][1]):
                p, i = p + 1, 0
            if p >= len(pieces):
                raise ValueError("the table ends inside a string")
            part = pieces[p][1][i:i + n]
            out += part
            i += len(part)
            n -= len(part)
        return out

    while True:
        while p < len(pieces) and i >= len(pieces[p][1]):
            p, i = p + 1, 0
        if p >= len(pieces):
            return starts
        starts.append((pieces[p][0] + i, pieces[p][2]))
        count, flags = struct.unpack("<HB", take(3))
        runs = struct.unpack("<H", take(2))[0] if flags & 8 else 0
        extension = struct.unpack("<I", take(4))[0] if flags & 4 else 0
        size = 2 if flags & 1 else 1
        while count > 0:
            if i >= len(pieces[p][1]):
                p, i = p + 1, 0
                size = 2 if take(1)[0] & 1 else 1  # characters go on with flags of their own
            n = min(count, (len(pieces[p][1]) - i) // size)
            take(n * size)
            count -= n
        take(4 * runs + extension)


def string_index_problem(stream):
    starts = string_starts(stream)
    for kind, body, _ in substream_positions(stream):
        if kind != EXTSST:
            continue
        per_bucket = struct.unpack_from("<H", body)[0]
        for k in range((len(body) - 2) // 8):
            position, offset = struct.unpack_from("<IH", body, 2 + 8 * k)
            index = k * per_bucket
            if index >= len(starts):
                return "bucket %d indexes string %d of %d" % (k, index, len(starts))
            start, record = starts[index]
            if position != start or offset != start - record:
                return "bucket %d: %d+%d, string %d starts at %d, %d into its record" % (
                    k, position, offset, index, start, start - record)
    return ""


def substream_positions(stream):
    depth = 0
    for kind, body, at in records(stream, 0):
        yield kind, body, at
        if kind == BOF:
            depth += 1
        elif kind == EOF:
            depth -= 1
            if depth == 0:
                return


main(sys.argv[1])
