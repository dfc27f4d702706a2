"""Prints the outcome of a corpus run: summarize.py RESULTS.tsv XLRD.tsv POI.tsv.

Outcomes per write-back: "kept" (written; xlrd and POI open it (or cannot open the original either), the new cells read back and
every other sheet, record and stream is as read), "changed" (written, but a checker found a
difference or cannot open it), "refused" (with the program's reason; the file is untouched),
"unchanged" (nothing written) and "error" (a crash, a timeout, or a refusal that touched the
file). Counts by writer (the corpus folder), refusal reasons and the checkers' findings, each
with one sample file."""
import collections
import re
import sys


def load(path, width):
    rows = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            parts = line.rstrip("\n").split("\t")
            parts += [""] * (width - len(parts))
            rows[(parts[0], parts[1])] = parts
    return rows


def writer_of(path):
    return path.split("/")[-2]


def cause(text):
    """A finding or reason without its file names and numbers, so that alike ones group."""
    text = re.sub(r"\S*/\S+\.xls", "<file>", text)
    text = re.sub(r"(sheet|Sheet) (\"[^\"]*\"|\S+)", r"\1 <s>", text)
    text = re.sub(r"'[^']*'", "'<v>'", text)
    text = re.sub(r"R\d+C\d+|\d+:\d+|\b\d+(\.\d+)?\b", "<n>", text)
    text = re.sub(r"\[[^\]]*\] became \[[^\]]*\]", "<sheets> became <sheets>", text)
    return text[:140]


def main():
    results = load(sys.argv[1], 6)
    xlrd_checks = load(sys.argv[2], 4)
    poi_checks = load(sys.argv[3], 4)
    table = collections.defaultdict(collections.Counter)
    reasons = collections.Counter()
    reason_sample = {}
    readable = collections.Counter()
    unreadable = collections.Counter()
    unreadable_sample = {}
    findings = collections.Counter()
    finding_sample = {}
    files = set()
    for key, parts in sorted(results.items()):
        files.add(key[0])
        outcome, reason = parts[2], parts[3]
        writer = writer_of(key[0])
        if outcome == "written":
            found = []
            for name, checks in (("xlrd", xlrd_checks), ("POI", poi_checks)):
                check = checks.get(key)
                if check is None:
                    found.append("%s: no check" % name)
                elif check[2] == "original-unreadable":
                    c = "%s (%s)" % (cause(check[3]), key[1])
                    unreadable[c] += 1
                    unreadable_sample.setdefault(c, key[0])
                elif check[2] != "ok":
                    found.append("%s: %s" % (name, check[3]))
            outcome = "changed" if found else "kept"
            for f in found:
                c = "%s (%s)" % (cause(f), key[1])
                findings[c] += 1
                finding_sample.setdefault(c, key[0])
        elif outcome in ("refused", "error"):
            c = "%s: %s (%s)" % (outcome, cause(reason), key[1])
            reasons[c] += 1
            reason_sample.setdefault(c, key[0])
            check = xlrd_checks.get(key)
            if check is not None and check[2] == "original-readable":
                readable[c] += 1
        table[writer][outcome] += 1
        table[writer]["files"] += 0
    outcomes = ["kept", "changed", "refused", "unchanged", "error"]
    print("%d files, %d write-backs (ways: gastype = the Gas Type save, update = a cell"
          " changed and a row appended)\n" % (len(files), len(results)))
    print("%-12s %6s" % ("writer", "files") + "".join("%10s" % o for o in outcomes))
    total = collections.Counter()
    per_writer_files = collections.Counter(writer_of(f) for f in files)
    for writer in sorted(table):
        print("%-12s %6d" % (writer, per_writer_files[writer]) +
              "".join("%10d" % table[writer][o] for o in outcomes))
        total.update(table[writer])
    print("%-12s %6d" % ("all", len(files)) + "".join("%10d" % total[o] for o in outcomes))
    print("\nRefusals and errors by reason (xlrd reads: how many of those files xlrd opens):")
    for c, n in reasons.most_common():
        print("%5d  %s\n       xlrd reads %d; e.g. %s" % (n, c, readable[c], reason_sample[c]))
    print("\nWhat the checkers found in written copies:")
    for c, n in findings.most_common():
        print("%5d  %s\n       e.g. %s" % (n, c, finding_sample[c]))

    print("\nCopies a checker cannot open because it cannot open the original either (counted"
          " as kept when the other checker finds nothing):")
    for c, n in unreadable.most_common():
        print("%5d  %s\n       e.g. %s" % (n, c, unreadable_sample[c]))


if __name__ == "__main__":
    main()
