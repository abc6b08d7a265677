// What the engine uses of the CPU beyond its architecture's baseline.
//
// Three paths are written for x86-64: the short-row scan's SSE2 compares
// (short_row.h), an AVX2 version of the reduction's row XOR picked at load time
// (reduction.cc, GCC only) and POPCNT for population counts (-mpopcnt, which
// CMake passes to every target that links the engine).  Each has a portable
// version in plain C++, which every other CPU compiles, and which the CMake
// option KELVORIN_PORTABLE (the macro of the same name) selects on x86-64
// too: for a CPU the project does not know, and so that one build on x86-64
// runs the code the others run.
#pragma once

#if defined(__SSE2__) && !defined(KELVORIN_PORTABLE)
#define KELVORIN_USE_SSE2 1
#endif

// A function with a version for AVX2 and one for any x86-64, chosen once
// when the program is loaded.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(KELVORIN_PORTABLE)
#define KELVORIN_AVX2_CLONES [[gnu::target_clones("avx2", "default")]]
#else
#define KELVORIN_AVX2_CLONES
#endif

namespace kelvorin {

// The first instruction set this build was compiled to use unconditionally
// that the running CPU lacks, by its usual name ("POPCNT"), or nullptr when
// the CPU has them all.  Code compiled for an instruction set the CPU lacks
// ends in an illegal instruction, so a program checks this before anything
// else of the engine runs; the Python module does it on import.
const char* missing_instruction_set() noexcept;

}  // namespace kelvorin
