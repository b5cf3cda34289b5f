#pragma once
// Marks a hot loop function to be compiled twice, for AVX2 and for the baseline x86-64, the
// processor picking its copy when the program starts: the build targets every x86-64, but the
// machines users run it on mostly have AVX2, which does eight floats a step instead of four.
// Only the width of the vector steps differs (no fused multiply-add), so both copies compute the
// same values in the same order and results do not depend on the processor.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define TALVENOR_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TALVENOR_VECTOR_CLONES
#endif
