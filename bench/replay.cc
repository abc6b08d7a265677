// Replays an operation list shot by shot through kelvorin::Simulator, a fresh
// simulator per shot, and prints the seconds per shot; an untimed pass
// before it estimates the memory the shot's reductions touch.
//
//   kelvorin_replay OPS_FILE [--shots N] [--rounds R] [--warmup W] [--seed S]
//                   [--analysis-shots A] [--no-analysis] [--json]
//
// OPS_FILE is written by `python3.14 bench/qec.py TASK DISTANCE --write-ops
// FILE`: a header line `kelvorin-ops 1 QUBITS COUNT`, then one operation a
// line, each already one of the simulator's calls or a reset:
//
//   h Q | sdag Q | cx C T | mz Q | mx Q | my Q
//   rz Q   measure Z, then x(Q) on the outcome -1 (a reset to |0>)
//   rx Q   measure X, then z(Q) on the outcome -1 (a reset to |+>)
//
// The outcomes come from a RandomSource keyed by the seed S (default 1),
// made afresh for every block of shots: every block, in every process and
// against every engine that draws as this one does, replays the same
// sequence of shots, so blocks differ only in how fast they run (a
// circuit's cost depends on its random outcomes).
//
// Timing: W untimed shots (default 1), then R rounds (default 5) of N shots
// each (N = 0, the default: as many as take about 0.2 s, from the first
// warm-up shot).  Reported: the best round's mean and the median round's
// mean in wall time, and the best round's mean in the thread's CPU time
// (which leaves out the time other processes on a shared machine hold the
// core).  Only the shots are timed: reading the file, the analysis and the
// line-cost measurement come before them.  For a profile (callgrind, perf),
// `--shots 1 --rounds 1 --warmup 0 --no-analysis` runs the circuit exactly
// once after reading it (reading a large file costs as much as a few small
// shots: see run_shot for collecting the shots alone).
//
// The analysis runs the first A shots of the same sequence (default 3) and
// reports their mean per shot.  It applies each `cx` as the engine does (h
// on the target, cz, h on the target), so the store goes through the same
// states, and reads the read-only store just before each controlled-Z: a
// qubit v of the pair (a, b) is reduced when VOP(v) is not the identity and
// v has a neighbour besides the other qubit.
//  - Whether a gate reduces at all is exact: the first reduction (of a) is
//    decided on this store, and so is the second (of b) when the first does
//    not happen.
//  - The memory a reduction of v touches is an estimate: the member rows of
//    v and of its swapping partner p (the lowest neighbour of v other than
//    the gate's other qubit), deg(v) + deg(p) rows of blocks_per_row() * 4
//    bytes, and the cache lines those rows span at their addresses in the
//    store.  Both reductions of a gate are read off the store before the
//    first (the second one's rows may change in between), and the engine's
//    occasional third reduction, of a again, is not counted.
//  - The floor is those lines times the measured cost of rewriting one line:
//    one row XORed into each of 65536 rows drawn at random from a buffer
//    laid out as the store's rows (same row bytes, same working set, the
//    same offset of the first row from a line), best of 25 passes, divided
//    by the lines those rows span.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <new>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <kelvorin/simulator.h>

