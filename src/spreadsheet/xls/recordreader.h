#pragma once

#include <QByteArray>
#include <cstdint>
#include <vector>

namespace xls {

// Bytes of one record spread over the record and the CONTINUE records that follow it.
struct RecordPiece {
    const char* data;
    qsizetype length;
};

struct Record {
    uint16_t type = 0;
    qsizetype position = 0; // stream offset of the record header
    const char* data = nullptr;
    qsizetype length = 0;
    // The record's own data first, then each CONTINUE record's data.
    const std::vector<RecordPiece>* pieces = nullptr;
};

// Walks the BIFF records of a Workbook stream from a given offset. A record whose length runs
// past the end of the stream ends the walk with FormatError.
class RecordReader {
public:
    RecordReader(const QByteArray& stream, qsizetype position);

    // Reads the next record with its CONTINUE records. False at the end of the stream.
    bool next(Record& record);
    qsizetype position() const { return at; }

private:
    const QByteArray& stream;
    qsizetype at;
    std::vector<RecordPiece> pieces;
};

} // namespace xls
