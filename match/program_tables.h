// The program's tables, declared in one place: file names, fields, tags,
// index modes and settings. The main window owns one ProgramTables for the
// life of the program; tools use the same declarations.
#ifndef SV_MATCH_PROGRAM_TABLES_H_
#define SV_MATCH_PROGRAM_TABLES_H_

#include <string>
#include <vector>

#include "engine/table_component.h"

namespace sv {

struct TableDeclaration {
  std::string component;  // also the alias (first 10 characters, upper case)
  std::string file_name;  // a bare name: the file lies in the working folder
  std::vector<std::string> fields;      // DbfFields lines
  std::vector<std::string> index_list;  // IndexList lines, two per tag
  TCreateIndex create_index;
};

// Every table in the order the main window opens them.
const std::vector<TableDeclaration>& ProgramTableDeclarations();
// The declaration of a file name (letter case and folder ignored), or nullptr.
const TableDeclaration* FindTableDeclaration(const std::string& file_name);

// Applies a declaration and the settings every table of the program shares:
// OEM text, deleted records hidden, exclusive use, record-count repair.
void DeclareTable(TTzDbf& table, const TableDeclaration& declaration);

class ProgramTables {
 public:
  ProgramTables();
  ProgramTables(const ProgramTables&) = delete;
  ProgramTables& operator=(const ProgramTables&) = delete;

  // Activates every table in declaration order.
  void OpenAll();
  void CloseAll();
  const std::vector<TTzDbf*>& All() const { return all_; }

  TTzDbf manthread{"manthread"};
  TTzDbf results{"results"};
  TTzDbf ownspool{"ownspool"};
  TTzDbf params{"params"};
  TTzDbf matches{"matches"};
  TTzDbf inthread{"inthread"};
  TTzDbf picklist{"picklist"};
  TTzDbf savehdr{"savehdr"};
  TTzDbf savedet{"savedet"};
  TTzDbf export_{"export"};
  TTzDbf batchdata{"batchdata"};
  TTzDbf shoplist{"shoplist"};
  TTzDbf missing{"missing"};

 private:
  std::vector<TTzDbf*> all_;
};

}  // namespace sv

#endif  // SV_MATCH_PROGRAM_TABLES_H_
