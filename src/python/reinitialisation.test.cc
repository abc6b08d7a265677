// An application embedding Python may finalise the interpreter and start a
// new one in the same process.  Each runtime must get a working module of its
// own: the classes, the simulators and PanicException all usable, and the
// module object the same one for every import within a runtime.
//
// The module forgets its objects at the end of a runtime through Py_AtExit;
// in a runtime where the application has taken every slot, the import is
// refused with ImportError, and the next runtime still gets a working module.
//
// Run by CTest with PYTHONPATH naming the directory of the built module.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdio>

namespace {

constexpr const char kScript[] = R"(
import sys
import kelvorin
s = kelvorin.Kelvorin(3)
s.h(0)
s.cx(0, 1)
s.cx(control=1, target=2)
assert s.get_entangled_group(0) == {0, 1, 2}
a = s.measure_z(0)
assert isinstance(a, kelvorin.MeasurementResult)
assert s.measure_z(2) == a
assert {int(o.axis) for o in s.peek_measure_set({0, 1, 2}).values()} == {2}
try:
    s.h(7)
except BaseException as e:
    assert type(e).__qualname__ == "PanicException", repr(e)
else:
    raise AssertionError("no PanicException")
module = sys.modules.pop("kelvorin")
import kelvorin as again
assert again is module
)";

constexpr const char kRefusedScript[] = R"(
for attempt in range(2):
    try:
        import kelvorin
    except ImportError as e:
        assert "no Py_AtExit slot left" in str(e), str(e)
    else:
        raise AssertionError("imported with every Py_AtExit slot taken")
)";

void nothing() {}

}  // namespace

int main() {
  // The runtime of round 1 has no Py_AtExit slot left for the module.
  for (int round = 0; round < 4; ++round) {
    Py_Initialize();
    int taken = 0;
    if (round == 1) {
      while (Py_AtExit(nothing) == 0) ++taken;
    }
    if (PyRun_SimpleString(round == 1 ? kRefusedScript : kScript) != 0) {
      std::fprintf(stderr, "round %d failed\n", round);
      return 1;
    }
    if (Py_FinalizeEx() < 0) return 1;
    if (round == 1) std::printf("round 1: the application took the last %d Py_AtExit slots\n", taken);
  }
  std::puts("four runtimes: three with a working module, one that refused the import");
  return 0;
}
