#include "render/guarded_heap.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

#ifndef __has_feature
#define __has_feature(x) 0
#endif

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || __has_feature(address_sanitizer) || \
    __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define TALMORA_GUARDED_HEAP 0
#else
#define TALMORA_GUARDED_HEAP 1
#endif

namespace talmora::testing {
namespace {

// Address space only: pages are made usable one block at a time and never handed out twice,
// so a pointer inside it is always one of ours.
constexpr size_t kReserved = size_t{16} << 30;

std::atomic<int> guards{0};
std::atomic<size_t> used{0};
char* region = nullptr;
size_t page = 4096;

bool Ours(const void* p) { return region && p >= region && p < region + kReserved; }

// [usable pages ... block][untouchable page]; the block's start and length sit just before it.
void* Guarded(size_t n, size_t alignment) {
  const size_t rounded = (n + alignment - 1) / alignment * alignment;
  const size_t usable = (rounded + 2 * sizeof(size_t) + alignment + page - 1) / page * page;
  const size_t offset = used.fetch_add(usable + page);
  if (offset + usable + page > kReserved) return nullptr;
  char* start = region + offset;
  if (mprotect(start, usable, PROT_READ | PROT_WRITE) != 0) return nullptr;
  char* block = start + usable - rounded;
  reinterpret_cast<size_t*>(block)[-2] = offset;
  reinterpret_cast<size_t*>(block)[-1] = usable;
  return block;
}

void Release(void* p) {
  const size_t* header = static_cast<const size_t*>(p);
  char* start = region + header[-2];
  const size_t usable = header[-1];
  madvise(start, usable, MADV_DONTNEED);
  mprotect(start, usable, PROT_NONE);
}

// A fault in our pages says what it is before the process dies of it.
void OnFault(int, siginfo_t* info, void*) {
  if (Ours(info->si_addr)) {
    constexpr char kLine[] = "GuardedHeap: memory touched past the end of a block\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kLine, sizeof kLine - 1);
  }
  signal(SIGSEGV, SIG_DFL);  // the faulting access runs again, and ends the process
}

[[maybe_unused]] void* Allocate(size_t n, size_t alignment = 16) {
  if (guards.load() > 0) return Guarded(n, alignment);
  if (alignment > 16) return std::aligned_alloc(alignment, (std::max<size_t>(n, 1) + alignment - 1) / alignment * alignment);
  return std::malloc(n ? n : 1);
}

[[maybe_unused]] void Free(void* p) {
  if (Ours(p)) {
    Release(p);
  } else {
    std::free(p);
  }
}

}  // namespace

GuardedHeap::GuardedHeap() {
  if (!TALMORA_GUARDED_HEAP) return;
  if (!region) {
    page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* reserved = mmap(nullptr, kReserved, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (reserved == MAP_FAILED) return;
    region = static_cast<char*>(reserved);
    struct sigaction action {};
    action.sa_sigaction = OnFault;
    action.sa_flags = SA_SIGINFO;
    sigaction(SIGSEGV, &action, nullptr);
  }
  ++guards;
}

GuardedHeap::~GuardedHeap() {
  if (TALMORA_GUARDED_HEAP && region) --guards;
}

}  // namespace talmora::testing

#if TALMORA_GUARDED_HEAP
using talmora::testing::Allocate;
using talmora::testing::Free;

void* operator new(size_t n) {
  if (void* p = Allocate(n)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void operator delete(void* p) noexcept { Free(p); }
void operator delete[](void* p) noexcept { Free(p); }
void operator delete(void* p, size_t) noexcept { Free(p); }
void operator delete[](void* p, size_t) noexcept { Free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Free(p); }
void* operator new(size_t n, std::align_val_t a) {
  if (void* p = Allocate(n, static_cast<size_t>(a))) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t n, std::align_val_t a) { return operator new(n, a); }
void* operator new(size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
  return Allocate(n, static_cast<size_t>(a));
}
void* operator new[](size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
  return Allocate(n, static_cast<size_t>(a));
}
void operator delete(void* p, std::align_val_t) noexcept { Free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { Free(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { Free(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { Free(p); }
#endif
