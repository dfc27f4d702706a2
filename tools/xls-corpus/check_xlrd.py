"""Checks the write-backs of the corpus run with xlrd: check_xlrd.py RESULTS.tsv > CHECKS.tsv.

RESULTS.tsv holds the lines of xls_corpus_writeback. For every written copy it prints
"input <TAB> way <TAB> ok" or "input <TAB> way <TAB> problem <TAB> what", where a problem is
one of: xlrd cannot open the copy (with or without formatting information); a sheet was lost,
renamed or moved; a cell of another sheet reads differently from the original; a new cell does
not read back as written; another sheet's BIFF records or another compound-file stream are not
the bytes they were (shared strings compared by their text, sheet positions left out); the
workbook globals are not those read, but for new sheets' BOUNDSHEET records and strings
added at the end of the string table; a compound-file header field that does not describe
the layout changed.
When xlrd cannot open the original either, the status is "original-unreadable". For a
refused file it prints "original-readable" when xlrd reads the original, else
"original-unreadable" and xlrd's reason."""
import math
import struct
import sys

import xlrd
import xlrd.compdoc

BOF, EOF, CONTINUE, BOUNDSHEET, LABELSST, SST, EXTSST, INDEX = (
    0x0809, 0x000A, 0x003C, 0x0085, 0x00FD, 0x00FC, 0x00FF, 0x020B)


