// Large arrays that the triangulation may read at random. With 4 KiB pages a random read into a
// buffer of hundreds of megabytes misses the TLB almost every time, so such arrays can be aligned
// to 2 MiB and the kernel asked to back them with huge pages where it supports that. Huge pages
// cost more to fault in, though, which does not pay when the reads stay local.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <type_traits>

#if defined(__linux__)
#include <sys/mman.h>
#endif

struct TINfreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

template <class T>
using TINhugeArray = std::unique_ptr<T[], TINfreeDeleter>;

// n uninitialised elements, or null when the memory is not available; on huge pages if `huge`.
template <class T>
TINhugeArray<T> tin_allocate_huge(size_t n, bool huge = true) {
  static_assert(std::is_trivially_default_constructible_v<T> && std::is_trivially_destructible_v<T>);
  constexpr size_t kHuge = size_t{2} << 20;
  if (n > (SIZE_MAX - kHuge) / sizeof(T)) return nullptr;
  const size_t bytes = n * sizeof(T);
  const size_t rounded = (bytes + kHuge - 1) / kHuge * kHuge;
  // Below one huge page the alignment would only waste memory.
  void* p = rounded > kHuge ? std::aligned_alloc(kHuge, rounded) : std::malloc(bytes > 0 ? bytes : 1);
  if (p == nullptr) return nullptr;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (huge && rounded > kHuge) madvise(p, rounded, MADV_HUGEPAGE);  // advice only: failure changes nothing
#endif
  return TINhugeArray<T>(static_cast<T*>(p));
}
