#include "cpu.h"

namespace kelvorin {

// Every x86-64 instruction set the compiler may have been told to use (by
// -mpopcnt, or by -march for a particular CPU), from the macro it defines
// then.  SSE and SSE2 are part of x86-64 itself.  This function itself uses
// none of them, so it runs on any CPU.
const char* missing_instruction_set() noexcept {
#if defined(__x86_64__) && defined(__GNUC__)
  __builtin_cpu_init();
#if defined(__POPCNT__)
  if (!__builtin_cpu_supports("popcnt")) return "POPCNT";
#endif
#if defined(__SSE3__)
  if (!__builtin_cpu_supports("sse3")) return "SSE3";
#endif
#if defined(__SSSE3__)
  if (!__builtin_cpu_supports("ssse3")) return "SSSE3";
#endif
#if defined(__SSE4_1__)
  if (!__builtin_cpu_supports("sse4.1")) return "SSE4.1";
#endif
#if defined(__SSE4_2__)
  if (!__builtin_cpu_supports("sse4.2")) return "SSE4.2";
#endif
#if defined(__AVX__)
  if (!__builtin_cpu_supports("avx")) return "AVX";
#endif
#if defined(__AVX2__)
  if (!__builtin_cpu_supports("avx2")) return "AVX2";
#endif
#if defined(__BMI__)
  if (!__builtin_cpu_supports("bmi")) return "BMI1";
#endif
#if defined(__BMI2__)
  if (!__builtin_cpu_supports("bmi2")) return "BMI2";
#endif
#if defined(__FMA__)
  if (!__builtin_cpu_supports("fma")) return "FMA";
#endif
#if defined(__AVX512F__)
  if (!__builtin_cpu_supports("avx512f")) return "AVX-512F";
#endif
#endif
  return nullptr;
}

}  // namespace kelvorin
