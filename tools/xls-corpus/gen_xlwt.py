"""Writes the corpus workbooks with xlwt (python3-xlwt): gen_xlwt.py FOLDER FIRST COUNT."""
import datetime
import os
import sys

import xlwt

import corpuscontent as cc


def make(path, m):
    book = xlwt.Workbook(encoding="utf-8")
    fonts = []
    for bold, italic, colour in ((True, False, 2), (False, True, 4), (True, True, 12)):
        font = xlwt.Font()
        font.bold, font.italic, font.colour_index = bold, italic, colour
        fonts.append(font)
    plain = xlwt.easyxf("")
    date = xlwt.easyxf(num_format_str="yyyy-mm-dd hh:mm")
    bold = xlwt.easyxf("font: bold on; align: wrap on")
    names = [s["name"] for s in m["sheets"]]
    for s in m["sheets"]:
        sheet = book.add_sheet(s["name"], cell_overwrite_ok=True)
        merged = {(r0, c0): (r1, c1) for r0, r1, c0, c1 in s["merges"]}
        for r, c, kind, value in s["cells"]:
            if (r, c) in merged:
                r1, c1 = merged[(r, c)]
                sheet.write_merge(r, r1, c, c1, value, bold)
            elif kind == "rich":
                sheet.write_rich_text(r, c, [(t, fonts[f]) if f else t for t, f in value], plain)
            elif kind == "formula":
                text = value[0]
                if len(names) > 1 and (r + c) % 5 == 0:
                    text = "'%s'!A1+1" % names[(r + c) % len(names)].replace("'", "''")
                try:
                    sheet.write(r, c, xlwt.Formula(text), plain)
                except Exception:
                    sheet.write(r, c, value[1], plain)
            elif kind == "date":
                day = datetime.datetime(1899, 12, 30) + datetime.timedelta(days=value)
                sheet.write(r, c, day, date)
            else:
                sheet.write(r, c, value, bold if (r == 0 and kind == "text") else plain)
        for c, width in s["widths"].items():
            sheet.col(c).width = width
        if s["hidden"]:
            sheet.visibility = 1
    book.save(path)


def main():
    out, first, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    os.makedirs(out, exist_ok=True)
    for seed in range(first, first + count):
        m = cc.model(seed)
        path = os.path.join(out, "xlwt-%03d-%s.xls" % (seed, m["kind"]))
        try:
            make(path, m)
        except Exception as error:  # content xlwt cannot write leaves that file out
            print("xlwt: left out %s: %s" % (path, error), file=sys.stderr)
            if os.path.exists(path):
                os.remove(path)


if __name__ == "__main__":
    main()
