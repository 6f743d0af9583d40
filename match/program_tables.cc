#include "match/program_tables.h"

#include "support/text.h"

namespace sv {
namespace {

std::vector<std::string> Logicals(std::initializer_list<const char*> names) {
  std::vector<std::string> lines;
  for (const char* n : names) lines.push_back(std::string(n) + ", L, 1, 0");
  return lines;
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A tag without FOR condition, ascending, admitting equal keys.
std::vector<std::string> Tags(std::initializer_list<std::pair<const char*, const char*>> tags) {
  std::vector<std::string> lines;
  for (const auto& [name, key] : tags) {
    lines.push_back(std::string(name) + ",F,F," + key);
    lines.emplace_back();
  }
  return lines;
}

// Fields 1 to 17 of the result table; the match table has exactly these.
const std::vector<std::string> kResultFields = {
    "t_company, C, 12, 0", "t_color, C, 8, 0",    "r_company, C, 12, 0", "r_color, C, 8, 0",
    "r_match, N, 3, 0",    "r_name, C, 20, 0",    "r_inbox, L, 1, 0",    "r_type, C, 12, 0",
    "r_location, C, 20, 0", "s_tcolor, N, 10, 0", "r_tcolor, N, 10, 0",  "a_tcolor, N, 10, 0",
    "keeper, L, 1, 0",     "r_red, N, 3, 0",      "r_green, N, 3, 0",    "r_blue, N, 3, 0",
    "stops, C, 60, 0"};

const std::vector<std::string> kStashFields = {"m_company, C, 12, 0", "m_type, C, 12, 0",
                                               "m_name, C, 20, 0",    "m_color, C, 8, 0",
                                               "m_onhand, N, 4, 0",   "m_location, C, 20, 0"};

std::vector<TableDeclaration> BuildDeclarations() {
  std::vector<TableDeclaration> d;
  d.push_back({"manthread", "mnthread.svx",
               {"t_company, C, 12, 0", "t_type, C, 12, 0", "t_name, C, 20, 0", "t_color, C, 8, 0",
                "t_red, N, 3, 0", "t_green, N, 3, 0", "t_blue, N, 3, 0"},
               Tags({{"MNCOMP", "t_company"},
                     {"MNCOCOL", "t_company + t_color"},
                     {"MNRED", "str(t_red)"},
                     {"MNCOLOR", "t_color"},
                     {"MNNAME", "t_name"},
                     {"MNALL", "t_company + t_type + t_color"}}),
               ciAlways});
  d.push_back({"results", "results.svx", Join({kResultFields, {"colorchip, C, 6, 0"}}),
               Tags({{"RESPERC", "t_company + t_color + str(r_match,3) + r_color"}}), ciAlways});
  d.push_back({"ownspool", "ownspool.svx", kStashFields,
               Tags({{"MCO", "m_company + m_color"},
                     {"MTY", "m_type"},
                     {"MCOLOR", "m_color"},
                     {"MLOC", "m_location"},
                     {"MALL", "m_company + m_color"},
                     {"MCOTY", "m_company + m_type"},
                     {"MCOALL", "m_company + m_type + m_color"}}),
               ciAlways});
  d.push_back(
      {"params", "params.svx",
       Join({{"perc_limit, N, 3, 0", "fullpage, C, 65, 0", "bias, N, 1, 0", "r_bias, N, 3, 0",
              "g_bias, N, 3, 0", "b_bias, N, 3, 0", "p_color1, N, 10, 0", "p_color2, N, 10, 0",
              "ghf_color, N, 10, 0", "gf_color, N, 10, 0", "gb_color, N, 10, 0",
              "clear_flag, L, 1, 0", "clearkeep, N, 1, 0", "stashonly, L, 1, 0"},
             Logicals({"anc_floss", "angel",     "arcall",    "arcmetal",  "arcpoly",
                       "arcrayon",  "brildor",   "brilac",    "brilco",    "brilmf",
                       "brilny",    "brilpb",    "brother",   "ccall",     "ccrayon",
                       "ccpoly",    "ccalcazar", "ccsylko",   "dmcall",    "dmcfloss",
                       "dmcme",     "dmcrayon",  "echidna",   "fufuall",   "fufurayon",
                       "fufupoly",  "gunold",    "isafil",    "isacord",   "isalon",
                       "janome",    "jpcoats",   "kingusall", "kingusmet", "kingus1k",
                       "kingus5k",  "madall",    "madrayon",  "madpneon",  "maraall",
                       "marametal", "marapoly",  "mararayon", "metall",    "metemb",
                       "mettsilk",  "mettpoly",  "pantone",   "raall",     "radiant",
                       "rapoly",    "rarayon",   "rapos",     "royal",     "sulky",
                       "wonderfil", "wondpoly",  "wondrayon"}),
             {"show_qty, N, 1, 0"},
             Logicals({"ultima",    "specrayon", "pearayon",  "gutsewing", "gutrayon",
                       "valdani",   "amefird",   "aurall",    "aulana",    "aumako",
                       "aupoly",    "aurayon",   "megasheen", "salus",     "florall",
                       "florrayon", "florpoly",  "threadart", "admelody",  "colorful",
                       "tdelight",  "embroidex", "polyx",     "sulkypoly", "sulkyall",
                       "sulkycot",  "hworth",    "auroyal",   "alcjazz",   "madburm",
                       "princess",  "swist",     "tristall",  "tristply",  "tristray",
                       "vyapar",    "fatkat",    "abc",       "royalpoly", "hiloall",
                       "hilorayon", "hilopoly",  "kolors",    "outback",   "madaero",
                       "madfrost",  "dznsbysick", "ostra"})}),
       {},
       ciNotFound});
  d.push_back({"matches", "matches.svx", kResultFields,
               Tags({{"MATPERC",
                      "t_company + t_color + r_company + r_color + str(9999-r_match,4)"}}),
               ciAlways});
  d.push_back({"inthread", "inthread.svx",
               {"t_company, C, 12, 0", "t_type, C, 12, 0", "t_name, C, 20, 0", "t_color, C, 8, 0",
                "t_red, N, 3, 0", "t_green, N, 3, 0", "t_blue, N, 3, 0", "instash, L, 1, 0",
                "add_qty, L, 1, 0"},
               Tags({{"INCOL", "t_color"}, {"INCOMP", "t_company + t_color"}}), ciAlways});
  d.push_back({"picklist", "picklist.svx",
               {"t_company, C, 12, 0", "t_color, C, 8, 0", "r_company, C, 12, 0",
                "r_color, C, 8, 0", "r_match, N, 3, 0", "r_name, C, 20, 0", "r_inbox, L, 1, 0",
                "r_type, C, 12, 0", "r_location, C, 20, 0", "s_tcolor, N, 10, 0",
                "r_tcolor, N, 10, 0", "keeper, L, 1, 0", "refno, N, 6, 0", "r_stopno, N, 2, 0",
                "r_red, N, 3, 0", "r_green, N, 3, 0", "r_blue, N, 3, 0", "stops, C, 60, 0"},
               Tags({{"PLCOLOR", "r_color"}, {"PLSTOP", "r_stopno"}}), ciAlways});

  // The tables of the chart and export tools.
  d.push_back({"savehdr", "savehdr.dbf",
               {"refno, N, 6, 0", "chartname, C, 30, 0", "s_company, C, 12, 0",
                "r_company, C, 12, 0", "saved, D, 8, 0", "notes, C, 60, 0"},
               Tags({{"SHREF", "str(refno,6)"}}), ciAlways});
  d.push_back({"savedet", "savedet.dbf",
               {"refno, N, 6, 0", "t_company, C, 12, 0", "t_color, C, 8, 0",
                "r_company, C, 12, 0", "r_color, C, 8, 0", "r_match, N, 3, 0",
                "r_name, C, 20, 0", "r_tcolor, N, 10, 0"},
               Tags({{"SDREF", "str(refno,6) + t_color"}}), ciAlways});
  d.push_back({"export", "export.dbf",
               {"stopno, N, 3, 0", "r_company, C, 12, 0", "r_color, C, 8, 0", "r_name, C, 20, 0",
                "r_red, N, 3, 0", "r_green, N, 3, 0", "r_blue, N, 3, 0"},
               Tags({{"EXSTOP", "str(stopno,3)"}}), ciAlways});
  d.push_back({"batchdata", "batchdata.dbf",
               {"batchno, N, 4, 0", "s_company, C, 12, 0", "s_color, C, 8, 0", "s_red, N, 3, 0",
                "s_green, N, 3, 0", "s_blue, N, 3, 0"},
               Tags({{"BDNO", "str(batchno,4)"}}), ciAlways});
  d.push_back({"shoplist", "shoplist.dbf",
               {"m_company, C, 12, 0", "m_type, C, 12, 0", "m_name, C, 20, 0", "m_color, C, 8, 0",
                "qty, N, 4, 0", "ordered, L, 1, 0"},
               Tags({{"SLCOCOL", "m_company + m_color"}}), ciAlways});
  d.push_back({"missing", "missing.dbf", kStashFields,
               Tags({{"MICOCOL", "m_company + m_color"}}), ciAlways});
  return d;
}

}  // namespace

const std::vector<TableDeclaration>& ProgramTableDeclarations() {
  static const std::vector<TableDeclaration> declarations = BuildDeclarations();
  return declarations;
}

const TableDeclaration* FindTableDeclaration(const std::string& file_name) {
  size_t slash = file_name.find_last_of('/');
  std::string base = UpperText(slash == std::string::npos ? file_name : file_name.substr(slash + 1));
  for (const TableDeclaration& d : ProgramTableDeclarations()) {
    if (UpperText(d.file_name) == base) return &d;
  }
  return nullptr;
}

std::vector<DbfFieldSpec> FieldSpecsOf(const std::string& file_name) {
  std::vector<DbfFieldSpec> field_defs;
  if (const TableDeclaration* d = FindTableDeclaration(file_name)) {
    for (const std::string& line : d->fields) {
      DbfFieldSpec field_def;
      if (SplitFieldLine(line, field_def)) field_defs.push_back(field_def);
    }
  }
  return field_defs;
}

void DeclareTable(TTzDbf& table, const TableDeclaration& d) {
  table.TableLanguage = tlOem;
  table.HideDeletedRecs = true;
  table.AutoFixRecCount = true;
  table.CreateIndex = d.create_index;
  table.DbfFields = d.fields;
  table.SetIndexList(d.index_list);
  table.SetExclusive(true);
  table.SetDbfFileName(d.file_name);
}

ProgramTables::ProgramTables()
    : all_{&manthread, &results,  &ownspool, &params,    &matches,  &inthread, &picklist,
           &savehdr,   &savedet,  &export_,  &batchdata, &shoplist, &missing} {
  const auto& declarations = ProgramTableDeclarations();
  for (size_t i = 0; i < all_.size(); ++i) {
    all_[i]->SetLoading();
    DeclareTable(*all_[i], declarations[i]);
    all_[i]->SetActive(true);
  }
}

void ProgramTables::OpenAll() {
  for (TTzDbf* t : all_) t->Loaded();
}

void ProgramTables::CloseAll() {
  for (TTzDbf* t : all_) t->SetActive(false);
}

}  // namespace sv