namespace {

using kelvorin::Qubit;
using kelvorin::Simulator;
using Clock = std::chrono::steady_clock;

enum class Kind : std::uint8_t { H, Sdag, Cx, Mz, Mx, My, Rz, Rx };
// The name of each kind in an operation file, in the order of Kind.
constexpr std::string_view kKindNames[] = {"h", "sdag", "cx", "mz", "mx", "my", "rz", "rx"};

struct Step {
  Kind kind;
  std::uint32_t a;
  std::uint32_t b;
};

struct Circuit {
  Qubit qubits = 0;
  std::vector<Step> steps;
};

[[noreturn]] void fail(const std::string& message) {
  std::cerr << "kelvorin_replay: " << message << "\n";
  std::exit(2);
}

Circuit read_circuit(const std::string& path) {
  std::ifstream in(path);
  if (!in) fail("cannot open " + path);
  std::string magic;
  int version = 0;
  std::uint64_t qubits = 0, count = 0;
  if (!(in >> magic >> version >> qubits >> count) || magic != "kelvorin-ops" || version != 1)
    fail(path + ": not a `kelvorin-ops 1 QUBITS COUNT` file");
  Circuit c;
  c.qubits = qubits;
  c.steps.reserve(count);
  std::string name;
  while (in >> name) {
    Step s{};
    const auto known = std::find(std::begin(kKindNames), std::end(kKindNames), name);
    if (known == std::end(kKindNames)) fail(path + ": unknown operation `" + name + "`");
    s.kind = static_cast<Kind>(known - std::begin(kKindNames));
    if (!(in >> s.a)) fail(path + ": operation `" + name + "` without its qubit");
    if (s.kind == Kind::Cx && !(in >> s.b)) fail(path + ": cx without its target");
    if (s.a >= qubits || (s.kind == Kind::Cx && s.b >= qubits)) fail(path + ": qubit out of range");
    c.steps.push_back(s);
  }
  if (c.steps.size() != count) fail(path + ": the header's count does not match the operations");
  return c;
}

// The source every block of shots starts from.
kelvorin::RandomSource seeded_source(std::uint64_t seed) {
  kelvorin::chacha::KeyBytes key{};
  for (std::size_t i = 0; i < 8; ++i) key[i] = static_cast<std::uint8_t>(seed >> (8 * i));
  return kelvorin::RandomSource(kelvorin::fixed_key(key));
}

// Plays the circuit's steps on `sim`, each cx through `cx(a, b)`; returns the
// parity of the outcomes, so that nothing can be left out.
template <class Cx>
unsigned play(const Circuit& c, Simulator& sim, kelvorin::RandomSource& source, Cx&& cx) {
  using kelvorin::MeasurementResult;
  namespace axis = kelvorin::axis;
  unsigned parity = 0;
  const auto minus = [&](MeasurementResult r) {
    const bool m = r == MeasurementResult::MinusOne;
    parity ^= m ? 1u : 0u;
    return m;
  };
  for (const Step& s : c.steps) {
    switch (s.kind) {
      case Kind::H:
        sim.h(s.a);
        break;
      case Kind::Sdag:
        sim.sdag(s.a);
        break;
      case Kind::Cx:
        cx(s.a, s.b);
        break;
      case Kind::Mz:
        minus(sim.measure(s.a, axis::Z, source));
        break;
      case Kind::Mx:
        minus(sim.measure(s.a, axis::X, source));
        break;
      case Kind::My:
        minus(sim.measure(s.a, axis::Y, source));
        break;
      case Kind::Rz:
        if (minus(sim.measure(s.a, axis::Z, source))) sim.x(s.a);
        break;
      case Kind::Rx:
        if (minus(sim.measure(s.a, axis::X, source))) sim.z(s.a);
        break;
    }
  }
  return parity;
}

// One timed shot on `sim`.  Never inlined, so that a profiler can collect
// only the shots: callgrind's --collect-atstart=no --toggle-collect='*run_shot*'.
[[gnu::noinline]] unsigned run_shot(const Circuit& c, Simulator& sim, kelvorin::RandomSource& source) {
  return play(c, sim, source, [&](Qubit a, Qubit b) { sim.cx(a, b); });
}

// ---- The untimed analysis ----

struct Analysis {
  std::uint64_t two_qubit_gates = 0;  // sums over the analysed shots
  std::uint64_t reducing_gates = 0;   // gates with at least one reduction
  std::uint64_t reductions = 0;       // reductions (one gate may have two)
  std::uint64_t member_rows = 0;      // deg(v) + deg(partner), summed
  std::uint64_t lines = 0;            // cache lines those rows span
  std::size_t row_bytes = 0;
  std::size_t row_offset = 0;  // the first row's address modulo a cache line
};

constexpr std::uintptr_t kLine = 64;

// The cache lines the bytes [p, p + bytes) span.
std::uint64_t lines_spanned(const void* p, std::size_t bytes) {
  const auto first = reinterpret_cast<std::uintptr_t>(p);
  return (first + bytes - 1) / kLine - first / kLine + 1;
}

// Adds the estimate for reducing v (paired with `other`) to `out`, when the
// store before the controlled-Z reduces it.
bool count_reduction(const kelvorin::GraphState& g, Qubit v, Qubit other, Analysis& out) {
  const auto row = g.adjacent(v);
  if (!row.has_member_other_than(other) || g.vop(v) == kelvorin::vop::I) return false;
  const Qubit partner = row.first_other_than(other);
  const std::size_t bytes = out.row_bytes;
  ++out.reductions;
  for (Qubit end : {v, partner}) {
    const auto members = g.adjacent(end);
    out.member_rows += members.count();
    members.for_each([&](Qubit m) { out.lines += lines_spanned(g.adjacent(m).blocks(), bytes); });
  }
  return true;
}

void analyse_shot(const Circuit& c, kelvorin::RandomSource& source, Analysis& out) {
  Simulator sim(c.qubits);
  const kelvorin::GraphState& g = sim.state();
  out.row_bytes = g.blocks_per_row() * sizeof(kelvorin::Block);
  out.row_offset = static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(g.adjacent(0).blocks()) % kLine);
  play(c, sim, source, [&](Qubit a, Qubit b) {
    ++out.two_qubit_gates;
    sim.h(b);  // cx's basis change, as the engine makes it
    bool reduces = count_reduction(g, a, b, out);
    reduces = count_reduction(g, b, a, out) || reduces;
    if (reduces) ++out.reducing_gates;
    sim.cz(a, b);
    sim.h(b);
  });
}

