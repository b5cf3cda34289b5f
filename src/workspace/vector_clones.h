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

// For loops written with intrinsics or vectors of their own width, a function `nameAvx2`
// (target "avx2") beside `namePlain`: TALVENOR_WIDEST(name) is the one the processor can run,
// chosen once by the caller (keep it in a static). TALVENOR_PICK_IF(feature, fast, plain) is the
// same choice for any instruction set __builtin_cpu_supports names.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define TALVENOR_PICK_IF(feature, fast, plain) (__builtin_cpu_init(), __builtin_cpu_supports(feature) ? (fast) : (plain))
#endif
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define TALVENOR_AVX2_COPIES 1
#define TALVENOR_WIDEST(name) TALVENOR_PICK_IF("avx2", name##Avx2, name##Plain)
#else
#define TALVENOR_AVX2_COPIES 0
#define TALVENOR_WIDEST(name) name##Plain
#endif
