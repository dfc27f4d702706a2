#pragma once

#include "spreadsheet/xls/xlsbook.h"
#include "workbookreaders.h"

// A book of this program's .xls module as a reader that finds only text cells has to see it.
inline QList<ReadSheet> asReadSheets(const xls::Book& book) {
    QList<ReadSheet> sheets;
    for (const xls::Sheet& s : book.sheets) {
        ReadSheet& sheet = sheets.emplace_back();
        sheet.name = s.name;
        for (const auto& row : s.rows) {
            auto& cells = sheet.cells.emplace_back();
            for (const QString& text : row) {
                cells.push_back(text.isEmpty() ? QJsonValue() : QJsonValue(text));
            }
        }
        for (auto& row : sheet.cells) {
            while (!row.empty() && row.back().isNull()) {
                row.pop_back();
            }
        }
        while (!sheet.cells.empty() && sheet.cells.back().empty()) {
            sheet.cells.pop_back();
        }
    }
    return sheets;
}
