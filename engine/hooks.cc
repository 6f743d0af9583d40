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
  // The expression and index modules add their installers here.
  InstallExpressionHooks();
  InstallIndexHooks();
}

}  // namespace sv
