"""The record export's cycle done with xlrd and xlwt, for comparison with the C++ workbook.

Usage: workbook_cycle_bench.py PREPARED WORK RUNS
Copies PREPARED (if it exists) to WORK before every run, then times: read every sheet with
xlrd, copy them into an xlwt book, append 1000 rows of 19 cells to "Storage" (with the header
when the sheet is new), save. Prints JSON: the run times in seconds and the peak RSS in KiB.
"""
import json
import os
import resource
import shutil
import sys
import time

import xlrd
import xlwt


def captions():
    names = ["Time"]
    for channel in range(1, 7):
        names += ["CH%d Gas" % channel, "CH%d Conc" % channel, "CH%d Unit" % channel]
    return names


def record(n):
    cells = ["2025-03-07  %02d:%02d:%02d" % (n // 3600 % 24, n // 60 % 60, n % 60)]
    for gas, unit in (("CO      ", "PPM"), ("H2S     ", "PPM"), ("O2      ", "%VOL"),
                      ("CH4     ", "%LEL"), ("NO2     ", "PPM"), ("SO2     ", "PPM")):
        cells += [gas, "%6.1f" % ((n % 1000) / 10.0), unit]
    return cells


def cycle(path, first):
    out = xlwt.Workbook(encoding="utf-8")
    storage_rows = 0
    storage = None
    if os.path.exists(path):
        book = xlrd.open_workbook(path)
        for sheet in book.sheets():
            target = out.add_sheet(sheet.name)
            for r in range(sheet.nrows):
                for c, value in enumerate(sheet.row_values(r)):
                    if value != "":
                        target.write(r, c, value)
            if sheet.name == "Storage":
                storage, storage_rows = target, sheet.nrows
    if storage is None:
        storage = out.add_sheet("Storage")
        for c, name in enumerate(captions()):
            storage.write(0, c, name)
        storage_rows = 1
    for n in range(1000):
        for c, value in enumerate(record(first + n)):
            storage.write(storage_rows + n, c, value)
    out.save(path)


def main():
    prepared, work, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
    times = []
    for run in range(runs):
        if os.path.exists(work):
            os.remove(work)
        if os.path.exists(prepared):
            shutil.copyfile(prepared, work)
        start = time.perf_counter()
        cycle(work, 100000 + run * 1000)
        times.append(time.perf_counter() - start)
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    json.dump({"seconds": times, "peak_kib": peak}, sys.stdout)


main()
