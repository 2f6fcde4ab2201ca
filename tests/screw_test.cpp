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

constexpr double kPi = std::numbers::pi;

TEST(MetricScrew, RodLiesBetweenCoreAndMajorCylinder) {
  const double cases[][4] = {{10, 20, 1.5, 64}, {3, 6, 0.5, 16}, {12, 8, 8, 32}};  // d, l, p, n
  for (const auto& [d, l, p, n] : cases) {
    SCOPED_TRACE(::testing::Message() << "M" << d << "x" << l << " P" << p);
    Manifold rod = MetricScrew(d, l, p, static_cast<int>(n));
    EXPECT_TRUE(testing::IsClosed(rod));
    const double r = d / 2, r1 = (d - 1.0825317547305482 * p) / 2;
    EXPECT_TRUE(BoxNear(rod.BoundingBox(), {-r, -r, 0}, {r, r, l}, 0.02 * r));
    const double core = kPi * r1 * r1 * l, major = kPi * r * r * l;
    EXPECT_GT(rod.Volume(), core + 0.3 * (major - core));  // a refused tooth mesh leaves the core
    EXPECT_LT(rod.Volume(), core + 0.55 * (major - core));
  }
}

TEST(MetricScrew, UnusableSizesBuildNothingAndAbsurdOnesGiveARefusableRingCount) {
  const double sizes[][3] = {{0, 20, 1},   {10, 0, 1},   {10, 20, 0},   {INFINITY, 20, 1},
                             {10, INFINITY, 1}, {10, 20, INFINITY}, {NAN, 20, 1}, {10, NAN, 1},
                             {10, 20, NAN}};
  for (const auto& [d, l, p] : sizes) {
    EXPECT_TRUE(MetricScrew(d, l, p, 64).IsEmpty()) << d << " " << l << " " << p;
    EXPECT_EQ(MetricScrewRings(d, l, p, 64), 0) << d << " " << l << " " << p;
  }
  // Absurd sizes give a count to refuse instead of overflowing.
  EXPECT_GT(MetricScrewRings(10, 100, 1e-6, 64), int64_t{1} << 32);
  EXPECT_EQ(MetricScrewRings(10, 1e300, 1, 64), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(MetricScrewRings(10, 20, 1e-300, 64), std::numeric_limits<int64_t>::max());
}

TEST(MetricScrew, WithoutAToothARodRemains) {
  // Diameter 1 with pitch 1 has no room for a thread: a plain 64-gon rod.
  EXPECT_EQ(MetricScrewRings(1, 7, 1, 64), 0);
  Manifold plain = MetricScrew(1, 7, 1, 64);
  EXPECT_TRUE(BoxNear(plain.BoundingBox(), {-0.5, -0.5, 0}, {0.5, 0.5, 7}));
  EXPECT_NEAR(plain.Volume(), 7 * 0.5 * 64 * 0.25 * std::sin(2 * kPi / 64), 1e-6);
  // Trillions of rings cannot be held; the core rod (radius ~5) remains.
  EXPECT_TRUE(BoxNear(MetricScrew(10, 20, 1e-12, 64).BoundingBox(), {-5, -5, 0}, {5, 5, 20}));
}

}  // namespace
}  // namespace velamanifold
