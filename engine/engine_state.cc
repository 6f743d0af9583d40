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
  SetDateForm(DateFormFromPattern(facts.short_date_format, facts.date_separator));
  InstallModuleHooks();
}

}  // namespace sv
