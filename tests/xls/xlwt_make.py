"""Writes a workbook with xlwt, another program's .xls writer: several sheets, text with
Unicode and spaces, numbers (integers, fractions, large and small), booleans, a date,
formulas and a long string. Usage: xlwt_make.py OUTPUT.xls"""
import datetime
import sys

import xlwt

book = xlwt.Workbook(encoding="utf-8")

data = book.add_sheet("Data")
data.write(0, 0, "Time")
data.write(0, 1, "Value")
data.write(0, 2, "Flag")
data.write(0, 3, "Formula")
data.write(1, 0, "2025-03-07  14:07:09")
data.write(1, 1, 12.3)
data.write(1, 2, True)
data.write(1, 3, xlwt.Formula("B2*2"))
data.write(2, 0, "  leading and trailing  ")
data.write(2, 1, 1e20)
data.write(2, 2, False)
data.write(2, 3, xlwt.Formula('"a"&"b"'))
data.write(3, 0, "\u4e2d\u6587 \U0001F600")
data.write(3, 1, -0.5)
data.write(4, 0, 123456789)
data.write(4, 1, 0.1)
data.write(4, 2, 3)
data.write(4, 3, -2**29)
date_style = xlwt.easyxf(num_format_str="YYYY-MM-DD")
data.write(5, 0, datetime.date(2025, 3, 7), date_style)
data.write(6, 1, 1234567.125)
data.write(6, 2, 1e-7)
data.write(10, 0, "\u00e9\u4e2d" * 10000)
data.write(11, 5, "after the long one")

other = book.add_sheet("\u00dcn\u00efc\u00f6d\u00e9 \u8868")
other.write(0, 0, "\u03a9\u03bc\u03ad\u03b3\u03b1")
other.write(2, 2, "CO      ")
other.write(2, 3, "  12.3")

book.add_sheet("Empty")

wide = book.add_sheet("Wide")
for column in range(256):
    wide.write(0, column, column * 1.5)
    wide.write(1, column, "c%d" % column)

book.save(sys.argv[1])
