// Layout of a dBase table file, shared by the code that reads and writes it.
//
//   32-byte header | 32-byte descriptor per field | 0x0D | records | 0x1A
//
// Record n (from 1) starts at header_length + (n - 1) * record_length. All
// integers are little-endian.
#ifndef SV_ENGINE_DBF_FORMAT_H_
#define SV_ENGINE_DBF_FORMAT_H_

#include <cstddef>
#include <cstdint>

#include "engine/little_endian.h"

namespace sv::dbf {

constexpr size_t kHeaderSize = 32;
constexpr size_t kDescriptorSize = 32;
constexpr uint8_t kHeaderTerminator = 0x0D;
constexpr uint8_t kEndOfFile = 0x1A;
constexpr int kMaxFields = 255;

// Header offsets.
constexpr size_t kVersionOffset = 0;
constexpr size_t kDateOffset = 1;          // year - 1900, month, day
constexpr size_t kRecordCountOffset = 4;   // 32-bit
constexpr size_t kHeaderLengthOffset = 8;  // 16-bit, terminator included
constexpr size_t kRecordLengthOffset = 10; // 16-bit, deletion flag included
// Bytes 16..27 are re-read from the disk before every header rewrite.
constexpr size_t kPreservedOffset = 16;
constexpr size_t kPreservedSize = 12;
constexpr size_t kProductionIndexOffset = 28;

// Descriptor offsets.
constexpr size_t kFieldNameOffset = 0;
constexpr size_t kFieldNameSize = 11;
constexpr size_t kFieldTypeOffset = 11;
constexpr size_t kFieldLengthOffset = 16;
constexpr size_t kFieldDecimalsOffset = 17;

// Version bytes.
constexpr uint8_t kVersionPlain = 0x03;  // no memo fields
constexpr uint8_t kVersionMemo = 0x8B;   // memo fields; the engine's default
constexpr uint8_t kVersionMemoBit = 0x80;

// Record bytes.
constexpr uint8_t kDeletedFlag = '*';
constexpr uint8_t kLiveFlag = ' ';

// Longest field name kept.
constexpr size_t kMaxFieldName = 10;

using le::Get16;
using le::Get32;
using le::Put16;
using le::Put32;

}  // namespace sv::dbf

#endif  // SV_ENGINE_DBF_FORMAT_H_
