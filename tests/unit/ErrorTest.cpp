#include "base/Error.h"
#include "base/StdString.h"
#include "tests/sim/Sim.h"

#include <gtest/gtest.h>

namespace {

ErrorOr<void> fail_with_literal() { return Error("Disk full"); }

ErrorOr<void> pass_failure_up()
{
    TRY(fail_with_literal());
    return {};
}

ErrorOr<int> number(bool fail)
{
    if (fail)
        return Error("no number");
    return 42;
}

}

// Failing must not need the heap: the failure may be that the heap ran out,
// and the caller may only drop the error.
TEST(Error, AFailureWithALiteralMessageAllocatesNothingOnItsWayUp)
{
    u64 before = Sim::live_allocations();
    {
        Sim::NoAllocations none;
        auto result = pass_failure_up();
        ASSERT_TRUE(result.is_error());
        ErrorOr<void> moved = std::move(result);
        EXPECT_FALSE(result.is_error());
        ASSERT_TRUE(moved.is_error());
        auto out_of_memory = ErrorOr<void>(Error::out_of_memory(4096));
        EXPECT_TRUE(out_of_memory.error().is_out_of_memory());
        EXPECT_EQ(Sim::live_allocations(), before);
    }
    EXPECT_EQ(ascii(pass_failure_up().error().message()), "Disk full");
    EXPECT_EQ(ascii(Error::out_of_memory(4096).message()), "Not enough memory: 4096 bytes needed");
    EXPECT_EQ(ascii(Error(String("built ") + "at run time").message()), "built at run time");
}

TEST(Error, MustYieldsTheValueAndStopsOnAFailure)
{
    EXPECT_EQ(MUST(number(false)), 42);
    EXPECT_DEATH(MUST(number(true)), "MUST\\(number\\(true\\)\\) at unit/ErrorTest.cpp");
    EXPECT_DEATH(MUST(fail_with_literal()), "MUST\\(fail_with_literal\\(\\)\\)");
}