def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append({"t": "\t", "n": "\n"}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def read_expect(path):
    own, added, cells = None, [], []
    with open(path, encoding="utf-8") as f:
        for line in f:
            parts = [unescape(p) for p in line.rstrip("\n").split("\t")]
            if parts[0] == "own":
                own = parts[1]
            elif parts[0] == "new":
                added.append(parts[1])
            elif parts[0] == "cell":
                cells.append((parts[1], int(parts[2]), int(parts[3]), parts[4]))
    return own, added, cells


def cell_key(cell):
    value = cell.value
    if isinstance(value, float) and math.isnan(value):
        value = "nan"
    return (cell.ctype, value)


def as_text(cell):
    if cell.ctype == xlrd.XL_CELL_NUMBER:
        value = cell.value
        return str(int(value)) if value == int(value) and abs(value) < 1e15 else repr(value)
    if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
        return ""
    return str(cell.value)


def sheet_cells(sheet):
    cells = {}
    for r in range(sheet.nrows):
        for c, cell in enumerate(sheet.row(r)):
            if cell.ctype not in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                cells[(r, c)] = cell_key(cell)
    return cells


def workbook_stream(doc):
    for name in ("Workbook", "Book", "WORKBOOK", "BOOK"):
        try:
            return name, doc.get_named_stream(name)
        except Exception:
            continue
    return None, None


def sheet_records(path, book):
    """The records of each sheet substream by name, LABELSST shown with its text."""
    with open(path, "rb") as f:
        doc = xlrd.compdoc.CompDoc(f.read(), logfile=open("/dev/null", "w"))
    _, stream = workbook_stream(doc)
    if stream is None:
        return {}
    positions, pieces, at, previous = [], [], 0, None
    while at + 4 <= len(stream):
        kind, length = struct.unpack_from("<HH", stream, at)
        body = stream[at + 4:at + 4 + length]
        if kind == BOUNDSHEET:
            positions.append(struct.unpack_from("<I", body)[0])
        if kind == SST or (kind == CONTINUE and previous in (SST, CONTINUE) and pieces):
            pieces.append(body)
            kind = SST
        if kind == EOF:
            break
        previous = kind
        at += 4 + length
    strings = []
    if pieces and len(pieces[0]) >= 8:
        strings = xlrd.book.unpack_SST_table(pieces, struct.unpack_from("<I", pieces[0], 4)[0])[0]
    result = {}
    for index, start in enumerate(positions):
        if index >= book.nsheets:
            break
        records, at, depth = [], start, 0
        while at + 4 <= len(stream):
            kind, length = struct.unpack_from("<HH", stream, at)
            body = bytes(stream[at + 4:at + 4 + length])
            if kind == LABELSST and length >= 10:
                i = struct.unpack_from("<I", body, 6)[0]
                body = body[:6] + (strings[i] if i < len(strings) else "?%d" % i).encode("utf-8")
            if kind == INDEX:  # stream positions, which move with everything before them
                body = body[:12]
            records.append((kind, body))
            at += 4 + length
            depth += kind == BOF
            depth -= kind == EOF
            if depth == 0:
                break
        result[book.sheet_by_index(index).name] = records
    return result


def globals_records(path):
    """The workbook globals without the string table (SST, its CONTINUE records, EXTSST) and
    with BOUNDSHEET positions blanked; and the strings of the table."""
    with open(path, "rb") as f:
        doc = xlrd.compdoc.CompDoc(f.read(), logfile=open("/dev/null", "w"))
    _, stream = workbook_stream(doc)
    records, pieces, at, previous = [], [], 0, None
    while at + 4 <= len(stream):
        kind, length = struct.unpack_from("<HH", stream, at)
        body = bytes(stream[at + 4:at + 4 + length])
        at += 4 + length
        if kind == SST or (kind == CONTINUE and previous == SST):
            pieces.append(body)
            previous = SST
            continue
        previous = kind
        if kind == EXTSST:
            continue
        if kind == BOUNDSHEET:
            body = b"\0\0\0\0" + body[4:]
        records.append((kind, body))
        if kind == EOF:
            break
    strings = []
    if pieces and len(pieces[0]) >= 8:
        strings = xlrd.book.unpack_SST_table(pieces, struct.unpack_from("<I", pieces[0], 4)[0])[0]
    return records, strings


def globals_problem(original, written, added):
    """The globals of the copy are those of the original, but for the BOUNDSHEET records of the
    sheets it added and strings added at the end of the string table."""
    before, strings_before = globals_records(original)
    after, strings_after = globals_records(written)
    if strings_after[:len(strings_before)] != strings_before:
        return "globals: the strings of the table are not those read, in their order"
    kept = [r for r in after if r not in before and r[0] == BOUNDSHEET]
    if len(kept) > len(added) or [r for r in after if r not in kept] != before:
        changed = [a[0] for a, b in zip([r for r in after if r not in kept], before) if a != b]
        return "globals: records not as read (first differing type 0x%04X)" % (
            changed[0] if changed else 0)
    return None


def header_problem(original, written):
    """Compound-file header fields that do not describe the layout: signature, class, versions,
    byte order, sector sizes, transaction signature and the mini stream cutoff."""
    with open(original, "rb") as f:
        a = f.read(512)
    with open(written, "rb") as f:
        b = f.read(512)
    for start, end, what in ((0x18, 0x1A, "minor version"), (0x1A, 0x1C, "major version"),
                             (0x00, 0x28, "signature, class or sector sizes"),
                             (0x34, 0x3C, "transaction signature or mini stream cutoff")):
        if a[start:end] != b[start:end]:
            return "compound file header: %s %s became %s" % (what, a[start:end].hex(),
                                                              b[start:end].hex())
    return None


def other_streams(path):
    with open(path, "rb") as f:
        data = f.read()
    doc = xlrd.compdoc.CompDoc(data, logfile=open("/dev/null", "w"))
    streams = {}
    for entry in doc.dirlist:
        if entry.etype == 2 and entry.name not in ("Workbook", "Book", "WORKBOOK", "BOOK"):
            try:
                streams[entry.name] = bytes(doc.get_named_stream(entry.name) or b"")
            except Exception:
                streams[entry.name] = None
    return streams


class Unreadable(Exception):
    """The reader cannot open the original file either: nothing the write-back did."""


def check(original, written, expect):
    own, added, cells = read_expect(expect)
    for formatting in (False, True):
        try:
            new = xlrd.open_workbook(written, ragged_rows=True, formatting_info=formatting,
                                     logfile=open("/dev/null", "w"))
        except Exception as error:
            try:
                xlrd.open_workbook(original, ragged_rows=True, formatting_info=formatting,
                                   logfile=open("/dev/null", "w"))
            except Exception:
                raise Unreadable("xlrd cannot open the original either: %s" % error)
            return "xlrd%s cannot open the copy: %s" % (
                " with formatting information" if formatting else "", error)
    for sheet, r, c, text in cells:
        try:
            got = new.sheet_by_name(sheet)
        except xlrd.XLRDError:
            return "new cell: no sheet %s" % sheet
        value = as_text(got.cell(r, c)) if r < got.nrows and c < got.row_len(r) else ""
        if value != text:
            return "new cell %s!R%dC%d reads %r, not %r" % (sheet, r + 1, c + 1, value[:40], text[:40])
    try:
        old = xlrd.open_workbook(original, ragged_rows=True, logfile=open("/dev/null", "w"))
    except Exception:
        return None  # nothing to compare with: the copy opens and its new cells read back
    names_old, names_new = old.sheet_names(), new.sheet_names()
    if names_new[:len(names_old)] != names_old or not set(names_new[len(names_old):]) <= set(added):
        return "sheets %s became %s" % (names_old[:6], names_new[:6])
    for name in names_old:
        if name == own:
            continue
        a, b = sheet_cells(old.sheet_by_name(name)), sheet_cells(new.sheet_by_name(name))
        if a != b:
            diff = sorted(set(a.items()) ^ set(b.items()), key=lambda x: x[0])[0]
            return "sheet %s: cell R%dC%d differs (%r)" % (name, diff[0][0] + 1, diff[0][1] + 1,
                                                           str(diff[1])[:60])
    try:
        before, after = sheet_records(original, old), sheet_records(written, new)
    except Exception as error:
        return "records cannot be compared: %s" % error
    for name, records in before.items():
        if name != own and after.get(name) != records:
            changed = [r[0] for r, s in zip(records, after.get(name, [])) if r != s]
            return "sheet %s: records not as read (first differing type 0x%04X)" % (
                name, changed[0] if changed else 0)
    if other_streams(original) != other_streams(written):
        return "other streams of the compound file not as read"
    return globals_problem(original, written, added) or header_problem(original, written)


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        for line in f:
            parts = line.rstrip("\n").split("\t")
            if len(parts) >= 4 and parts[2] == "refused":
                # Whether xlrd reads what the program refused: such a refusal may be one to lift.
                try:
                    xlrd.open_workbook(parts[0], ragged_rows=True, logfile=open("/dev/null", "w"))
                    print("\t".join([parts[0], parts[1], "original-readable", ""]))
                except Exception as error:
                    print("\t".join([parts[0], parts[1], "original-unreadable",
                                     str(error).replace("\t", " ").replace("\n", " ")]))
                continue
            if len(parts) < 6 or parts[2] != "written":
                continue
            status = "problem"
            try:
                problem = check(parts[0], parts[4], parts[5])
            except Unreadable as error:
                status, problem = "original-unreadable", str(error)
            except Exception as error:
                problem = "checker failed: %s" % error
            problem = (problem or "").replace("\t", " ").replace("\n", " ")
            print("\t".join([parts[0], parts[1], status if problem else "ok", problem]))
            sys.stdout.flush()


if __name__ == "__main__":
    main()
