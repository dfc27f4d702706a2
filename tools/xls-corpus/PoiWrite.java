// Writes the corpus workbooks with Apache POI's HSSF (Debian's libapache-poi-java): one .xls
// per model file (see corpuscontent.dump), with what POI adds by the model's seed: comments,
// hyperlinks, named ranges, data validation, frozen panes, auto filters and pictures.
// java PoiWrite OUTDIR MODEL...
import java.io.BufferedReader;
import java.io.FileOutputStream;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;

import org.apache.poi.common.usermodel.HyperlinkType;
import org.apache.poi.hssf.usermodel.*;
import org.apache.poi.ss.usermodel.*;
import org.apache.poi.ss.util.CellRangeAddress;
import org.apache.poi.ss.util.CellRangeAddressList;

public class PoiWrite {
    // A 1x1 PNG, for the pictures.
    static final byte[] PNG = java.util.Base64.getDecoder().decode(
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==");

    public static void main(String[] args) throws IOException {
        Path out = Paths.get(args[0]);
        for (int i = 1; i < args.length; ++i) {
            Path model = Paths.get(args[i]);
            String name = model.getFileName().toString().replace(".cells", ".xls");
            try {
                write(model, out.resolve(name));
            } catch (Exception e) {
                System.err.println("poi: left out " + name + ": " + e);
                Files.deleteIfExists(out.resolve(name));
            }
        }
    }

    static void write(Path model, Path target) throws IOException {
        HSSFWorkbook book = new HSSFWorkbook();
        HSSFFont[] fonts = new HSSFFont[3];
        for (int f = 0; f < 3; ++f) {
            fonts[f] = book.createFont();
            fonts[f].setBold(f != 1);
            fonts[f].setItalic(f != 0);
            fonts[f].setColor((short) (10 + f));
        }
        CellStyle dateStyle = book.createCellStyle();
        dateStyle.setDataFormat(book.createDataFormat().getFormat("yyyy-mm-dd"));
        CellStyle wrap = book.createCellStyle();
        wrap.setWrapText(true);
        wrap.setFont(fonts[0]);
        HSSFSheet sheet = null;
        HSSFPatriarch drawing = null;
        int seed = 0;
        String kind = "";
        int cells = 0;
        try (BufferedReader in = Files.newBufferedReader(model, StandardCharsets.UTF_8)) {
            String line;
            while ((line = in.readLine()) != null) {
                String[] f = line.split("\t", -1);
                switch (f[0]) {
                case "K":
                    kind = f[1];
                    seed = Integer.parseInt(f[2]);
                    break;
                case "S":
                    if (kind.equals("empty") && seed % 3 == 0) {
                        break; // a workbook without any sheet
                    }
                    sheet = book.createSheet(PoiCheck.unescape(f[1]));
                    drawing = null;
                    if (f[2].equals("1")) {
                        book.setSheetHidden(book.getSheetIndex(sheet), true);
                    }
                    break;
                case "C": {
                    int r = Integer.parseInt(f[1]), c = Integer.parseInt(f[2]);
                    Row row = sheet.getRow(r) != null ? sheet.getRow(r) : sheet.createRow(r);
                    Cell cell = row.createCell(c);
                    String v = PoiCheck.unescape(f[4]);
                    switch (f[3]) {
                    case "text":
                        cell.setCellValue(v);
                        break;
                    case "number":
                        cell.setCellValue(Double.parseDouble(v));
                        break;
                    case "date":
                        cell.setCellValue(Double.parseDouble(v));
                        cell.setCellStyle(dateStyle);
                        break;
                    case "bool":
                        cell.setCellValue(v.equals("1"));
                        break;
                    case "formula":
                        cell.setCellFormula(v.split("\u0001")[0]);
                        break;
                    case "rich": {
                        StringBuilder text = new StringBuilder();
                        String[] runs = v.split("\u0002");
                        int[] starts = new int[runs.length];
                        for (int k = 0; k < runs.length; ++k) {
                            starts[k] = text.length();
                            text.append(runs[k].split("\u0001")[0]);
                        }
                        HSSFRichTextString rich = new HSSFRichTextString(text.toString());
                        for (int k = 0; k < runs.length; ++k) {
                            int style = Integer.parseInt(runs[k].split("\u0001")[1]);
                            int end = k + 1 < runs.length ? starts[k + 1] : text.length();
                            if (end > starts[k]) {
                                rich.applyFont(starts[k], end, fonts[style]);
                            }
                        }
                        cell.setCellValue(rich);
                        break;
                    }
                    }
                    ++cells;
                    extras(book, sheet, cell, seed, cells);
                    break;
                }
                case "M":
                    sheet.addMergedRegion(new CellRangeAddress(Integer.parseInt(f[1]),
                        Integer.parseInt(f[2]), Integer.parseInt(f[3]), Integer.parseInt(f[4])));
                    break;
                case "W":
                    sheet.setColumnWidth(Integer.parseInt(f[1]), Integer.parseInt(f[2]));
                    break;
                }
            }
        }
        sheetExtras(book, seed);
        HSSFFormulaEvaluator.evaluateAllFormulaCells(book);
        try (FileOutputStream os = new FileOutputStream(target.toFile())) {
            book.write(os);
        }
    }

    // Comments and hyperlinks on some cells, by seed.
    static void extras(HSSFWorkbook book, HSSFSheet sheet, Cell cell, int seed, int n) {
        if (seed % 4 == 1 && n % 37 == 1) {
            HSSFPatriarch drawing = sheet.getDrawingPatriarch() != null
                ? sheet.getDrawingPatriarch() : sheet.createDrawingPatriarch();
            HSSFClientAnchor anchor = new HSSFClientAnchor(0, 0, 0, 0,
                (short) (cell.getColumnIndex() + 1), cell.getRowIndex(),
                (short) (cell.getColumnIndex() + 3), cell.getRowIndex() + 3);
            HSSFComment comment = drawing.createCellComment(anchor);
            comment.setString(new HSSFRichTextString("Checked by Kim, note " + n));
            comment.setAuthor("Kim");
            cell.setCellComment(comment);
        }
        if (seed % 5 == 2 && n % 29 == 1 && cell.getCellType() == CellType.STRING) {
            Hyperlink link = book.getCreationHelper().createHyperlink(HyperlinkType.URL);
            link.setAddress("https://example.org/item/" + n);
            cell.setHyperlink(link);
        }
    }

    // Names, validation, panes, filters and pictures on the whole book, by seed.
    static void sheetExtras(HSSFWorkbook book, int seed) {
        if (book.getNumberOfSheets() == 0) {
            return;
        }
        HSSFSheet first = book.getSheetAt(0);
        if (seed % 3 == 0) {
            Name name = book.createName();
            name.setNameName("FirstBlock");
            name.setRefersToFormula("'" + first.getSheetName().replace("'", "''") + "'!$A$1:$B$3");
        }
        if (seed % 6 == 4) {
            DataValidationHelper helper = first.getDataValidationHelper();
            DataValidationConstraint list =
                helper.createExplicitListConstraint(new String[] {"Low", "High", "Off"});
            first.addValidationData(
                helper.createValidation(list, new CellRangeAddressList(1, 20, 4, 4)));
        }
        if (seed % 7 == 3) {
            first.createFreezePane(1, 1);
        }
        if (seed % 8 == 5) {
            first.setAutoFilter(new CellRangeAddress(0, 5, 0, 2));
        }
        if (seed % 9 == 6) {
            int picture = book.addPicture(PNG, Workbook.PICTURE_TYPE_PNG);
            HSSFPatriarch drawing = first.getDrawingPatriarch() != null
                ? first.getDrawingPatriarch() : first.createDrawingPatriarch();
            drawing.createPicture(new HSSFClientAnchor(0, 0, 0, 0, (short) 3, 3, (short) 5, 8),
                picture);
        }
        if (seed % 10 == 7) {
            first.getHeader().setCenter("Gas log");
            first.getFooter().setRight("Page &P");
            first.getPrintSetup().setLandscape(true);
        }
    }
}
