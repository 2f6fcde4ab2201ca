#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "geometry/rounding.h"
#include "model/limits.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using nlohmann::json;
using testing::BoxNear;
using testing::BuildDoc;
using testing::Doc;
using testing::IsClosed;

constexpr double kPi = std::numbers::pi;

json Sphere(const std::string& id, double diameter, double x) {
  return {{"vid", id}, {"type", "sphere"}, {"size", diameter}, {"move", {{"x", x}}},
          {"visible", false}};
}

// A box of a x b x c with every edge rounded by r, its outside unchanged.
double RoundedBoxVolume(double a, double b, double c, double r) {
  const double x = a - 2 * r, y = b - 2 * r, z = c - 2 * r;
  return x * y * z + 2 * r * (x * y + y * z + x * z) + kPi * r * r * (x + y + z) +
         4.0 / 3 * kPi * r * r * r;
}

TEST(Hull, OfTwoSpheresIsACapsuleAndTakesRegions) {
  // Two spheres of radius 5, 20 apart: a cylinder of length 20 and a whole sphere.
  json doc = Doc({Sphere("a", 10, 0), Sphere("b", 10, 20),
                  {{"vid", "h"}, {"type", "hull"}, {"baseObjects", {"a", "b", "a"}}},
                  {{"vid", "disc"}, {"type", "circle"}, {"size", {{"diameter", 20}}},
                   {"visible", false}},
                  {{"vid", "top"}, {"type", "sphere"}, {"size", 2}, {"move", {{"z", 30}}},
                   {"visible", false}},
                  {{"vid", "cone"}, {"type", "hull"}, {"baseObjects", {"disc", "top"}}},
                  {{"vid", "none"}, {"type", "hull"}, {"baseObjects", {"nothing"}}}});
  const manifold::Manifold capsule = BuildDoc(doc, "h", 128);
  const double expected = kPi * 25 * 20 + 4.0 / 3 * kPi * 125;
  EXPECT_NEAR(capsule.Volume(), expected, 0.005 * expected);
  EXPECT_TRUE(IsClosed(capsule));
  EXPECT_TRUE(BoxNear(capsule.BoundingBox(), {-5, -5, -5}, {25, 5, 5}, 0.01));
  // A disc of radius 10 at z = 0 to a sphere of radius 1 at z = 30: nearly a
  // frustum from radius 10 to 1.
  const manifold::Manifold cone = BuildDoc(doc, "cone", 128);
  EXPECT_TRUE(BoxNear(cone.BoundingBox(), {-10, -10, 0}, {10, 10, 31}, 0.05));
  const double frustum = kPi * 30 / 3 * (100 + 10 + 1);
  EXPECT_NEAR(cone.Volume(), frustum, 0.01 * frustum);
  EXPECT_TRUE(BuildDoc(doc, "none").IsEmpty());
}

TEST(Round, BoxKeepsItsSizeAndMatchesTheAnalyticVolume) {
  for (double r : {1.0, 2.0, 5.0}) {
    json doc = Doc({{{"vid", "b"}, {"type", "cube"}, {"size", {{"x", 40}, {"y", 30}, {"z", 20}}},
                     {"visible", false}},
                    {{"vid", "r"}, {"type", "round"}, {"baseObjects", {"b"}}, {"radius", r}}});
    const manifold::Manifold rounded = BuildDoc(doc, "r", 64);
    const double expected = RoundedBoxVolume(40, 30, 20, r);
    EXPECT_NEAR(rounded.Volume(), expected, 0.005 * expected) << r;
    EXPECT_TRUE(BoxNear(rounded.BoundingBox(), {0, 0, 0}, {40, 30, 20}, 0.01)) << r;
    EXPECT_TRUE(IsClosed(rounded)) << r;
  }
}

