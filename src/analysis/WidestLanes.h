#pragma once

// The lanes' arithmetic is the same IEEE operations at any width (no contraction into fused
// multiply-adds, see the build), so where the loader picks a version by the CPU, a wider one
// gives the same values in fewer instructions.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__ELF__)
#define ZUVEMO_WIDEST_LANES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define ZUVEMO_WIDEST_LANES
#endif
