#include "engine/engine_state.h"

#include "engine/dates.h"
#include "engine/hooks.h"
#include "support/locale.h"

namespace sv {

EngineSwitches& Switches() {
  static EngineSwitches switches;
  return switches;
}

void EngineStartup() {
  LocaleFacts facts = CurrentLocaleFacts();
  SetDecimalSeparator(facts.decimal_separator);
  SetThousandsSeparator(facts.thousands_separator);
  DateForm form = DateFormFromPattern(facts.short_date_format, facts.date_separator);
  SetDateForm(form);
  std::string pattern = PatternOfForm(form);
  SetShortDateFormat(pattern, pattern[pattern.find_first_not_of("dMy")]);
  InstallModuleHooks();
}

}  // namespace sv
