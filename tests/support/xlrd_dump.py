"""Prints every sheet of an .xls file as read by xlrd, as JSON on stdout.

"rows" holds the cells typed: text as a string, numbers as numbers, booleans as
{"bool": 0|1}, error values as {"error": code}, empty cells as null. "texts" holds them as a
script that reads the file would print them: text as it is, empty cells as "", anything
else as Python's repr of its value. Exit status 3 with the reason on stderr when xlrd
refuses the file.
"""
import json
import sys

import xlrd


def cell_value(cell):
    if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
        return None
    if cell.ctype == xlrd.XL_CELL_TEXT:
        return cell.value
    if cell.ctype in (xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_DATE):
        return cell.value
    if cell.ctype == xlrd.XL_CELL_BOOLEAN:
        return {"bool": int(cell.value)}
    return {"error": cell.value}


def cell_text(cell):
    if cell.ctype == xlrd.XL_CELL_TEXT:
        return cell.value
    if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
        return ""
    return repr(cell.value)


def main():
    try:
        book = xlrd.open_workbook(sys.argv[1], ragged_rows=True)
    except Exception as error:  # xlrd's refusal is the answer, whatever its type
        print(f"{type(error).__name__}: {error}", file=sys.stderr)
        sys.exit(3)
    sheets = []
    for sheet in book.sheets():
        rows = [[cell_value(c) for c in sheet.row(r)] for r in range(sheet.nrows)]
        texts = [[cell_text(c) for c in sheet.row(r)] for r in range(sheet.nrows)]
        sheets.append({"name": sheet.name, "rows": rows, "texts": texts})
    json.dump({"sheets": sheets}, sys.stdout)


main()
