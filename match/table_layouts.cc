#include "match/table_layouts.h"

namespace sv {
namespace {

// Logical fields of the settings table, one per thread line or sub-line.
// Nothing reads them; they are kept so the layout matches files in the field.
constexpr std::string_view kLineFlagsBeforeShowQty[] = {
    "anc_floss", "angel",     "arcall",    "arcmetal",  "arcpoly",   "arcrayon",  "brildor",
    "brilac",    "brilco",    "brilmf",    "brilny",    "brilpb",    "brother",   "ccall",
    "ccrayon",   "ccpoly",    "ccalcazar", "ccsylko",   "dmcall",    "dmcfloss",  "dmcme",
    "dmcrayon",  "echidna",   "fufuall",   "fufurayon", "fufupoly",  "gunold",    "isafil",
    "isacord",   "isalon",    "janome",    "jpcoats",   "kingusall", "kingusmet", "kingus1k",
    "kingus5k",  "madall",    "madrayon",  "madpneon",  "maraall",   "marametal", "marapoly",
    "mararayon", "metall",    "metemb",    "mettsilk",  "mettpoly",  "pantone",   "raall",
    "radiant",   "rapoly",    "rarayon",   "rapos",     "royal",     "sulky",     "wonderfil",
    "wondpoly",  "wondrayon",
};

constexpr std::string_view kLineFlagsAfterShowQty[] = {
    "ultima",    "specrayon", "pearayon",  "gutsewing",  "gutrayon", "valdani",  "amefird",
    "aurall",    "aulana",    "aumako",    "aupoly",     "aurayon",  "megasheen", "salus",
    "florall",   "florrayon", "florpoly",  "threadart",  "admelody", "colorful", "tdelight",
    "embroidex", "polyx",     "sulkypoly", "sulkyall",   "sulkycot", "hworth",   "auroyal",
    "alcjazz",   "madburm",   "princess",  "swist",      "tristall", "tristply", "tristray",
    "vyapar",    "fatkat",    "abc",       "royalpoly",  "hiloall",  "hilorayon", "hilopoly",
    "kolors",    "outback",   "madaero",   "madfrost",   "dznsbysick", "ostra",
};

std::vector<DbfFieldSpec> MakeParamsFields() {
  std::vector<DbfFieldSpec> f = {
      {"perc_limit", 'N', 3, 0},  {"fullpage", 'C', 65, 0},   {"bias", 'N', 1, 0},
      {"r_bias", 'N', 3, 0},      {"g_bias", 'N', 3, 0},      {"b_bias", 'N', 3, 0},
      {"p_color1", 'N', 10, 0},   {"p_color2", 'N', 10, 0},   {"ghf_color", 'N', 10, 0},
      {"gf_color", 'N', 10, 0},   {"gb_color", 'N', 10, 0},   {"clear_flag", 'L', 1, 0},
      {"clearkeep", 'N', 1, 0},   {"stashonly", 'L', 1, 0},
  };
  for (std::string_view name : kLineFlagsBeforeShowQty) f.push_back({std::string(name), 'L', 1, 0});
  f.push_back({"show_qty", 'N', 1, 0});
  for (std::string_view name : kLineFlagsAfterShowQty) f.push_back({std::string(name), 'L', 1, 0});
  return f;
}

}  // namespace

const std::vector<DbfFieldSpec>& ManthreadFields() {
  static const std::vector<DbfFieldSpec> fields = {
      {"t_company", 'C', 12, 0}, {"t_type", 'C', 12, 0}, {"t_name", 'C', 20, 0},
      {"t_color", 'C', 8, 0},    {"t_red", 'N', 3, 0},   {"t_green", 'N', 3, 0},
      {"t_blue", 'N', 3, 0},
  };
  return fields;
}

const std::vector<DbfFieldSpec>& InthreadFields() {
  static const std::vector<DbfFieldSpec> fields = [] {
    std::vector<DbfFieldSpec> f = ManthreadFields();
    f.push_back({"instash", 'L', 1, 0});
    f.push_back({"add_qty", 'L', 1, 0});
    return f;
  }();
  return fields;
}

const std::vector<DbfFieldSpec>& ParamsFields() {
  static const std::vector<DbfFieldSpec> fields = MakeParamsFields();
  return fields;
}

}  // namespace sv
