#pragma once

#include "spreadsheet/xls/cfbtables.h"

#include <QByteArray>

namespace xls {

// Builds a compound file (version 3, 512-byte sectors) whose only stream is "Workbook".
// Streams under 4,096 bytes would belong in the mini stream, so a shorter stream is padded
// with zero bytes to that size; readers stop at the BIFF EOF record and ignore the padding.
QByteArray writeCompoundFile(const QByteArray& workbookStream);

// The same file around a stream that is written out piece by piece: the header, then the
// stream's bytes, then the trailer (padding, directory and allocation tables). Only the
// stream's size is needed in advance.
class CompoundFileFrame {
public:
    explicit CompoundFileFrame(qsizetype streamBytes);

    QByteArray header() const;
    QByteArray trailer() const;
    qsizetype fileBytes() const;

private:
    qsizetype m_dataBytes;   // what the stream's writer hands over
    qsizetype m_streamBytes; // the stream's size in the directory: padded to the cutoff
    uint32_t m_streamSectors = 0;
    uint32_t m_fatSectors = 0;
    uint32_t m_difatSectors = 0;

    uint32_t directorySector() const { return m_streamSectors; }
    uint32_t firstFatSector() const { return directorySector() + 1; }
    uint32_t firstDifatSector() const { return firstFatSector() + m_fatSectors; }
    cfb::HeaderLayout layout() const;
    uint32_t totalSectors() const { return m_streamSectors + 1 + m_fatSectors + m_difatSectors; }
};

} // namespace xls
