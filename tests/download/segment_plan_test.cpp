// The piece planner: ranges that add up, pieces that never overlap, and a free
// connection that takes over half of the largest running piece.

#include <gtest/gtest.h>

#include "download/SegmentPlan.h"

using namespace tamsel;

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

TEST(SegmentRangesTest, MergeAndMissing) {
    const struct {
        const char* name;
        std::vector<ByteRange> done;
        std::uint64_t length;
        std::vector<ByteRange> merged;
        std::vector<ByteRange> missing;
    } cases[] = {
        {"nothing done", {}, 100, {}, {{0, 100}}},
        {"all done", {{0, 100}}, 100, {{0, 100}}, {}},
        {"touching and overlapping, unsorted",
         {{50, 60}, {0, 10}, {10, 20}, {55, 70}, {30, 30}},
         100,
         {{0, 20}, {50, 70}},
         {{20, 50}, {70, 100}}},
        {"done beyond the length", {{90, 120}}, 100, {{90, 120}}, {{0, 90}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MergeRanges(c.done), c.merged);
        EXPECT_EQ(MissingRanges(c.done, c.length), c.missing);
    }
}

// Runs every piece the plan hands out to its end and returns what it covered.
std::vector<ByteRange> Drain(CSegmentPlan& plan) {
    std::vector<ByteRange> got;
    while (const auto piece = plan.Take()) {
        got.push_back({plan.Position(*piece), plan.End(*piece)});
        plan.Advance(*piece, static_cast<std::size_t>(plan.End(*piece) - plan.Position(*piece)));
    }
    return got;
}

TEST(SegmentPlanTest, PiecesCoverExactlyTheMissingRanges) {
    const std::vector<ByteRange> missing = {{0, 3 * kMiB}, {5 * kMiB, 8 * kMiB + 7}};
    CSegmentPlan plan(missing, 4, kMiB / 4);
    const std::vector<ByteRange> got = Drain(plan);
    EXPECT_GE(got.size(), 4u);
    EXPECT_EQ(CoveredBytes(got), CoveredBytes(missing));
    EXPECT_EQ(MergeRanges(got), missing);
    EXPECT_TRUE(plan.Complete());
    EXPECT_EQ(plan.Fetched(), missing);
}

TEST(SegmentPlanTest, AFreeConnectionTakesHalfOfTheLargestRunningPiece) {
    CSegmentPlan plan({{0, 8 * kMiB}}, 2, kMiB / 4);
    const auto a = plan.Take();
    const auto b = plan.Take();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(plan.End(*a), 4 * kMiB);
    // a is nearly done, b has barely begun: a third connection splits b.
    plan.Advance(*a, static_cast<std::size_t>(4 * kMiB - 10));
    plan.Advance(*b, static_cast<std::size_t>(kMiB));
    const auto c = plan.Take();
    ASSERT_TRUE(c);
    EXPECT_EQ(plan.Position(*c), 6 * kMiB + kMiB / 2);
    EXPECT_EQ(plan.End(*c), 8 * kMiB);
    EXPECT_EQ(plan.End(*b), 6 * kMiB + kMiB / 2);
    // b's answer still runs to 8 MiB; what lies past its new end is not its own.
    EXPECT_EQ(plan.Advance(*b, static_cast<std::size_t>(3 * kMiB)), kMiB + kMiB / 2);
    EXPECT_TRUE(plan.PieceDone(*b));
    EXPECT_EQ(plan.Remaining(), 10 + kMiB + kMiB / 2);
}

TEST(SegmentPlanTest, ReleasedPieceContinuesWhereItStoppedAndSmallPiecesStayWhole) {
    CSegmentPlan plan({{0, kMiB}}, 1, kMiB / 4);
    const auto a = plan.Take();
    ASSERT_TRUE(a);
    plan.Advance(*a, 100);
    plan.Release(*a);
    const auto again = plan.Take();
    ASSERT_TRUE(again);
    EXPECT_EQ(plan.Position(*again), 100u);
    plan.Advance(*again, static_cast<std::size_t>(kMiB - 100 - kMiB / 4));
    // A quarter MiB left: below two minimum pieces, so no second connection gets any.
    EXPECT_FALSE(plan.Take());
    EXPECT_EQ(plan.Fetched(), (std::vector<ByteRange>{{0, kMiB - kMiB / 4}}));
}

}  // namespace
