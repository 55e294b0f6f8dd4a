#pragma once

// SELVIK_VECTOR_CLONES before a function with plain loops over arrays makes
// the compiler build it twice on x86-64, for AVX2 and for the baseline, and
// pick the one the processor runs at load time. Elsewhere it is nothing.
// The loops keep their results bit for bit: the project never lets the
// compiler fuse multiplies and adds or reorder floating-point sums, so a
// vector operation rounds exactly as the scalar one.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define SELVIK_VECTOR_CLONES __attribute__((target_clones("avx2", "default"), optimize("tree-vectorize")))
#elif defined(__x86_64__) && defined(__clang__)
#define SELVIK_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define SELVIK_VECTOR_CLONES
#endif
