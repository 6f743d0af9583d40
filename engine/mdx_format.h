// Layout of a dBASE IV production multiple-index file, shared by the code
// that reads and writes it.
//
//   file header (2048 bytes: header fields, anchor entry, 47 tag entries)
//   then tag headers and B-tree nodes, 1024 bytes each, in any order
//
// Block numbers count 512-byte units from the start of the file. All integers
// are little-endian.
//
// Node layout: a 16-bit entry count n (bytes 2..7 zero), then n entries of the
// tag's entry length, each a 4-byte number followed by the key bytes. The
// 4-byte number after the last entry is 0 in a leaf and the rightmost child's
// block in a branch. A leaf entry's number is a record number; a branch
// entry's number is a child block and its key is the child's last key.
#ifndef SV_ENGINE_MDX_FORMAT_H_
#define SV_ENGINE_MDX_FORMAT_H_

#include <cstddef>
#include <cstdint>

#include "engine/little_endian.h"

namespace sv::mdx {

constexpr size_t kBlockUnit = 512;
constexpr size_t kBlockSize = 1024;          // a node or a tag header
constexpr uint32_t kUnitsPerBlock = 2;
constexpr size_t kFileHeaderSize = 2048;
constexpr uint32_t kFirstFreeBlock = kFileHeaderSize / kBlockUnit;
// The smallest file that can hold a header, one tag header and one node.
constexpr size_t kMinFileSize = kFileHeaderSize + kBlockSize;

// File header (MdxHeader).
constexpr size_t kVersionOffset = 0;
constexpr uint8_t kVersion = 2;
constexpr size_t kCreatedOffset = 1;         // year - 1900, month, day
constexpr size_t kTableNameOffset = 4;
constexpr size_t kTableNameSize = 16;        // zero-terminated
constexpr size_t kMaxTableName = 15;
constexpr size_t kBlockUnitsOffset = 20;     // 16-bit
constexpr size_t kBlockBytesOffset = 22;     // 16-bit
constexpr size_t kProductionOffset = 24;
constexpr size_t kEntryCountOffset = 25;
constexpr uint8_t kEntryCount = 48;
constexpr size_t kEntrySizeOffset = 26;
constexpr size_t kTagsInUseOffset = 28;      // 16-bit; the low byte is the count
constexpr size_t kLastBlockOffset = 32;      // 32-bit, written, never read
constexpr size_t kUpdatedOffset = 44;        // year - 1900, month, day

// Tag table (TagTableEntry): the anchor at 512, entry i at 512 + 32 * i.
constexpr size_t kTagTableOffset = 512;
constexpr size_t kTagEntrySize = 32;
constexpr int kMaxTags = 47;
constexpr size_t kEntryHeaderBlock = 0;      // 32-bit
constexpr size_t kEntryName = 4;
constexpr size_t kEntryNameSize = 11;        // zero-terminated
constexpr size_t kMaxTagName = 10;
constexpr size_t kEntryLeft = 16;
constexpr size_t kEntryRight = 17;
constexpr size_t kEntryParent = 18;
constexpr size_t kEntryMarker = 19;
constexpr uint8_t kEntryMarkerValue = 2;
constexpr size_t kEntryKeyType = 20;
// In the anchor entry, byte 17 is the tag at the root of the tag tree.
constexpr size_t kAnchorRoot = 17;
// Tag names compare over the name and its terminating zero.
constexpr size_t kTreeNameCompare = 11;

// Tag header (TagHeader), at the entry's block.
constexpr size_t kTagRootOffset = 0;         // 32-bit
constexpr size_t kTagKeyFormatOffset = 8;
constexpr uint8_t kKeyFormatBase = 0x10;
constexpr uint8_t kKeyFormatDescending = 0x08;
constexpr uint8_t kKeyFormatUnique = 0x40;
constexpr size_t kTagKeyTypeOffset = 9;
constexpr size_t kTagKeyLengthOffset = 12;   // 16-bit
constexpr size_t kTagMaxKeysOffset = 14;     // 16-bit
constexpr size_t kTagSecondaryTypeOffset = 16;  // 16-bit; 1 for dates
constexpr size_t kTagEntryLengthOffset = 18;    // 16-bit
constexpr size_t kTagUniqueOffset = 23;
constexpr size_t kTagExprOffset = 24;
constexpr size_t kTagExprSize = 221;         // zero-terminated
constexpr size_t kMaxExpr = 220;
constexpr size_t kTagHasForOffset = 245;
constexpr size_t kTagForMetOffset = 246;
constexpr size_t kTagForOffset = 762;
constexpr size_t kTagForSize = 221;          // zero-terminated
// The part of a tag header the engine reads and rewrites.
constexpr size_t kTagHeaderUsed = 983;

// Nodes (IndexNode).
constexpr size_t kNodeCountOffset = 0;
constexpr size_t kNodeEntriesOffset = 8;
constexpr size_t kNodeEntrySpace = 1012;     // divided by the entry length: keys per node
constexpr size_t kEntryNumberSize = 4;

// Keys.
constexpr int kMaxKeyLength = 100;
constexpr int kNumericKeyLength = 12;
constexpr int kDateKeyLength = 8;
constexpr int kMaxPackedDigits = 20;

constexpr int EntryLength(int key_length) { return (key_length + 4 + 3) / 4 * 4; }
constexpr int MaxKeysPerNode(int entry_length) {
  return static_cast<int>(kNodeEntrySpace) / entry_length;
}

using le::Get16;
using le::Get32;
using le::Put16;
using le::Put32;

}  // namespace sv::mdx

#endif  // SV_ENGINE_MDX_FORMAT_H_
