#!/bin/sh
# Makes the corpus of .xls workbooks written by other programs that tools/xls-corpus/run
# writes back: make-corpus.sh FOLDER. Installs what it needs when missing (LibreOffice,
# Gnumeric, xlwt, Apache POI, Spreadsheet::WriteExcel) and fetches the Debian packages that
# ship .xls files (debian-files.txt) without installing them. The same run makes the same
# files; FOLDER/<writer>/ holds them. Nothing of it is committed.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out=$1
mkdir -p "$out"
out=$(cd "$out" && pwd)

missing=""
for p in libreoffice-calc-nogui gnumeric python3-xlwt libapache-poi-java openjdk-17-jdk-headless \
    libspreadsheet-writeexcel-perl; do
    dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
if [ -n "$missing" ]; then
    as_root=""
    [ "$(id -u)" -eq 0 ] || as_root="sudo"
    $as_root apt-get install -y --no-install-recommends $missing
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
py=/usr/bin/python3

# xlwt: seeds 0-95.
rm -rf "$out/xlwt" && mkdir -p "$out/xlwt"
$py "$here/gen_xlwt.py" "$out/xlwt" 0 96

# Apache POI: seeds 100-195, with comments, links, names, validation, panes and pictures.
rm -rf "$out/poi" && mkdir -p "$out/poi" "$work/models" "$work/classes"
cp=$(ls /usr/share/java/poi.jar /usr/share/java/commons-collections4.jar \
    /usr/share/java/commons-math3.jar /usr/share/java/commons-codec.jar | tr '\n' ':')
(cd "$here" && $py -c "
import sys, corpuscontent as cc
for seed in range(100, 196):
    m = cc.model(seed)
    cc.dump(m, '%s/poi-%03d-%s.cells' % (sys.argv[1], seed, m['kind']))" "$work/models")
# PoiWrite reads the cell texts as PoiCheck does (PoiCheck.unescape).
javac -nowarn -d "$work/classes" -cp "$cp" "$here/PoiWrite.java" "$here/PoiCheck.java"
java -cp "$work/classes:$cp" PoiWrite "$out/poi" "$work"/models/*.cells

# LibreOffice: flat ODS documents of seeds 200-263 (charts in every third), and xlwt's and
# POI's workbooks saved again, all in one run of soffice.
rm -rf "$out/libreoffice" && mkdir -p "$out/libreoffice" "$work/lo-in" "$work/lo-out"
$py "$here/gen_fods.py" "$work/lo-in" 200 64
for f in $(ls "$out"/xlwt/*.xls | awk 'NR % 4 == 1') $(ls "$out"/poi/*.xls | awk 'NR % 4 == 2'); do
    cp "$f" "$work/lo-in/lo-from-$(basename "$f")"
done
soffice -env:UserInstallation="file://$work/profile" --headless \
    --convert-to 'xls:MS Excel 97' --outdir "$work/lo-out" "$work"/lo-in/* >"$work/lo.log" 2>&1 || true
mv "$work"/lo-out/*.xls "$out/libreoffice/"

# Gnumeric: ssconvert over xlwt's, POI's and LibreOffice's workbooks (those with charts among
# them; Gnumeric would take the flat ODS documents for text).
rm -rf "$out/gnumeric" && mkdir -p "$out/gnumeric"
for f in $(ls "$out"/xlwt/*.xls | awk 'NR % 4 == 3') $(ls "$out"/poi/*.xls | awk 'NR % 4 == 0') \
    $(ls "$out"/libreoffice/lo-[0-9]*.xls | awk 'NR % 3 == 2'); do
    name=$(basename "$f" | sed 's/\.[a-z]*$//')
    ssconvert --export-type=Gnumeric_Excel:excel_biff8 "$f" "$out/gnumeric/gnumeric-from-$name.xls" \
        >/dev/null 2>&1 || echo "gnumeric: left out $f" >&2
done

# Spreadsheet::WriteExcel: its examples, each run in a folder of its own.
rm -rf "$out/writeexcel" && mkdir -p "$out/writeexcel"
examples=/usr/share/doc/libspreadsheet-writeexcel-perl/examples
for script in "$examples"/*.pl; do
    name=$(basename "$script" .pl)
    case $name in cgi | mod_perl* | sendmail | win32ole | lecxe | gen_examples_pod | filehandle | write_to_scalar | bigfile | csv2xls | tab2xls) continue ;; esac
    mkdir -p "$work/we/$name" && cp "$examples"/*.png "$examples"/*.txt "$work/we/$name/" 2>/dev/null || true
    (cd "$work/we/$name" && timeout 60 perl "$script" >/dev/null 2>&1) || true
    for f in "$work/we/$name"/*.xls; do
        [ -f "$f" ] && cp "$f" "$out/writeexcel/writeexcel-$name-$(basename "$f")"
    done
done

# The .xls files of Debian packages, taken from the packages without installing them.
rm -rf "$out/debian" && mkdir -p "$out/debian" "$work/debs"
packages=$(grep -v '^#' "$here/debian-files.txt" | cut -d: -f1 | sort -u)
(cd "$work/debs" && apt-get download $packages >/dev/null 2>&1) ||
    (cd "$work/debs" && for p in $packages; do apt-get download "$p" >/dev/null 2>&1 || echo "debian: no $p" >&2; done)
grep -v '^#' "$here/debian-files.txt" | while IFS=: read -r package path; do
    path=$(echo "$path" | sed 's/^ *//')
    deb=$(ls "$work/debs/${package}_"*.deb 2>/dev/null | head -n 1)
    [ -n "$deb" ] || continue
    target="$out/debian/$package--$(basename "$path" .gz | tr ' ' '_')"
    dpkg-deb --fsys-tarfile "$deb" | tar -xO ".$path" >"$target.part" 2>/dev/null || { rm -f "$target.part"; continue; }
    case $path in *.gz) gunzip -c "$target.part" >"$target" && rm "$target.part" ;; *) mv "$target.part" "$target" ;; esac
    # A link in the package (evas's loaders named .xls are links to programs) gives no bytes.
    [ -s "$target" ] || rm -f "$target"
done

# An example that failed part way leaves an empty file: no workbook of any writer.
find "$out" -type f -empty -delete
for d in "$out"/*/; do
    echo "$(basename "$d"): $(ls "$d" | wc -l) files"
done
