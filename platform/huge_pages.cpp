// Large memory blocks backed by huge pages, for the window program.
#include "platform/huge_pages.h"

#include <sys/mman.h>

namespace quorvane {

AddressRange WholeHugePages(std::uintptr_t begin, std::size_t size) {
  if (size > UINTPTR_MAX - begin) return {};
  const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (begin + size) & ~(kHugePage - 1);
  if (first >= last) return {};
  return {first, last};
}

void AdviseHugePages(void* data, std::size_t size) {
#if defined(MADV_HUGEPAGE)
  if (data == nullptr || size < kHugePageBlock) return;
  const AddressRange range = WholeHugePages(reinterpret_cast<std::uintptr_t>(data), size);
  if (range.begin == range.end) return;
  // A refusal (no huge pages on this system) leaves the block as it was.
  madvise(reinterpret_cast<void*>(range.begin), range.end - range.begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

}  // namespace quorvane
