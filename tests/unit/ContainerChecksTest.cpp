#include "base/String.h"
#include "base/Vector.h"

#include <gtest/gtest.h>

// An index past the end is caught at the access, with the check and its place
// named, instead of reading or writing whatever lies beyond the buffer.
TEST(ContainerChecks, AnIndexPastTheEndStopsWithTheFailedCheckNamed)
{
    Vector<int> numbers { 1, 2, 3 };
    EXPECT_DEATH((void)numbers[3], "VERIFY failed: i < m_size at base/Vector.h:[0-9]+");
    EXPECT_DEATH(numbers.remove(3), "VERIFY failed: index < m_size");
    EXPECT_DEATH(numbers.insert(4, 0), "VERIFY failed: index <= m_size");

    Vector<int> none;
    EXPECT_DEATH((void)none.last(), "VERIFY failed");

    String text("abc");
    EXPECT_DEATH((void)text[3], "VERIFY failed");
    EXPECT_DEATH((void)text.try_substring(2, 2), "VERIFY failed");
}
