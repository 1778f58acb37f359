// Large memory blocks backed by huge pages, for the window program.
//
// The editor control keeps a whole text, and its styles, in blocks as large as the text, which
// it allocates and clears in one go when a pane takes a text. Backed by 4 KiB pages, each page
// of such a block costs a page fault on first touch; on a virtual machine, clearing the two
// blocks for a 47 MB text took half as long as the editor's whole work on the text. The window program
// therefore links a replacement of the global operator new (huge_page_new.cpp) that asks the
// system to back the large blocks with transparent huge pages. It is a hint: where the system
// has none to give, or gives them to everyone anyway, nothing changes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvane {

// Blocks from this size on get the hint; smaller ones are left as the allocator makes them.
// malloc maps every block this large on its own and unmaps it when freed, so the hint never
// covers a part of its heap that later holds small blocks. (Blocks of 4 MiB and more were
// tried too: the editor's line tables, grown step by step, then got slower to build.)
inline constexpr std::size_t kHugePageBlock = std::size_t{32} << 20;
inline constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;

struct AddressRange {
  std::uintptr_t begin = 0;
  std::uintptr_t end = 0;  // begin == end: nothing
};

// The whole huge pages inside the block of `size` bytes at `begin`: the hint may only cover
// memory the block owns, so partial pages at either end are left out.
AddressRange WholeHugePages(std::uintptr_t begin, std::size_t size);

// Gives the hint for the block at `data` when it is large enough; errors are ignored.
void AdviseHugePages(void* data, std::size_t size);

}  // namespace quorvane
