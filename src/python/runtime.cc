#include "runtime.h"

namespace kelvorin::python {

RuntimeObjects g_runtime;

namespace {

// Runs at the end of Py_FinalizeEx, when no Python object may be touched any
// more: the references are dropped, not released.
void forget() {
  g_runtime.module.forget();
  g_runtime.kelvorin.forget();
  g_runtime.measurement_result.forget();
  g_runtime.axis.forget();
  g_runtime.outcome.forget();
  g_runtime.panic_exception.forget();
  g_runtime.interpreter_id.store(-1);
  g_runtime.forget_registered = false;
}

}  // namespace

bool forget_runtime_objects_at_finalization() noexcept {
  // At most 32 functions can be registered per runtime; the slots are free
  // again once it is finalised.
  if (!g_runtime.forget_registered) g_runtime.forget_registered = Py_AtExit(forget) == 0;
  return g_runtime.forget_registered;
}

}  // namespace kelvorin::python
