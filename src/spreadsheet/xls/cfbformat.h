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

} // namespace xls::cfb
