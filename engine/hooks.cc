#include "engine/hooks.h"

#include "engine/expression.h"
#include "engine/index.h"

namespace sv {

ExpressionHooks& ExprHooks() {
  static ExpressionHooks hooks;
  return hooks;
}

IndexHooks& IdxHooks() {
  static IndexHooks hooks;
  return hooks;
}

void InstallModuleHooks() {
  InstallExpressionHooks();
  InstallIndexHooks();
}

}  // namespace sv