TEST(Round, GrowingAndItsLimits) {
  const json box = {{"vid", "b"}, {"type", "cube"}, {"size", 10}, {"visible", false}};
  const json l = {{"vid", "l"}, {"type", "union"}, {"baseObjects", {"b", "b2"}}, {"visible", false}};
  const json b2 = {{"vid", "b2"}, {"type", "cube"}, {"size", 10}, {"move", {{"x", 10}, {"y", 5}}},
                   {"visible", false}};
  auto round = [](const json& extra) {
    json r = {{"vid", "r"}, {"type", "round"}, {"baseObjects", {"l"}}, {"radius", 1}};
    r.update(extra);
    return r;
  };
  // Grown by the radius: a 10 cube becomes 12 across with rounded edges.
  json grow = Doc({box, {{"vid", "g"}, {"type", "round"}, {"baseObjects", {"b"}}, {"radius", 1},
                         {"keepSize", false}}});
  const manifold::Manifold grown = BuildDoc(grow, "g", 64);
  EXPECT_TRUE(BoxNear(grown.BoundingBox(), {-1, -1, -1}, {11, 11, 11}, 0.01));
  EXPECT_NEAR(grown.Volume(), RoundedBoxVolume(12, 12, 12, 1), 0.005 * 1728);
  // A solid that is not convex cannot keep its size; grown, it is bounded by its work.
  EXPECT_TRUE(BuildDoc(Doc({box, b2, l, round(json::object())}), "r", 16).IsEmpty());
  const manifold::Manifold l16 = BuildDoc(Doc({box, b2, l, round({{"keepSize", false}})}), "r", 16);
  EXPECT_TRUE(BoxNear(l16.BoundingBox(), {-1, -1, -1}, {21, 16, 11}, 0.05));
  EXPECT_THROW(BuildDoc(Doc({box, b2, l, round({{"keepSize", false}, {"segments", 512}})}), "r"),
               LimitError);
  // A convex solid of many corners is refused past the ceiling on corner sums,
  // before the work; a cylinder rounds to its size.
  const json ball = {{"vid", "s"}, {"type", "sphere"}, {"size", 20}, {"visible", false}};
  EXPECT_THROW(BuildDoc(Doc({ball, round({{"baseObjects", {"s"}}})}), "r", 128), LimitError);
  const json puck = {{"vid", "p"}, {"type", "cylinder"}, {"size", {{"diameter", 30}, {"height", 8}}},
                     {"visible", false}};
  const manifold::Manifold rounded = BuildDoc(Doc({puck, round({{"baseObjects", {"p"}}})}), "r", 64);
  EXPECT_TRUE(BoxNear(rounded.BoundingBox(), {-15, -15, 0}, {15, 15, 8}, 0.05));
  EXPECT_TRUE(IsClosed(rounded));
  // A radius that consumes the solid leaves nothing; none at all leaves it as it is.
  EXPECT_TRUE(BuildDoc(Doc({box, round({{"baseObjects", {"b"}}, {"radius", 5}})}), "r").IsEmpty());
  EXPECT_NEAR(BuildDoc(Doc({box, round({{"baseObjects", {"b"}}, {"radius", 0}})}), "r").Volume(),
              1000, 1e-9);
}

TEST(Round, ConvexityAndShrinkingOfTheKernel) {
  const manifold::Manifold cube = manifold::Manifold::Cube({4, 4, 4});
  EXPECT_TRUE(IsConvex(cube));
  EXPECT_FALSE(IsConvex(cube - manifold::Manifold::Cube({2, 2, 8}).Translate({1, 1, -2})));
  EXPECT_NEAR(ShrinkConvex(cube, 1).Volume(), 8, 1e-9);
  EXPECT_TRUE(BoxNear(ShrinkConvex(cube, 1).BoundingBox(), {1, 1, 1}, {3, 3, 3}));
  EXPECT_TRUE(ShrinkConvex(cube, 2).IsEmpty());
  EXPECT_TRUE(HullOf({manifold::Manifold(), manifold::Manifold()}).IsEmpty());
}

}  // namespace
}  // namespace velamanifold
