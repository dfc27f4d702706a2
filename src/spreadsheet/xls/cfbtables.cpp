#include "spreadsheet/xls/cfbtables.h"

#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/cfbformat.h"

namespace xls::cfb {

namespace {

constexpr uint32_t kEntriesPerSector = (1u << kSectorShift3) / 4;
constexpr uint32_t kFatSectorsPerDifatSector = kEntriesPerSector - 1;
// The header's count of directory sectors, which version 3 leaves at 0.
constexpr int kDirectorySectorCountField = 40;

uint32_t ceilDiv(uint32_t a, uint32_t b) {
    return (a + b - 1) / b;
}

} // namespace

AllocationTables allocationTablesFor(uint32_t dataSectors) {
    AllocationTables tables;
    for (;;) {
        const uint32_t fat =
            ceilDiv(dataSectors + tables.fatSectors + tables.difatSectors, kEntriesPerSector);
        const uint32_t difat = fat > uint32_t(kHeaderDifatEntries)
                                   ? ceilDiv(fat - kHeaderDifatEntries, kFatSectorsPerDifatSector)
                                   : 0;
        if (fat == tables.fatSectors && difat == tables.difatSectors) {
            return tables;
        }
        tables = {fat, difat};
    }
}

void putHeaderLayout(char* h, const HeaderLayout& layout) {
    const AllocationTables& tables = layout.tables;
    bytes::put16(h + header::kMajorVersion, kMajorVersion3);
    bytes::put16(h + header::kByteOrder, kByteOrderMark);
    bytes::put16(h + header::kSectorShift, kSectorShift3);
    bytes::put16(h + header::kMiniSectorShift, kMiniSectorShift);
    bytes::put32(h + kDirectorySectorCountField, 0); // not used by version 3
    bytes::put32(h + header::kFatSectorCount, tables.fatSectors);
    bytes::put32(h + header::kFirstDirectorySector, layout.firstDirectory);
    bytes::put32(h + header::kMiniStreamCutoff, kMiniStreamCutoff);
    bytes::put32(h + header::kFirstMiniFatSector, layout.firstMiniFat);
    bytes::put32(h + header::kMiniFatSectorCount, layout.miniFatSectors);
    bytes::put32(h + header::kFirstDifatSector,
                 tables.difatSectors ? layout.firstDifat : kEndOfChain);
    bytes::put32(h + header::kDifatSectorCount, tables.difatSectors);
    for (uint32_t i = 0; i < uint32_t(kHeaderDifatEntries); ++i) {
        bytes::put32(h + header::kDifat + size_t(4) * i,
                     i < tables.fatSectors ? layout.firstFat + i : kFreeSector);
    }
}

void putDifatSector(char* sector, uint32_t d, const HeaderLayout& layout) {
    uint32_t listed = kHeaderDifatEntries + d * kFatSectorsPerDifatSector;
    for (uint32_t slot = 0; slot < kFatSectorsPerDifatSector; ++slot, ++listed) {
        bytes::put32(sector + size_t(4) * slot,
                     listed < layout.tables.fatSectors ? layout.firstFat + listed : kFreeSector);
    }
    const bool last = d + 1 == layout.tables.difatSectors;
    bytes::put32(sector + size_t(4) * kFatSectorsPerDifatSector,
                 last ? kEndOfChain : layout.firstDifat + d + 1);
}

} // namespace xls::cfb