// Nanoseconds to rewrite one cache line of a row: one row XORed into rows
// drawn at random from a buffer of `rows` rows of `row_bytes` bytes laid
// out back to back from `offset` bytes past a line (the store's working set
// and layout), per line those rows span; the best of 25 passes.
double line_rewrite_ns(std::size_t rows, std::size_t row_bytes, std::size_t offset) {
  rows = std::max<std::size_t>(rows, 2);
  const std::size_t words = row_bytes / sizeof(std::uint32_t);
  const std::size_t total = rows * words;
  auto* memory =
      static_cast<std::uint32_t*>(::operator new(total * sizeof(std::uint32_t) + kLine, std::align_val_t{kLine}));
  std::unique_ptr<std::uint32_t, void (*)(std::uint32_t*)> owner(
      memory, [](std::uint32_t* p) { ::operator delete(p, std::align_val_t{kLine}); });
  std::uint32_t* const buffer = memory + offset / sizeof(std::uint32_t);
  std::mt19937_64 rng(18);
  for (std::size_t i = 0; i < total; ++i) buffer[i] = static_cast<std::uint32_t>(rng());
  std::vector<std::uint32_t> source(words);
  for (auto& w : source) w = static_cast<std::uint32_t>(rng());
  std::vector<std::size_t> order(1 << 16);
  std::uint64_t lines = 0;
  for (auto& r : order) {
    r = 1 + static_cast<std::size_t>(rng() % (rows - 1));
    lines += lines_spanned(buffer + r * words, row_bytes);
  }
  const auto pass = [&] {
    for (std::size_t r : order) {
      std::uint32_t* row = buffer + r * words;
      std::size_t w = 0;
      for (; w + 2 <= words; w += 2) {
        std::uint64_t x, y;
        std::memcpy(&x, row + w, 8);
        std::memcpy(&y, source.data() + w, 8);
        x ^= y;
        std::memcpy(row + w, &x, 8);
      }
      if (w < words) row[w] ^= source[w];
    }
  };
  pass();  // warm
  double best = 1e300;
  for (int round = 0; round < 25; ++round) {
    const auto t0 = Clock::now();
    pass();
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
    best = std::min(best, ns / static_cast<double>(lines));
  }
  volatile std::uint32_t sink = buffer[order[0] * words];
  (void)sink;
  return best;
}

constexpr const char* kUsage =
    "usage: kelvorin_replay OPS_FILE [--shots N] [--rounds R] [--warmup W] [--seed S] [--analysis-shots A] "
    "[--no-analysis] [--json]";

struct Options {
  std::string path;
  long shots = 0;
  long rounds = 5;
  long warmup = 1;
  long analysis_shots = 3;
  std::uint64_t seed = 1;
  bool analysis = true;
  bool json = false;
};

