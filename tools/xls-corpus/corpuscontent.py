"""The content of the generated workbooks, shared by the writers' generators: one seed gives one
workbook described as sheets of cells, which each generator writes with its own program.

A workbook is a dict: {"kind": str, "sheets": [sheet...]}; a sheet is {"name", "cells":
[(row, col, type, value)], "merges": [(r0, r1, c0, c1)], "widths": {col: width in 1/256 of a
character}, "hidden": bool}. Types: "text", "number", "bool", "date" (days since 1899-12-30),
"formula" (value: (A1 text without "=", cached number)), "rich" (value: [(text, style 0-2)])."""
import random

KINDS = ["plain", "formulas", "many_sheets", "rich", "unicode", "big_sst", "empty",
         "numbers_only", "merged", "gastype", "storage", "wide", "deep", "separator",
         "long_text", "dates"]

WORDS = ["Methane", "Ammonia", "Freon", "Hydrogen", "Oxygen", "CO", "H2S", "Propane", "Ethanol",
         "site", "north", "valve", "alarm", "low", "high", "check", "zone", "Kim", "Pat", "ppm",
         "%LEL", "calibrated", "filter", "pump", "sensor", "span", "zero", "drift", "bump"]
UNICODE = ["二氧化碳", "Сероводород", "Ωμέγα", "مستشعر", "קוד", "ガス検知器", "Größe ß", "naïve café",
           "😀 emoji", "𝄞 clef", "Ünïcödé", "한국어 텍스트", "ÅÄÖ åäö", "\u00a0nbsp", "tab\there"]
SEPARATOR = ['a",;.?"b', '"quoted"', "comma, semicolon; dot.", "'apostrophe'", "line\nbreak",
             'x",;.?"', ",;.?", "trailing space ", " leading", "100%", "=not a formula",
             "back\\slash", "[bracket]", "a'';--"]
SHEET_NAMES = ["Sheet1", "Data", "Readings", "Notes", "Summary", "2025", "Kalibrierung",
               "Données", "試験", "Site A", "Site B", "O'Brien", "Log-1", "Hidden", "x"]


class Model(dict):
    pass


def word(rng):
    return rng.choice(WORDS)


def text(rng):
    return " ".join(word(rng) for _ in range(rng.randint(1, 4)))


def long_text(rng, length):
    # Wide characters among the text make the string table store it in UTF-16 and split it
    # across records with a repeated option byte.
    alphabet = "abcdefghij klmnop" + ("é二" if rng.random() < 0.5 else "")
    return "".join(rng.choice(alphabet) for _ in range(length))


def sheet_names(rng, kind):
    count = {"many_sheets": rng.randint(8, 40), "empty": 1}.get(kind, rng.randint(1, 4))
    names = []
    if kind == "gastype" or rng.random() < 0.25:
        names.append("GasType")
    if kind == "storage" or rng.random() < 0.15:
        names.append("Storage")
    pool = SHEET_NAMES[:]
    rng.shuffle(pool)
    while len(names) < count:
        name = pool.pop() if pool else "S%d" % len(names)
        if name.lower() not in [n.lower() for n in names]:
            names.append(name)
    rng.shuffle(names)
    return names[:max(count, 1)] if kind != "many_sheets" else names


def size_for(rng, kind):
    return {"deep": rng.randint(1000, 4000), "wide": 5, "big_sst": rng.randint(200, 600),
            "gastype": 22, "storage": rng.randint(20, 400), "long_text": 6}.get(
                kind, rng.randint(1, 60))


FORMULAS = [("SUM(A1:A3)", 6.0), ("A1*2", 2.0), ("IF(A1>0,1,0)", 1.0), ("MAX(A1:B5)", 5.0),
            ("ROUND(3.14159,2)", 3.14), ("LEN(\"abc\")", 3.0), ("AVERAGE(B1:B4)", 2.5),
            ("COUNT(A1:C9)", 9.0)]


