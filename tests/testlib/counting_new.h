// Replaces the global operator new and delete with versions that count
// allocations, for the tests and benchmarks that check a hot path allocates
// nothing. Include it in exactly one source file of a program.
#ifndef SV_TESTS_TESTLIB_COUNTING_NEW_H_
#define SV_TESTS_TESTLIB_COUNTING_NEW_H_

#include <cstdlib>
#include <new>

namespace svtest {
inline long g_allocations = 0;
}  // namespace svtest

// Kept out of line: inlined into a caller, the compiler pairs the malloc
// and free it sees and warns of a mismatch.
[[gnu::noinline]] void* operator new(std::size_t n) {
  ++svtest::g_allocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new[](std::size_t n) { return operator new(n); }
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

#endif  // SV_TESTS_TESTLIB_COUNTING_NEW_H_
