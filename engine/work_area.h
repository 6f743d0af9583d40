// Work areas and the xBase record commands.
//
// The engine keeps its open tables in 133 numbered work areas and works on
// the current one. Every command starts by clearing the last error code; on an
// empty current area it reports code 215 ("No database in use [<command>]
// WorkArea = <n>") and does nothing.
//
// Record cursor: the current record number (0 for an empty table, record count
// + 1 past the end), the EOF and BOF flags, and the record and field value
// buffers, which always hold the current record, or blanks past the end.
#ifndef SV_ENGINE_WORK_AREA_H_
#define SV_ENGINE_WORK_AREA_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dbf_table.h"

namespace sv {

struct CompiledExpr;
struct AreaIndex;

constexpr int kWorkAreaCount = 133;
// The temporary area of AppendFrom.
constexpr int kAppendFromArea = 135;
// Aliases are looked up in areas 1 to this one.
constexpr int kLastAliasArea = 132;

enum LockState : int {
  kNoLock = 0,
  kFileLock = 1,
  kAppendLock = 2,
  kRecordLocks = 3,
};

// The work-area record: the open table file and what the commands keep
// beside it.
struct WorkArea : DbfTable {
  ~WorkArea() override;

  int number = 0;
  // Same size as the field value buffer; Replace keeps the new values here
  // while the old keys are noted.
  std::vector<uint8_t> swap;
  std::string alias;  // upper case, at most 64 characters
  bool exclusive_use = true;
  int lock_state = kNoLock;
  std::vector<int32_t> locked_records;
  CompiledExpr* filter = nullptr;
  AreaIndex* index = nullptr;
};

// The area with that number (1..133 or 135), or nullptr when it is empty.
WorkArea* Area(int n);
int CurrentAreaNumber();
// nullptr when the current area is empty.
WorkArea* CurrentArea();

// Whether the record in the area's buffers is visible: not hidden as deleted,
// and admitted by the filter.
bool RecordVisible(WorkArea& area);

// Commands on the current area.
bool Select(int n);
// "file [EXCLUSIVE] [ALIAS name]"; an empty text only closes.
bool Use(std::string_view command);
void GoTop();
void GoBottom();
void Skip(int32_t n);
void Go(int32_t n);
bool dEOF();
bool dBOF();
int32_t RecNo();
int32_t RecCount();
bool Deleted();
void ClearRecord();
void Append();
void Replace();
void ReplaceNoUpdate();
void DeleteRec();
void RecallRec();
void FlushDbf();
bool Pack();
bool Zap();
void AppendFrom(std::string_view file_name);
bool FLock();
bool ALock();
bool RLock();
void Unlock();
void Set_Filter_To(std::string_view condition);
int FieldCount();
int FieldNo(std::string_view name);

// Closes every open area (program end).
void CloseAllAreas();

// The record commands' notion of going past the end: blank buffers, record
// count + 1, EOF and BOF set.
void GoPastEnd(WorkArea& area);
// Blank record buffer, scattered.
void BlankBuffers(WorkArea& area);

}  // namespace sv

#endif  // SV_ENGINE_WORK_AREA_H_
