#include "panic_exception.h"

#include <cstring>
#include <string>

#include "ref.h"
#include "runtime.h"

namespace kelvorin::python {
namespace {

constexpr const char kPanicDoc[] =
    "Raised when the native code of the extension fails fatally.\n"
    "\n"
    "Like SystemExit, it derives from BaseException rather than Exception, so\n"
    "that it typically propagates all the way up and ends the interpreter.";

}  // namespace

PyObject* panic_exception_type() {
  // On failure (memory exhausted) the error stays set and the next need
  // tries again.
  return g_runtime.panic_exception.get_or_make([] {
    return PyErr_NewExceptionWithDoc("orvane_runtime.PanicException", kPanicDoc, PyExc_BaseException, nullptr);
  });
}

PyObject* panic_exception_type_if_created() noexcept {
  return g_runtime.panic_exception.get();
}

void set_panic_exception(const char* message) noexcept {
  PyObject* type = panic_exception_type();
  if (type == nullptr) return;  // the failure to create it (MemoryError) is set
  PyObject* text = PyUnicode_DecodeUTF8(message, static_cast<Py_ssize_t>(std::strlen(message)), "replace");
  if (text == nullptr) return;  // MemoryError is set
  PyObject* exc = PyObject_CallOneArg(type, text);
  Py_DECREF(text);
  if (exc == nullptr) return;
  PyErr_SetRaisedException(exc);
}

void abort_at_boundary() noexcept {
  std::fputs("uncaught panic at ffi boundary\n", stderr);
  std::fflush(stderr);
  std::abort();
}

void resume_python_panic() {
  PyObject* type = g_runtime.panic_exception.get();
  if (type == nullptr || !PyErr_ExceptionMatches(type)) return;
  // Owned, so that a failure to copy the text (std::bad_alloc) releases the
  // exception, and with it its traceback and the objects that the traceback
  // holds.
  const Ref exc(PyErr_GetRaisedException());
  std::string text;
  if (const Ref s{PyObject_Str(exc.get())}) {
    Py_ssize_t size = 0;
    if (const char* utf8 = PyUnicode_AsUTF8AndSize(s.get(), &size)) text.assign(utf8, static_cast<std::size_t>(size));
  }
  PyErr_Clear();
  std::fputs(
      "kelvorin: a PanicException raised by Python code that the extension called is "
      "resumed as a fatal error.\nPython traceback:\n",
      stderr);
  PyErr_DisplayException(exc.get());
  throw Panic(std::move(text));
}

}  // namespace kelvorin::python
