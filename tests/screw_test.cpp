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

TEST(MetricScrew, RodLiesBetweenCoreAndMajorCylinder) {
  const struct {
    double d, l, p;
    int n;
  } cases[] = {{10, 20, 1.5, 64}, {3, 6, 0.5, 16}, {12, 8, 8, 32}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "M" << c.d << "x" << c.l << " P" << c.p);
    Manifold rod = MetricScrew(c.d, c.l, c.p, c.n);
    EXPECT_TRUE(IsClosed(rod));
    const double r = c.d / 2, r1 = (c.d - 1.0825317547305482 * c.p) / 2;
    EXPECT_TRUE(BoxNear(rod.BoundingBox(), {-r, -r, 0}, {r, r, c.l}, 0.02 * r));
    // A rejected tooth mesh would leave the bare core.
    const double core = kPi * r1 * r1 * c.l, major = kPi * r * r * c.l;
    EXPECT_GT(rod.Volume(), core + 0.3 * (major - core));
    EXPECT_LT(rod.Volume(), core + 0.55 * (major - core));
  }
}

TEST(MetricScrew, RingCountOfAbsurdSizesIsRefusable) {
  // Absurd sizes give a count to refuse instead of overflowing.
  EXPECT_GT(MetricScrewRings(10, 100, 1e-6, 64), int64_t{1} << 32);
  EXPECT_EQ(MetricScrewRings(10, 1e300, 1, 64), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(MetricScrewRings(10, 20, 1e-300, 64), std::numeric_limits<int64_t>::max());
}

TEST(MetricScrew, UnusableSizesBuildNothing) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double sizes[][3] = {{0, 20, 1},    {10, 0, 1},   {10, 20, 0},  {inf, 20, 1}, {10, inf, 1},
                             {10, 20, inf}, {nan, 20, 1}, {10, nan, 1}, {10, 20, nan}};
  for (const auto& s : sizes) {
    SCOPED_TRACE(::testing::Message() << s[0] << " " << s[1] << " " << s[2]);
    EXPECT_TRUE(MetricScrew(s[0], s[1], s[2], 64).IsEmpty());
    EXPECT_EQ(MetricScrewRings(s[0], s[1], s[2], 64), 0);
  }
}

TEST(MetricScrew, WithoutAToothARodRemains) {
  // Diameter 1 with pitch 1 has no room for a thread: a plain 64-gon rod.
  EXPECT_EQ(MetricScrewRings(1, 7, 1, 64), 0);
  Manifold plain = MetricScrew(1, 7, 1, 64);
  EXPECT_TRUE(BoxNear(plain.BoundingBox(), {-0.5, -0.5, 0}, {0.5, 0.5, 7}));
  EXPECT_NEAR(plain.Volume(), 7 * 0.5 * 64 * 0.25 * std::sin(2 * kPi / 64), 1e-6);
  // Trillions of rings cannot be held; the core rod (radius ~5) remains.
  Manifold core = MetricScrew(10, 20, 1e-12, 64);
  EXPECT_TRUE(BoxNear(core.BoundingBox(), {-5, -5, 0}, {5, 5, 20}));
}

}  // namespace
}  // namespace velamanifold
