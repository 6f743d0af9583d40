// Engine-wide switches. One instance for the whole program; the table
// component sets the per-table ones (hide-deleted, table language) before
// every operation, so each call is independent of what another table did.
#ifndef SV_ENGINE_ENGINE_STATE_H_
#define SV_ENGINE_ENGINE_STATE_H_

namespace sv {

struct EngineSwitches {
  // Record-count repair at open: the count follows the file size.
  bool fix_rec_count = false;
  // Records marked deleted are invisible to movement.
  bool hide_deleted = false;
  // Table language: true for OEM text in the file (translated on read and
  // write), false for ANSI.
  bool oem_language = false;
  // Replace maintains the index keys; ReplaceNoUpdate turns it off for a call.
  bool index_maintenance = true;
  // Expression language: default decimals and memo pool size.
  int default_decimals = 2;
  int memo_pool_size = 256;
};

EngineSwitches& Switches();

// Reads the locale facts (decimal and thousands separators, short date
// format), chooses the date form, and installs the expression and index
// modules' operation hooks. Safe to call more than once; each call reads the
// locale facts again.
void EngineStartup();

}  // namespace sv

#endif  // SV_ENGINE_ENGINE_STATE_H_
