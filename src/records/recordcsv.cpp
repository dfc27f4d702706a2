#include "records/recordcsv.h"

#include "records/recordsheet.h"
#include "spreadsheet/safefilewrite.h"

namespace {

// Written in pieces of about this size, so that a day's file needs no buffer of its size.
constexpr qsizetype kPieceBytes = qsizetype(256) * 1024;

void appendField(QByteArray& out, const QString& text) {
    const bool quote =
        text.contains(u',') || text.contains(u'"') || text.contains(u'\n') || text.contains(u'\r');
    if (!quote) {
        out += text.toUtf8();
        return;
    }
    QString escaped = text;
    escaped.replace(u'"', QStringLiteral("\"\""));
    out += '"';
    out += escaped.toUtf8();
    out += '"';
}

} // namespace

void appendCsvLine(QByteArray& out, const QStringList& fields) {
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        appendField(out, fields[i]);
    }
    out += "\r\n";
}

bool writeRecordCsv(const RecordSheet& sheet, const QString& path, QString& failure) {
    const auto produce = [&sheet](const safefilewrite::PieceWriter& write) {
        QByteArray piece;
        piece.reserve(kPieceBytes + 4096);
        appendCsvLine(piece, sheet.captions());
        QStringList fields;
        for (qsizetype record = 0; record < sheet.recordCount(); ++record) {
            fields.clear();
            const RecordTime time = sheet.times[size_t(record)];
            fields << (time == RecordSheet::kNoTime ? sheet.timeText(record) : isoRecordTime(time));
            for (int channel = 1; channel <= sheet.channelCount; ++channel) {
                const RecordCell& cell = sheet.cell(record, channel);
                fields << sheet.text(cell.gas) << sheet.readingText(record, channel)
                       << sheet.text(cell.unit);
            }
            appendCsvLine(piece, fields);
            if (piece.size() >= kPieceBytes) {
                if (!write(piece)) {
                    return false;
                }
                piece.clear();
            }
        }
        return write(piece);
    };
    return safefilewrite::replaceFile(path, produce, failure);
}
