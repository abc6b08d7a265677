#include "runtime.h"

namespace kelvorin::python {

RuntimeObjects g_runtime;

namespace {

// Runs at the end of Py_FinalizeEx, when no Python object may be touched any
// more: the references are dropped, not released.
void forget() {
  g_runtime.module = nullptr;
  g_runtime.kelvorin = nullptr;
  g_runtime.measurement_result = nullptr;
  g_runtime.axis = nullptr;
  g_runtime.outcome = nullptr;
  g_runtime.panic_exception = nullptr;
  g_runtime.interpreter_id.store(-1);
}

}  // namespace

void forget_runtime_objects_at_finalization() noexcept {
  // At most 32 functions can be registered; when the embedding application
  // has taken them all, a later runtime of this process would be handed the
  // old module, as before this existed.  Nothing else is lost.
  (void)Py_AtExit(forget);
}

}  // namespace kelvorin::python