def value_for(rng, kind, r, c):
    if kind == "gastype":
        if r == 0:
            return ("text", ["Number", "Gas Type"][c]) if c < 2 else None
        if c == 0:
            return ("number", float(r))
        if c == 1:
            return ("text", rng.choice(WORDS + UNICODE[:4] + ["", "Gas %d" % r]))
        return None
    if kind == "storage":
        if r == 0:
            return ("text", ["Time", "Gas", "Conc", "Unit", "Alarm"][c]) if c < 5 else None
        if c == 0:
            return ("text", "2025-03-07  %02d:%02d:%02d" % (r // 3600 % 24, r // 60 % 60, r % 60))
        if c == 1:
            return ("text", rng.choice(["CO  ", "H2S ", "O2  ", "LEL "]))
        if c == 2:
            return ("text", "%.1f" % rng.uniform(0, 100))
        if c == 3:
            return ("text", rng.choice(["ppm", "%VOL", "%LEL"]))
        return ("text", rng.choice(["", "Low", "High"]))
    roll = rng.random()
    if kind == "numbers_only" or (kind == "deep" and roll < 0.6):
        return ("number", rng.choice([float(rng.randint(-1000, 100000)), rng.uniform(-1e6, 1e6),
                                      1e-300, 1.5e300, 0.1]))
    if kind == "formulas" and roll < 0.5:
        return ("formula", rng.choice(FORMULAS))
    if kind == "rich" and roll < 0.5:
        return ("rich", [(word(rng) + " ", rng.randint(0, 2)) for _ in range(rng.randint(2, 5))])
    if kind == "unicode" and roll < 0.7:
        return ("text", rng.choice(UNICODE) + ("" if rng.random() < 0.5 else " " + word(rng)))
    if kind == "big_sst":
        return ("text", long_text(rng, rng.choice([1, 5, 40, 120, 300, 1, 5, 40, 120, 300, 2000])) + str(r * 13 + c))
    if kind == "separator" and roll < 0.6:
        return ("text", rng.choice(SEPARATOR))
    if kind == "long_text" and c < 2:
        return ("text", long_text(rng, rng.choice([255, 256, 8224, 8225, 20000, 32767])))
    if kind == "dates" and roll < 0.5:
        return ("date", float(rng.randint(20000, 50000)) + rng.choice([0.0, 0.25, 0.5]))
    if roll < 0.08:
        return ("bool", rng.random() < 0.5)
    if roll < 0.5:
        return ("number", float(rng.randint(0, 999)) if rng.random() < 0.7 else rng.uniform(0, 1))
    if roll < 0.55:
        return ("formula", rng.choice(FORMULAS))
    return ("text", text(rng))


def model(seed):
    rng = random.Random(seed)
    kind = KINDS[seed % len(KINDS)]
    names = sheet_names(rng, kind)
    sheets = []
    for i, name in enumerate(names):
        sheet_kind = kind if i == 0 or rng.random() < 0.5 else rng.choice(KINDS)
        sheet_kind = {"GasType": "gastype", "Storage": "storage"}.get(name, sheet_kind)
        if kind == "numbers_only":  # a workbook without any text: its string table is empty
            sheet_kind = kind
        sheet = {"name": name, "cells": [], "merges": [], "widths": {},
                 "hidden": len(names) > 1 and rng.random() < 0.1}
        sheets.append(sheet)
        if kind == "empty" or sheet_kind == "empty":
            continue
        rows = size_for(rng, sheet_kind)
        cols = 256 if sheet_kind == "wide" else (5 if sheet_kind == "storage" else
                                                 2 if sheet_kind == "gastype" else
                                                 3 if sheet_kind == "deep" else rng.randint(1, 12))
        for r in range(rows):
            for c in range(cols):
                if rng.random() < 0.15 and sheet_kind not in ("gastype", "storage"):
                    continue
                cell = value_for(rng, sheet_kind, r, c)
                if cell is not None:
                    sheet["cells"].append((r, c) + cell)
        if sheet_kind == "merged" or rng.random() < 0.15:
            for n in range(rng.randint(1, 4)):
                r0, c0 = rows + 2 + 5 * n, rng.randint(0, 8)
                sheet["merges"].append((r0, r0 + rng.randint(0, 3), c0, c0 + rng.randint(1, 3)))
                sheet["cells"].append((r0, c0, "text", text(rng)))
        if rng.random() < 0.3:
            for c in range(min(cols, 10)):
                sheet["widths"][c] = rng.randint(1000, 9000)
    if all(s["hidden"] for s in sheets):
        sheets[0]["hidden"] = False
    m = Model(kind=kind, sheets=sheets, seed=seed)
    return m


def escape(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")


def dump(m, out):
    """Writes the model as lines for the Java writer (PoiWrite.java): S name hidden; C row col
    type value; M r0 r1 c0 c1; W col width. Rich values are runs "text\x01style" joined by
    \x02, formulas "text\x01cached"."""
    with open(out, "w", encoding="utf-8") as f:
        f.write("K\t%s\t%d\n" % (m["kind"], m["seed"]))
        for s in m["sheets"]:
            f.write("S\t%s\t%d\n" % (escape(s["name"]), 1 if s["hidden"] else 0))
            for r, c, kind, value in s["cells"]:
                if kind == "rich":
                    value = "\x02".join("%s\x01%d" % run for run in value)
                elif kind == "formula":
                    value = "%s\x01%r" % value
                elif kind == "bool":
                    value = "1" if value else "0"
                elif kind in ("number", "date"):
                    value = repr(float(value))
                f.write("C\t%d\t%d\t%s\t%s\n" % (r, c, kind, escape(value)))
            for merge in s["merges"]:
                f.write("M\t%d\t%d\t%d\t%d\n" % merge)
            for c, width in s["widths"].items():
                f.write("W\t%d\t%d\n" % (c, width))
