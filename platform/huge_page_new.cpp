// The window program's global operator new: the standard one, plus the huge-page hint for
// large blocks (see huge_pages.h). Linked into the window program only, never into a library:
// a program replaces these functions as a whole or not at all.
//
// The memory comes from malloc and goes back with free, as with the standard library's own
// versions, so the array, nothrow and sized forms the library builds on these stay matched.
// Builds with a sanitizer keep the sanitizer's versions, which check every new against its
// delete.
#include <cstdlib>
#include <new>

#include "platform/huge_pages.h"

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)

void* operator new(std::size_t size) {
  if (size == 0) size = 1;
  for (;;) {
    if (void* block = std::malloc(size)) {
      quorvane::AdviseHugePages(block, size);
      return block;
    }
    const std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}

void operator delete(void* block) noexcept { std::free(block); }

void operator delete(void* block, std::size_t) noexcept { std::free(block); }

#endif
