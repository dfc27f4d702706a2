"""Writes the corpus workbooks as flat OpenDocument spreadsheets (.fods) for LibreOffice to save
as .xls: gen_fods.py FOLDER FIRST COUNT. Every third workbook gets a chart over its first sheet."""
import os
import re
import sys
from xml.sax.saxutils import escape, quoteattr

import corpuscontent as cc

HEAD = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink"
 xmlns:dc="http://purl.org/dc/elements/1.1/"
 xmlns:meta="urn:oasis:names:tc:opendocument:xmlns:meta:1.0"
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:chart="urn:oasis:names:tc:opendocument:xmlns:chart:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
 <office:meta><dc:title>Corpus workbook %(seed)d</dc:title></office:meta>
 <office:styles>
  <number:date-style style:name="D1"><number:year number:style="long"/><number:text>-</number:text><number:month number:style="long"/><number:text>-</number:text><number:day number:style="long"/></number:date-style>
 </office:styles>
 <office:automatic-styles>
  <style:style style:name="bold" style:family="table-cell"><style:text-properties fo:font-weight="bold"/></style:style>
  <style:style style:name="day" style:family="table-cell" style:data-style-name="D1"/>
  <style:style style:name="ta1" style:family="table"><style:table-properties table:display="true"/></style:style>
  <style:style style:name="tahidden" style:family="table"><style:table-properties table:display="false"/></style:style>
  <style:style style:name="T0" style:family="text"><style:text-properties fo:font-weight="bold"/></style:style>
  <style:style style:name="T1" style:family="text"><style:text-properties fo:font-style="italic" fo:color="#c00000"/></style:style>
  <style:style style:name="T2" style:family="text"><style:text-properties fo:font-size="14pt"/></style:style>
%(widths)s
 </office:automatic-styles>
 <office:body>
  <office:spreadsheet>
"""

CHART = """<table:shapes><draw:frame draw:name="Chart %(n)d" svg:x="9cm" svg:y="0.5cm" svg:width="8cm" svg:height="5cm"><draw:object draw:notify-on-update-of-ranges="%(r)s"><office:document office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.chart"><office:body><office:chart><chart:chart svg:width="8cm" svg:height="5cm" chart:class="chart:%(kind)s"><chart:plot-area table:cell-range-address="%(r)s" chart:data-source-has-labels="none"><chart:axis chart:dimension="x" chart:name="primary-x"/><chart:axis chart:dimension="y" chart:name="primary-y"/><chart:series chart:values-cell-range-address="%(r)s" chart:class="chart:%(kind)s"/></chart:plot-area></chart:chart></office:chart></office:body></office:document></draw:object></draw:frame></table:shapes>
"""


def of_formula(text):
    return "of:=" + re.sub(r"([A-Z]{1,2}[0-9]+)(:([A-Z]{1,2}[0-9]+))?",
                           lambda m: "[.%s%s]" % (m.group(1), ":." + m.group(3) if m.group(3) else ""),
                           text)


def sheet_ref(name):
    return "'%s'" % name.replace("'", "''")


def cell_xml(kind, value, span):
    attrs = span
    if kind == "text":
        lines = value.split("\n")
        return '<table:table-cell%s office:value-type="string">%s</table:table-cell>' % (
            attrs, "".join("<text:p>%s</text:p>" % escape(line) for line in lines))
    if kind == "rich":
        spans = "".join('<text:span text:style-name="T%d">%s</text:span>' % (s, escape(t))
                        for t, s in value)
        return '<table:table-cell%s office:value-type="string"><text:p>%s</text:p></table:table-cell>' % (attrs, spans)
    if kind == "number":
        return '<table:table-cell%s office:value-type="float" office:value="%r"/>' % (attrs, value)
    if kind == "bool":
        return '<table:table-cell%s office:value-type="boolean" office:boolean-value="%s"/>' % (
            attrs, "true" if value else "false")
    if kind == "date":
        return '<table:table-cell%s table:style-name="day" office:value-type="float" office:value="%r"/>' % (attrs, value)
    return '<table:table-cell%s table:formula=%s office:value-type="float" office:value="%r"/>' % (
        attrs, quoteattr(of_formula(value[0])), value[1])


def make(path, m):
    widths = []
    parts = []
    for i, s in enumerate(m["sheets"]):
        for c, w in s["widths"].items():
            widths.append('  <style:style style:name="co%d_%d" style:family="table-column"><style:table-column-properties style:column-width="%.2fcm"/></style:style>' % (i, c, w / 256 * 0.2))
    for i, s in enumerate(m["sheets"]):
        parts.append('   <table:table table:name=%s table:style-name="%s">\n' % (
            quoteattr(s["name"]), "tahidden" if s["hidden"] else "ta1"))
        if i == 0 and m["seed"] % 3 == 0 and s["cells"]:
            ref = "%s.A1:%s.B5" % (sheet_ref(s["name"]), sheet_ref(s["name"]))
            parts.append(CHART % {"n": i, "r": ref, "kind": ["bar", "line", "circle"][m["seed"] % 9 // 3]})
        last = max(s["widths"]) if s["widths"] else -1
        for c in range(last + 1):
            style = ' table:style-name="co%d_%d"' % (i, c) if c in s["widths"] else ""
            parts.append("    <table:table-column%s/>\n" % style)
        spans = {(r0, c0): (r1 - r0 + 1, c1 - c0 + 1) for r0, r1, c0, c1 in s["merges"]}
        covered = {(r, c) for r0, r1, c0, c1 in s["merges"] for r in range(r0, r1 + 1)
                   for c in range(c0, c1 + 1)} - set(spans)
        rows = {}
        for r, c, kind, value in s["cells"]:
            rows.setdefault(r, {})[c] = (kind, value)
        for r, c in covered:
            rows.setdefault(r, {})
        at = 0
        for r in sorted(rows):
            if r > at:
                parts.append('    <table:table-row table:number-rows-repeated="%d"><table:table-cell/></table:table-row>\n' % (r - at))
            parts.append("    <table:table-row>")
            col = 0
            cells = rows[r]
            last_col = max(list(cells) + [c for rr, c in covered if rr == r])
            while col <= last_col:
                if (r, col) in covered:
                    parts.append("<table:covered-table-cell/>")
                elif col in cells:
                    span = ""
                    if (r, col) in spans:
                        span = ' table:number-rows-spanned="%d" table:number-columns-spanned="%d"' % spans[(r, col)]
                    parts.append(cell_xml(*cells[col], span))
                else:
                    parts.append("<table:table-cell/>")
                col += 1
            parts.append("</table:table-row>\n")
            at = r + 1
        if not rows:
            parts.append("    <table:table-row><table:table-cell/></table:table-row>\n")
        parts.append("   </table:table>\n")
    with open(path, "w", encoding="utf-8") as f:
        f.write(HEAD % {"seed": m["seed"], "widths": "\n".join(widths)})
        f.write("".join(parts))
        f.write("  </office:spreadsheet>\n </office:body>\n</office:document>\n")


def main():
    out, first, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    os.makedirs(out, exist_ok=True)
    for seed in range(first, first + count):
        m = cc.model(seed)
        make(os.path.join(out, "lo-%03d-%s.fods" % (seed, m["kind"])), m)


if __name__ == "__main__":
    main()
