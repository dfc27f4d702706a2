"""Writes the seed inputs of the fuzz targets into corpus/<target>/: small workbooks made by
xlwt, another program's .xls writer (the compound file and store targets), and their bare
Workbook streams taken out with xlrd's compound file reader (the BIFF8 target). Run once with
Debian's python3-xlwt and python3-xlrd; the results are committed.
Usage: /usr/bin/python3 tests/fuzz/make_seeds.py"""
import datetime
import os

import xlrd.compdoc
import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))


def gas_names():
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("GasType")
    sheet.write(0, 0, "Code")
    sheet.write(0, 1, "Name")
    for row, name in enumerate(["Methan", "Ozon \u00fc", "\u4e2d\u6587"], start=1):
        sheet.write(row, 0, 80 + row)
        sheet.write(row, 1, name)
    return book


def records():
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Storage")
    sheet.write(0, 0, "Time")
    sheet.write(0, 1, "CH1 Gas")
    sheet.write(0, 2, "CH1 Conc")
    for row in range(1, 12):
        sheet.write(row, 0, "2025-03-07  14:%02d:09" % row)
        sheet.write(row, 1, "CO      ")
        sheet.write(row, 2, row * 1.5)
    sheet.write(12, 3, True)
    sheet.write(13, 3, xlwt.Formula("C2*2"))
    sheet.write(14, 3, xlwt.Formula('"a"&"b"'))
    sheet.write(15, 0, datetime.date(2025, 3, 7), xlwt.easyxf(num_format_str="YYYY-MM-DD"))
    sheet.write(16, 0, "\u00e9\u4e2d" * 700)  # a string continued over records
    book.add_sheet("Empty")
    return book


def save(book, name):
    path = os.path.join(HERE, "corpus", "store", name + ".xls")
    book.save(path)
    with open(path, "rb") as f:
        data = f.read()
    with open(os.path.join(HERE, "corpus", "cfb", name + ".xls"), "wb") as f:
        f.write(data)
    stream = xlrd.compdoc.CompDoc(data).get_named_stream("Workbook")
    with open(os.path.join(HERE, "corpus", "biff", name + ".biff"), "wb") as f:
        f.write(stream)


for target in ("cfb", "biff", "store"):
    os.makedirs(os.path.join(HERE, "corpus", target), exist_ok=True)
save(gas_names(), "seed-gasnames")
save(records(), "seed-records")
