#pragma once

#include <cstdint>

// The parts of a compound file (version 3, 512-byte sectors) that describe where everything
// lies, shared by the writer of new files and the one that rewrites a file it read.
namespace xls::cfb {

// How many FAT and DIFAT sectors a file of `dataSectors` other sectors needs: the FAT also maps
// its own sectors and the DIFAT's ([MS-CFB] 2.3 Compound File FAT Sectors, 2.5 DIFAT Sectors).
struct AllocationTables {
    uint32_t fatSectors = 0;
    uint32_t difatSectors = 0;
};
AllocationTables allocationTablesFor(uint32_t dataSectors);

// The header fields of the layout ([MS-CFB] 2.2 Compound File Header), with the FAT sectors
// following one another from firstFat and the DIFAT sectors from firstDifat.
struct HeaderLayout {
    AllocationTables tables;
    uint32_t firstFat = 0;
    uint32_t firstDifat = 0;
    uint32_t firstDirectory = 0;
    uint32_t firstMiniFat = 0; // kEndOfChain when there is none
    uint32_t miniFatSectors = 0;
};
// Writes them into the 512-byte header at `h`; the signature, class id, minor version and
// reserved fields are the caller's.
void putHeaderLayout(char* h, const HeaderLayout& layout);

// Fills DIFAT sector `d` (512 bytes at `sector`): the FAT sectors beyond the header's 109, 127 to
// a sector, then the number of the next DIFAT sector.
void putDifatSector(char* sector, uint32_t d, const HeaderLayout& layout);

} // namespace xls::cfb
