#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "geometry/screw.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using manifold::Manifold;
using testing::BoxNear;
using testing::IsClosed;

constexpr double kPi = std::numbers::pi;

// The rod stands on z = 0, reaches exactly its length and stays within its
// major diameter.
TEST(MetricScrew, RodLiesBetweenCoreAndMajorCylinder) {
  struct Case {
    double d, l, p;
    int n;
  };
  const Case cases[] = {{10, 20, 1.5, 64}, {3, 6, 0.5, 16}, {20, 15, 2.5, 24}, {12, 8, 8, 32}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "M" << c.d << "x" << c.l << " P" << c.p);
    Manifold rod = MetricScrew(c.d, c.l, c.p, c.n);
    ASSERT_EQ(rod.Status(), Manifold::Error::NoError);
    ASSERT_FALSE(rod.IsEmpty());
    EXPECT_TRUE(IsClosed(rod));
    const double r = c.d / 2;
    const double r1 = (c.d - 1.0825317547305482 * c.p) / 2;
    EXPECT_TRUE(BoxNear(rod.BoundingBox(), {-r, -r, 0}, {r, r, c.l}, 0.02 * r));
    // The teeth fill a good part of the band between the core and the major
    // cylinder (a rejected tooth mesh would leave the bare core).
    const double core = kPi * r1 * r1 * c.l;
    const double major = kPi * r * r * c.l;
    EXPECT_GT(rod.Volume(), core + 0.3 * (major - core));
    EXPECT_LT(rod.Volume(), core + 0.55 * (major - core));
  }
}

TEST(MetricScrew, RingCountFollowsPitchLengthAndSegments) {
  EXPECT_EQ(MetricScrewRings(10, 20, 1.5, 64), 1046);
  // Run-out is the pitch clamped to [1, 5]: (10 + 3) / 0.5 * 64 and (10 + 15) / 8 * 64.
  EXPECT_EQ(MetricScrewRings(5, 10, 0.5, 64), 1664);
  EXPECT_EQ(MetricScrewRings(50, 10, 8, 64), 200);
  // Fewer than 8 segments become 64; 8 stays 8.
  EXPECT_EQ(MetricScrewRings(10, 20, 1.5, 6), 1046);
  EXPECT_EQ(MetricScrewRings(10, 20, 1.5, 8), 131);
  // Real screws stay far below the pipeline's ceiling of 250000 rings ...
  EXPECT_LT(MetricScrewRings(3, 100, 0.5, 64), 250000);
  EXPECT_LT(MetricScrewRings(20, 500, 2.5, 64), 250000);
  // ... and absurd ones give a count to refuse instead of overflowing.
  EXPECT_GT(MetricScrewRings(10, 100, 1e-6, 64), int64_t{1} << 32);
  EXPECT_EQ(MetricScrewRings(10, 1e300, 1, 64), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(MetricScrewRings(10, 20, 1e-300, 64), std::numeric_limits<int64_t>::max());
}

TEST(MetricScrew, UnusableSizesBuildNothing) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double sizes[][3] = {{0, 20, 1},   {10, 0, 1},   {10, 20, 0},  {-1, 20, 1},
                             {inf, 20, 1}, {10, inf, 1}, {10, 20, inf}, {nan, 20, 1},
                             {10, nan, 1}, {10, 20, nan}};
  for (const auto& s : sizes) {
    SCOPED_TRACE(::testing::Message() << s[0] << " " << s[1] << " " << s[2]);
    EXPECT_TRUE(MetricScrew(s[0], s[1], s[2], 64).IsEmpty());
    EXPECT_EQ(MetricScrewRings(s[0], s[1], s[2], 64), 0);
  }
}

TEST(MetricScrew, NoRoomForAThreadGivesAPlainCylinder) {
  // Diameter 1 with pitch 1 has a negative minor diameter.
  Manifold rod = MetricScrew(1, 7, 1, 64);
  EXPECT_EQ(MetricScrewRings(1, 7, 1, 64), 0);
  EXPECT_TRUE(BoxNear(rod.BoundingBox(), {-0.5, -0.5, 0}, {0.5, 0.5, 7}, 1e-6));
  const double polygonArea = 0.5 * 64 * 0.25 * std::sin(2 * kPi / 64);
  EXPECT_NEAR(rod.Volume(), polygonArea * 7, 1e-6);
}

TEST(MetricScrew, UnbuildableToothLeavesThePlainCore) {
  // Trillions of rings cannot be held; the core rod (here radius ~5) remains.
  Manifold rod = MetricScrew(10, 20, 1e-12, 64);
  EXPECT_TRUE(BoxNear(rod.BoundingBox(), {-5, -5, 0}, {5, 5, 20}, 1e-6));
}

}  // namespace
}  // namespace velamanifold
