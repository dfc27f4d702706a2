// Checks the write-backs of the corpus run with Apache POI (Debian's libapache-poi-java):
// java PoiCheck RESULTS.tsv > CHECKS.tsv, like check_xlrd.py. For every written copy: POI opens
// it, its new cells read back as written, the original's sheets are there in their order and
// every other sheet's cells (type, value, formula) read as POI reads them in the original.
// When POI cannot open the original either, the status is "original-unreadable".
import java.io.BufferedReader;
import java.io.File;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.HashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.TreeMap;

import org.apache.poi.hssf.usermodel.HSSFWorkbook;
import org.apache.poi.poifs.filesystem.POIFSFileSystem;
import org.apache.poi.ss.usermodel.Cell;
import org.apache.poi.ss.usermodel.CellType;
import org.apache.poi.ss.usermodel.Row;
import org.apache.poi.ss.usermodel.Sheet;

public class PoiCheck {
    // POI cannot open the original file either: nothing the write-back did.
    static class Unreadable extends Exception {
        Unreadable(String what) {
            super(what);
        }
    }

    static String unescape(String s) {
        StringBuilder b = new StringBuilder();
        for (int i = 0; i < s.length(); ++i) {
            char c = s.charAt(i);
            if (c == '\\' && i + 1 < s.length()) {
                char n = s.charAt(++i);
                b.append(n == 't' ? '\t' : n == 'n' ? '\n' : n);
            } else {
                b.append(c);
            }
        }
        return b.toString();
    }

    static HSSFWorkbook open(String path) throws Exception {
        return new HSSFWorkbook(new POIFSFileSystem(new File(path), true).getRoot(), true);
    }

    static String number(double v) {
        if (v == Math.rint(v) && Math.abs(v) < 1e15) {
            return Long.toString((long) v);
        }
        return Double.toString(v);
    }

    static String key(Cell cell) {
        CellType type = cell.getCellType();
        String formula = "";
        if (type == CellType.FORMULA) {
            try {
                formula = "=" + cell.getCellFormula() + " ";
            } catch (RuntimeException e) {
                formula = "=? ";
            }
            type = cell.getCachedFormulaResultType();
        }
        switch (type) {
        case NUMERIC:
            return formula + "n:" + cell.getNumericCellValue();
        case STRING:
            return formula + "s:" + cell.getRichStringCellValue().getString();
        case BOOLEAN:
            return formula + "b:" + cell.getBooleanCellValue();
        case ERROR:
            return formula + "e:" + cell.getErrorCellValue();
        default:
            return formula.isEmpty() ? null : formula;
        }
    }

    static String text(Cell cell) {
        if (cell == null) {
            return "";
        }
        switch (cell.getCellType()) {
        case NUMERIC:
            return number(cell.getNumericCellValue());
        case STRING:
            return cell.getRichStringCellValue().getString();
        case BOOLEAN:
            return cell.getBooleanCellValue() ? "TRUE" : "FALSE";
        default:
            return "";
        }
    }

    static Map<String, String> cells(Sheet sheet) {
        Map<String, String> out = new TreeMap<>();
        for (Row row : sheet) {
            for (Cell cell : row) {
                String k = key(cell);
                if (k != null) {
                    out.put(cell.getRowIndex() + ":" + cell.getColumnIndex(), k);
                }
            }
        }
        return out;
    }

    static List<String> names(HSSFWorkbook book) {
        List<String> out = new ArrayList<>();
        for (int i = 0; i < book.getNumberOfSheets(); ++i) {
            out.add(book.getSheetName(i));
        }
        return out;
    }

    static String check(String original, String written, String expect) throws Exception {
        String own = null;
        Set<String> added = new HashSet<>();
        List<String[]> expected = new ArrayList<>();
        for (String line : Files.readAllLines(Paths.get(expect), StandardCharsets.UTF_8)) {
            String[] f = line.split("\t", -1);
            for (int i = 0; i < f.length; ++i) {
                f[i] = unescape(f[i]);
            }
            if (f[0].equals("own")) {
                own = f[1];
            } else if (f[0].equals("new")) {
                added.add(f[1]);
            } else if (f[0].equals("cell")) {
                expected.add(f);
            }
        }
        HSSFWorkbook after;
        try {
            after = open(written);
        } catch (Exception | Error e) {
            try {
                open(original);
            } catch (Exception | Error again) {
                throw new Unreadable("POI cannot open the original either: " + e);
            }
            return "POI cannot open the copy: " + e;
        }
        for (String[] f : expected) {
            Sheet sheet = after.getSheet(f[1]);
            if (sheet == null) {
                return "new cell: no sheet " + f[1];
            }
            Row row = sheet.getRow(Integer.parseInt(f[2]));
            String got = row == null ? "" : text(row.getCell(Integer.parseInt(f[3])));
            if (!got.equals(f[4])) {
                return "new cell " + f[1] + "!R" + (Integer.parseInt(f[2]) + 1) + "C"
                    + (Integer.parseInt(f[3]) + 1) + " reads '" + abbreviate(got) + "', not '"
                    + abbreviate(f[4]) + "'";
            }
        }
        HSSFWorkbook before;
        try {
            before = open(original);
        } catch (Exception | Error e) {
            return null; // nothing to compare with
        }
        List<String> namesBefore = names(before), namesAfter = names(after);
        if (namesAfter.size() < namesBefore.size()
            || !namesAfter.subList(0, namesBefore.size()).equals(namesBefore)
            || !added.containsAll(namesAfter.subList(namesBefore.size(), namesAfter.size()))) {
            return "sheets " + namesBefore + " became " + namesAfter;
        }
        for (String name : namesBefore) {
            if (name.equals(own)) {
                continue;
            }
            Map<String, String> a = cells(before.getSheet(name)), b = cells(after.getSheet(name));
            if (!a.equals(b)) {
                for (Map.Entry<String, String> e : a.entrySet()) {
                    if (!e.getValue().equals(b.get(e.getKey()))) {
                        return "sheet " + name + ": cell " + e.getKey() + " was '"
                            + abbreviate(e.getValue()) + "', now '" + abbreviate(b.get(e.getKey())) + "'";
                    }
                }
                return "sheet " + name + ": cells added";
            }
        }
        return null;
    }

    static String abbreviate(String s) {
        return s == null ? "null" : s.length() > 40 ? s.substring(0, 40) + "..." : s;
    }

    public static void main(String[] args) throws Exception {
        try (BufferedReader in = Files.newBufferedReader(Paths.get(args[0]), StandardCharsets.UTF_8)) {
            String line;
            while ((line = in.readLine()) != null) {
                String[] f = line.split("\t", -1);
                if (f.length < 6 || !f[2].equals("written")) {
                    continue;
                }
                String problem;
                String status = "problem";
                try {
                    problem = check(f[0], f[4], f[5]);
                } catch (Unreadable e) {
                    status = "original-unreadable";
                    problem = e.getMessage();
                } catch (Exception | Error e) {
                    problem = "checker failed: " + e;
                }
                problem = problem == null ? "" : problem.replace('\t', ' ').replace('\n', ' ');
                System.out.println(f[0] + "\t" + f[1] + "\t" + (problem.isEmpty() ? "ok" : status)
                    + "\t" + problem);
                System.out.flush();
            }
        }
    }
}