Options parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto number = [&] {
      if (i + 1 >= argc) fail(arg + " needs a number");
      return std::stol(argv[++i]);
    };
    if (arg == "--shots")
      o.shots = number();
    else if (arg == "--rounds")
      o.rounds = std::max(1L, number());
    else if (arg == "--warmup")
      o.warmup = std::max(0L, number());
    else if (arg == "--seed")
      o.seed = static_cast<std::uint64_t>(number());
    else if (arg == "--analysis-shots")
      o.analysis_shots = std::max(1L, number());
    else if (arg == "--no-analysis")
      o.analysis = false;
    else if (arg == "--json")
      o.json = true;
    else if (arg == "-h" || arg == "--help") {
      std::cout << kUsage << "\n";
      std::exit(0);
    } else if (o.path.empty() && arg[0] != '-')
      o.path = arg;
    else
      fail("unknown argument " + arg);
  }
  if (o.path.empty()) fail(kUsage);
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = parse(argc, argv);
  const Circuit c = read_circuit(o.path);

  // The analysis's sums over its shots, then per shot.
  Analysis a;
  double line_ns = 0;
  if (o.analysis) {
    kelvorin::RandomSource source = seeded_source(o.seed);
    for (long k = 0; k < o.analysis_shots; ++k) analyse_shot(c, source, a);
    line_ns = line_rewrite_ns(static_cast<std::size_t>(c.qubits), a.row_bytes, a.row_offset);
  }
  const double per_shot = 1.0 / static_cast<double>(o.analysis_shots);
  const auto mean = [&](std::uint64_t total) { return static_cast<double>(total) * per_shot; };

  unsigned parity = 0;
  // Seconds per shot over `shots` shots, the block's sequence from its
  // start: wall time, and this thread's CPU time.
  struct Times {
    double wall, cpu;
  };
  const auto cpu_now = [] {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
  };
  const auto block = [&](long shots) {
    kelvorin::RandomSource source = seeded_source(o.seed);
    const double c0 = cpu_now();
    const auto t0 = Clock::now();
    for (long k = 0; k < shots; ++k) {
      Simulator sim(c.qubits);
      parity ^= run_shot(c, sim, source);
    }
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = cpu_now() - c0;
    return Times{wall / static_cast<double>(shots), cpu / static_cast<double>(shots)};
  };
  long shots = o.shots;
  double first = 0;
  for (long k = 0; k < o.warmup; ++k) {
    const double t = block(1).wall;
    if (k == 0) first = t;
  }
  if (shots <= 0) shots = std::max(1L, static_cast<long>(0.2 / std::max(1e-7, o.warmup > 0 ? first : block(1).wall)));
  std::vector<double> walls(static_cast<std::size_t>(o.rounds)), cpus(walls.size());
  for (std::size_t r = 0; r < walls.size(); ++r) {
    const Times t = block(shots);
    walls[r] = t.wall;
    cpus[r] = t.cpu;
  }
  std::sort(walls.begin(), walls.end());
  std::sort(cpus.begin(), cpus.end());
  const double best = walls[0], median = walls[walls.size() / 2], best_cpu = cpus[0];

  const double lines = mean(a.lines), rows = mean(a.member_rows), reductions = mean(a.reductions);
  const double floor_s = lines * line_ns * 1e-9;
  const double bytes = rows * static_cast<double>(a.row_bytes);
  if (o.json) {
    std::printf(
        "{\"qubits\": %llu, \"operations\": %zu, \"shots\": %ld, \"rounds\": %ld, \"seed\": %llu, "
        "\"seconds_per_shot\": %.9g, \"seconds_per_shot_median\": %.9g, \"cpu_seconds_per_shot\": %.9g",
        static_cast<unsigned long long>(c.qubits), c.steps.size(), shots, o.rounds,
        static_cast<unsigned long long>(o.seed), best, median, best_cpu);
    if (o.analysis)
      std::printf(
          ", \"analysis_shots\": %ld, \"two_qubit_gates\": %.6g, \"reducing_gates\": %.6g, \"reductions\": %.6g, "
          "\"member_rows\": %.6g, \"row_bytes\": %zu, \"row_offset\": %zu, \"reduction_bytes\": %.6g, "
          "\"reduction_lines\": %.6g, "
          "\"line_rewrite_ns\": %.4g, \"floor_seconds_per_shot\": %.6g",
          o.analysis_shots, mean(a.two_qubit_gates), mean(a.reducing_gates), reductions, rows, a.row_bytes,
          a.row_offset, bytes, lines, line_ns, floor_s);
    std::printf(", \"parity\": %u}\n", parity & 1u);
  } else {
    std::printf("%s: %llu qubits, %zu operations\n", o.path.c_str(), static_cast<unsigned long long>(c.qubits),
                c.steps.size());
    std::printf("seconds per shot: %.6g best, %.6g median, %.6g best CPU time (%ld rounds of %ld shots)\n", best,
                median, best_cpu, o.rounds, shots);
    if (o.analysis) {
      std::printf("per shot (mean of %ld): %.0f two-qubit gates, %.0f reduce (%.0f reductions)\n", o.analysis_shots,
                  mean(a.two_qubit_gates), mean(a.reducing_gates), reductions);
      const double per_reduction = reductions > 0 ? rows / reductions : 0;
      std::printf(
          "a reduction touches %.1f member rows of %zu bytes (%.0f bytes); %.0f bytes, %.0f lines per shot (rows start "
          "%zu bytes past a line)\n",
          per_reduction, a.row_bytes, per_reduction * static_cast<double>(a.row_bytes), bytes, lines, a.row_offset);
      std::printf("line rewrite %.3g ns: memory floor %.6g s per shot, %.3g of the best CPU time\n", line_ns, floor_s,
                  floor_s / best_cpu);
    }
  }
  return 0;
}
