// Every tuning constant of the engine, each with the measurement that chose
// it.  None of them changes a result: the store, the draws and the messages
// are the same whatever their values, only the time differs.
//
// "The error-correction circuits" are Stim's generated noiseless memory
// experiments replayed shot by shot; "the random circuits" are the random
// dense and sparse circuits of bench/workloads.py.  Instruction counts are
// from callgrind, so that they hold on a shared machine.
#pragma once

#include <cstddef>

namespace kelvorin::tuning {

// Rows of at most this many 32-bit blocks (four 64-byte cache lines: 2048
// qubits) keep no summaries, and a row XOR of more than one word leaves
// their degree stale rather than updating it (see short_row.h); a scan makes
// the row's one summary word on the spot.  Against one line (16 blocks),
// in instructions per shot of the error-correction circuits: rotated
// surface code d = 21 -45 %, unrotated d = 21 -59 %, color code (rows of
// one line either way) and repetition code unchanged; in time, the sparse
// workloads of 1000 qubits no slower (random_sparse 0.93, peek 0.88 of
// f8b7e9e).  An earlier trial of 64 blocks made those two 2.9x and 1.7x
// slower for the same instructions: the scan then tested every block with
// a branch, and its mispredictions were the difference (callgrind's branch
// simulation).  A summary word covers 64 blocks, so this is the most a
// made-on-the-spot word can cover.
inline constexpr std::size_t kUnsummarisedBlocks = 64;

// A reduction whose vertex and partner have at most this many neighbours
// together goes pair by pair from a list on the stack; beyond, a kind at a
// time (see reduction.cc).  On the error-correction and random circuits the
// kind sets win from about 16 neighbours.
inline constexpr std::size_t kReductionPairsMost = 16;

// Rows of at most this many blocks (2048 qubits, every short row) put a
// reduction's kind sets on the stack; longer rows use the store's scratch
// rows.  The stack sets read every block of the rows of v and p where
// scratch rows visit only the non-empty ones.  With rows of up to 64 blocks
// short, 64 against 32: unrotated surface code d = 21 (1681 qubits) -35 %
// instructions per shot; random circuits of 2000 qubits, whole process,
// random_dense -2.3 %, random_sparse +2.6 %.  (With summarised rows the
// stack had won up to about 32 blocks and lost from about 64.)
inline constexpr std::size_t kReductionStackBlocks = 64;

// Complementing the edges among at most this many vertices goes pair by pair
// from a list on the stack rather than a row at a time
// (complement_neighbourhood).  No measurement of its own is recorded: it
// dates from when rows first kept degrees and summaries, and a list of 64 is
// one 512-byte buffer on the stack.
inline constexpr std::size_t kComplementPairsMost = 64;

// flip_rows_against takes a set's blocks as one dense stretch when they span
// at most this many times as many blocks as are non-empty, else as a list of
// (block, word) pairs.  The stretch XORs two blocks a word with no index to
// read; the list pays an index and a summary update per block.  Chosen with
// the word-parallel complementation, no measurement of its own recorded.
inline constexpr std::size_t kDenseSpanFactor = 4;

// ... and goes a chunk at a time, each chunk to every member's row, so that
// the chunk stays in the first-level cache while the rows stream past: 1024
// blocks of a stretch (4 KiB) or 512 pairs of a list (4 KiB); chosen for
// that size, no measurement of its own recorded.
inline constexpr std::size_t kStretchChunkBlocks = 1024;
inline constexpr std::size_t kListChunkBlocks = 512;

// A peek's working copy (working_copy.h) takes its rows from a pool of the
// calling thread's, kept empty between calls so that a row costs the blocks
// it holds; after a call the pool keeps rows of at most this many bytes in
// all, so that one large peek does not hold memory for the thread's life.
// Chosen to hold a few hundred rows of a 10^4-qubit store; no measurement of
// its own recorded.
inline constexpr std::size_t kWorkingCopyKeptBytes = std::size_t{4} << 20;

}  // namespace kelvorin::tuning
