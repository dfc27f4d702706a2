#pragma once

#include <cstdint>

// Constants of the compound file binary format shared by its reader and writer.
namespace xls::cfb {

constexpr char kSignature[8] = {'\xD0', '\xCF', '\x11', '\xE0', '\xA1', '\xB1', '\x1A', '\xE1'};
constexpr int kHeaderSize = 512;
constexpr int kHeaderDifatEntries = 109;
constexpr int kDirEntrySize = 128;
constexpr uint32_t kMiniStreamCutoff = 4096;
constexpr int kMiniSectorSize = 64;

// Special sector numbers in the allocation tables.
constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr uint32_t kDifatSector = 0xFFFFFFFC;
constexpr uint32_t kFatSector = 0xFFFFFFFD;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFreeSector = 0xFFFFFFFF;
constexpr uint32_t kNoStream = 0xFFFFFFFF;

enum class EntryType : uint8_t { Unused = 0, Storage = 1, Stream = 2, Root = 5 };

// Fixed values of the header.
constexpr uint16_t kMinorVersion = 0x003E;
constexpr uint16_t kMajorVersion3 = 3; // 512-byte sectors
constexpr uint16_t kMajorVersion4 = 4; // 4096-byte sectors, 64-bit stream sizes
constexpr uint16_t kByteOrderMark = 0xFFFE;
constexpr uint16_t kSectorShift3 = 9;
constexpr uint16_t kSectorShift4 = 12;
constexpr uint16_t kMiniSectorShift = 6;

// Fields of the header, as offsets from the start of the file.
namespace header {
constexpr int kMinorVersion = 24;
constexpr int kMajorVersion = 26;
constexpr int kByteOrder = 28;
constexpr int kSectorShift = 30;
constexpr int kMiniSectorShift = 32;
constexpr int kFatSectorCount = 44;
constexpr int kFirstDirectorySector = 48;
constexpr int kMiniStreamCutoff = 56;
constexpr int kFirstMiniFatSector = 60;
constexpr int kMiniFatSectorCount = 64;
constexpr int kFirstDifatSector = 68;
constexpr int kDifatSectorCount = 72;
constexpr int kDifat = 76; // the first kHeaderDifatEntries FAT sector numbers
} // namespace header

// Fields of a directory entry, as offsets from its start.
namespace entry {
constexpr int kName = 0; // UTF-16, NUL-terminated
constexpr int kMaxNameBytes = 64;
constexpr int kNameBytes = 64; // of the name with its NUL
constexpr int kType = 66;
constexpr int kColour = 67; // of the node in the red-black tree of a storage's children
constexpr int kLeft = 68;
constexpr int kRight = 72;
constexpr int kChild = 76;
constexpr int kStartSector = 116;
constexpr int kSize = 120;
constexpr int kSizeHigh = 124; // version 4 only
} // namespace entry
constexpr uint8_t kBlack = 1;

} // namespace xls::cfb
