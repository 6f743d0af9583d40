// Field layouts of the shipped tables: the master thread table
// "mnthread.svx", the selection list "inthread.svx" and the settings table
// "params.svx". Keys are built by joining these fields at their full widths,
// so the widths are part of every stored key.
#ifndef SV_MATCH_TABLE_LAYOUTS_H_
#define SV_MATCH_TABLE_LAYOUTS_H_

#include <string_view>
#include <vector>

#include "engine/dbf_table.h"

namespace sv {

inline constexpr std::string_view kManthreadFile = "mnthread.svx";
inline constexpr std::string_view kInthreadFile = "inthread.svx";
inline constexpr std::string_view kParamsFile = "params.svx";

// t_company, t_type, t_name, t_color, t_red, t_green, t_blue.
const std::vector<DbfFieldSpec>& ManthreadFields();
// The master fields, then instash and add_qty.
const std::vector<DbfFieldSpec>& InthreadFields();
// perc_limit ... stashonly, one logical per thread line, show_qty, more
// logicals, ostra.
const std::vector<DbfFieldSpec>& ParamsFields();

}  // namespace sv

#endif  // SV_MATCH_TABLE_LAYOUTS_H_
