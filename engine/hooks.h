// Operation hooks through which the record commands reach the expression and
// index modules. Each module installs its operations at engine start
// (EngineStartup); without them the engine works in record-number order and
// without filters.
#ifndef SV_ENGINE_HOOKS_H_
#define SV_ENGINE_HOOKS_H_

#include <cstdint>
#include <string_view>

namespace sv {

struct CompiledExpr;
struct WorkArea;
struct AreaIndex;

struct ExpressionHooks {
  // Compiles against the current work area; nullptr after a reported error.
  CompiledExpr* (*compile)(std::string_view text) = nullptr;
  void (*release)(CompiledExpr* expr) = nullptr;
  // Evaluates a filter on the record in the current work area's buffers.
  bool (*admits)(CompiledExpr* expr) = nullptr;
};

// All take the work area that holds the index (the current one).
struct IndexHooks {
  // Closes every tag and the file; the area's index slot becomes empty.
  void (*close)(WorkArea& area) = nullptr;
  // True when a controlling tag is in force (order above 0).
  bool (*ordered)(const WorkArea& area) = nullptr;
  // Key-order navigation: the record number at the first, last, next or
  // prior key. first/last answer record count + 1 for an empty order; next
  // and prior answer the same record again at the ends (with the end or
  // beginning flag set); 0 means the step failed.
  int32_t (*first)(WorkArea& area) = nullptr;
  int32_t (*last)(WorkArea& area) = nullptr;
  int32_t (*next)(WorkArea& area) = nullptr;
  int32_t (*prior)(WorkArea& area) = nullptr;
  // The controlling tag's end and beginning flags.
  bool (*at_end)(const WorkArea& area) = nullptr;
  bool (*at_start)(const WorkArea& area) = nullptr;
  // Key maintenance: after an append; before a replace, with the old values
  // in the buffers; after it, with the new ones. Afterwards every tag stands
  // on the current record, so key-order movement goes on from there.
  bool (*append_key)(WorkArea& area) = nullptr;
  void (*note_old_keys)(WorkArea& area) = nullptr;
  bool (*compare_keys)(WorkArea& area) = nullptr;
  // Puts every tag on the current record.
  void (*sync)(WorkArea& area) = nullptr;
  // Rebuilds every open tag (after pack and zap).
  bool (*reindex)(WorkArea& area) = nullptr;
};

ExpressionHooks& ExprHooks();
IndexHooks& IdxHooks();

// Installs the hooks of every module linked into the engine.
void InstallModuleHooks();

}  // namespace sv

#endif  // SV_ENGINE_HOOKS_H_
