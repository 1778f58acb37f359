#include "platform/huge_pages.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <vector>

namespace quorvane {
namespace {

constexpr std::uintptr_t k2M = kHugePage;

TEST(WholeHugePages, CoversOnlyPagesTheBlockOwnsWhole) {
  // Aligned at both ends: everything.
  AddressRange range = WholeHugePages(4 * k2M, 2 * k2M);
  EXPECT_EQ(range.begin, 4 * k2M);
  EXPECT_EQ(range.end, 6 * k2M);
  // A block as malloc hands it out, starting just past a page boundary: the partial page at
  // the front and the one at the back are left out.
  range = WholeHugePages(4 * k2M + 16, 3 * k2M);
  EXPECT_EQ(range.begin, 5 * k2M);
  EXPECT_EQ(range.end, 7 * k2M);
  // Ending one byte short of a boundary.
  range = WholeHugePages(4 * k2M, 2 * k2M - 1);
  EXPECT_EQ(range.begin, 4 * k2M);
  EXPECT_EQ(range.end, 5 * k2M);
}

TEST(WholeHugePages, NothingWhenNoWholePageFits) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{k2M - 1}}) {
    const AddressRange range = WholeHugePages(4 * k2M + 1, size);
    EXPECT_EQ(range.begin, range.end) << size;
  }
  // Straddling one boundary without holding a whole page on either side.
  const AddressRange range = WholeHugePages(5 * k2M - 100, k2M);
  EXPECT_EQ(range.begin, range.end);
  // A size that would run past the end of the address space.
  const AddressRange wrapped = WholeHugePages(UINTPTR_MAX - 10, 4 * k2M);
  EXPECT_EQ(wrapped.begin, wrapped.end);
}

TEST(AdviseHugePages, LeavesTheBlockUsable) {
  // The hint changes how memory is backed, never what it holds.
  const std::size_t size = kHugePageBlock + 3 * kHugePage + 123;
  std::unique_ptr<unsigned char[]> block(new unsigned char[size]);
  for (std::size_t i = 0; i < size; i += 4096) block[i] = static_cast<unsigned char>(i >> 12);
  AdviseHugePages(block.get(), size);
  AdviseHugePages(nullptr, size);
  AdviseHugePages(block.get(), 10);
  for (std::size_t i = 0; i < size; i += 4096) {
    ASSERT_EQ(block[i], static_cast<unsigned char>(i >> 12)) << i;
  }
}

// This test program links the window program's operator new; it must behave as the standard one.
int handlerCalls = 0;

TEST(HugePageNew, KeepsTheStandardContract) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizer's own operator new is in use";
#else
  // A size no system grants: the new-handler has its say until it gives up, then bad_alloc.
  handlerCalls = 0;
  const std::new_handler previous = std::set_new_handler([] {
    if (++handlerCalls == 3) std::set_new_handler(nullptr);
  });
  volatile std::size_t impossibleSize = SIZE_MAX / 4;  // kept from the compiler
  const std::size_t impossible = impossibleSize;
  EXPECT_THROW(static_cast<void>(::operator new(impossible)), std::bad_alloc);
  EXPECT_EQ(handlerCalls, 3);
  std::set_new_handler(previous);
  EXPECT_EQ(new (std::nothrow) char[impossible], nullptr);

  // Zero bytes still give distinct blocks; large ones are whole and writable.
  void* a = ::operator new(0);
  void* b = ::operator new(0);
  EXPECT_NE(a, nullptr);
  EXPECT_NE(a, b);
  ::operator delete(a);
  ::operator delete(b);
  std::vector<char> large(kHugePageBlock + 7, 'x');
  EXPECT_EQ(large.back(), 'x');
  large.assign(large.size(), 'y');
  EXPECT_EQ(large.front(), 'y');
#endif
}

}  // namespace
}  // namespace quorvane
