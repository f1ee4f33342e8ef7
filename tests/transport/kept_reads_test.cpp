// Answers kept within one read scope share the scope's blocks; a sanitized
// build still sees a read past one answer's end, as it would were the
// answer a block of its own.
#include <gtest/gtest.h>
#include <sanitizer/asan_interface.h>

#include <memory>

#include "base/library_lock.h"
#include "base/read_scope.h"
#include "transport/kept_reads.h"

namespace tavo::command {
namespace {

#if defined(__SANITIZE_ADDRESS__)
TEST(KeptAnswers, TheByteAfterAnAnswerIsPoisoned) {
  for (const size_t length : {1, 10, 16, 48, 20000}) {
    SCOPED_TRACE(length);
    base::LibraryLock lock(base::library_mutex());
    const base::ReadScope scope;
    const std::shared_ptr<uint8_t[]> answer = answer_room(length), next = answer_room(16);
    EXPECT_EQ(__asan_region_is_poisoned(answer.get(), length), nullptr);
    EXPECT_EQ(__asan_region_is_poisoned(next.get(), 16), nullptr);
    EXPECT_TRUE(__asan_address_is_poisoned(answer.get() + length));
  }
}
#endif

}  // namespace
}  // namespace tavo::command
