// The preview's camera: where points land in the picture, what it can see, and cameras fitted around points.

#include "camera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using preview::Camera;
using preview::Vector3;

// Looking north (+y) from 100 units south of the origin, at eye height 50; 90 degrees vertical field of view,
// so a point as far up as it is ahead lands on the top edge.
Camera NorthCamera() {
  Camera camera;
  camera.position = {0.0f, -100.0f, 50.0f};
  camera.lookAt = {0.0f, 0.0f, 50.0f};
  camera.verticalFovDegrees = 90.0f;
  camera.width = 200;
  camera.height = 100;
  return camera;
}

TEST(PreviewCamera, ProjectsPointsWhereThePerspectiveSays) {
  struct Case {
    const char* what;
    Vector3 world;
    float x;
    float y;
  };
  const Case cases[] = {
      {"straight ahead", {0.0f, 0.0f, 50.0f}, 100.0f, 50.0f},
      {"as far up as ahead: top edge", {0.0f, 0.0f, 150.0f}, 100.0f, 0.0f},
      {"as far down as ahead: bottom edge", {0.0f, 0.0f, -50.0f}, 100.0f, 100.0f},
      {"east is to the right", {50.0f, 0.0f, 50.0f}, 125.0f, 50.0f},
      {"twice as far, half the offset", {50.0f, 100.0f, 50.0f}, 112.5f, 50.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto point = preview::Project(NorthCamera(), c.world);
    ASSERT_TRUE(point.has_value());
    EXPECT_NEAR(point->x, c.x, 1e-3f);
    EXPECT_NEAR(point->y, c.y, 1e-3f);
  }
  EXPECT_FALSE(preview::Project(NorthCamera(), {0.0f, -150.0f, 50.0f}).has_value()) << "behind the camera";
  EXPECT_FALSE(preview::Project(NorthCamera(), {0.0f, -100.0f, 50.0f}).has_value()) << "at the eye";
}

TEST(PreviewCamera, LookingStraightDownStillHasABasis) {
  Camera camera = NorthCamera();
  camera.lookAt = {0.0f, -100.0f, 0.0f};
  const auto point = preview::Project(camera, {0.0f, -100.0f, 0.0f});
  ASSERT_TRUE(point.has_value());
  EXPECT_NEAR(point->x, 100.0f, 1e-3f);
  EXPECT_NEAR(point->y, 50.0f, 1e-3f);
}

TEST(PreviewCamera, SphereTestCullsOnlyWhatCannotShow) {
  struct Case {
    const char* what;
    Vector3 centre;
    float radius;
    bool visible;
  };
  // The picture is twice as wide as high: the left edge runs at 45 degrees x 2 in tangent.
  const Case cases[] = {
      {"ahead", {0.0f, 0.0f, 50.0f}, 1.0f, true},
      {"behind, small", {0.0f, -200.0f, 50.0f}, 10.0f, false},
      {"behind, large enough to reach forward", {0.0f, -200.0f, 50.0f}, 150.0f, true},
      {"far to the left", {-400.0f, 0.0f, 50.0f}, 10.0f, false},
      {"left but reaching into view", {-210.0f, 0.0f, 50.0f}, 20.0f, true},
      {"above the top edge", {0.0f, 0.0f, 200.0f}, 10.0f, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(preview::SphereInView(NorthCamera(), c.centre, c.radius), c.visible);
  }
}

std::vector<Vector3> Scatter() {
  return {{-300.0f, 20.0f, 100.0f}, {250.0f, -40.0f, 180.0f}, {10.0f, 300.0f, 120.0f},
          {0.0f, -200.0f, 90.0f},   {60.0f, 60.0f, 300.0f},   {-80.0f, -90.0f, 0.0f}};
}

// Every point lands inside the picture, none of them nearer the edge than the margin allows.
void ExpectAllInside(const Camera& camera, const std::vector<Vector3>& points, float margin) {
  const float halfWidth = static_cast<float>(camera.width) * 0.5f;
  const float halfHeight = static_cast<float>(camera.height) * 0.5f;
  for (const Vector3& point : points) {
    const auto projected = preview::Project(camera, point);
    ASSERT_TRUE(projected.has_value());
    EXPECT_LE(std::fabs(projected->x - halfWidth), halfWidth * margin + 0.01f);
    EXPECT_LE(std::fabs(projected->y - halfHeight), halfHeight * margin + 0.01f);
  }
}

TEST(PreviewCamera, FittedCamerasSeeEveryPointFromTheirDirection) {
  const std::vector<Vector3> points = Scatter();
  const Vector3 directions[] = {{-0.45f, -1.0f, 0.5f}, {1.0f, 0.0f, 0.2f}, {0.0f, 0.0f, 1.0f}, {0.3f, 0.8f, -0.1f}};
  Camera lens;
  lens.width = 640;
  lens.height = 360;
  for (const Vector3& direction : directions) {
    SCOPED_TRACE(testing::Message() << direction.x << "," << direction.y << "," << direction.z);
    const auto fitted = preview::FitCamera(points, {0.0f, 0.0f, 100.0f}, direction, lens, 0.8f);
    ASSERT_TRUE(fitted.has_value());
    EXPECT_EQ(fitted->width, 640);
    const Vector3 seen = preview::Normalised(preview::Subtract(fitted->position, fitted->lookAt));
    EXPECT_NEAR(preview::Dot(seen, preview::Normalised(direction)), 1.0f, 1e-4f);
    ExpectAllInside(*fitted, points, 0.8f);
  }
  EXPECT_FALSE(preview::FitCamera({}, {0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, lens).has_value());
}

TEST(PreviewCamera, CentredFitPutsThePointsInTheMiddleAndComesNearer) {
  const std::vector<Vector3> points = Scatter();
  Camera lens;
  const Vector3 direction{-0.45f, -1.0f, 0.5f};
  const auto plain = preview::FitCamera(points, preview::CentreOfBounds(points), direction, lens);
  const auto centred = preview::FitCameraCentred(points, direction, lens);
  ASSERT_TRUE(plain.has_value() && centred.has_value());
  ExpectAllInside(*centred, points, 0.9f);
  float left = 1e9f, right = -1e9f;
  for (const Vector3& point : points) {
    const float x = preview::Project(*centred, point)->x;
    left = std::min(left, x);
    right = std::max(right, x);
  }
  EXPECT_NEAR((left + right) * 0.5f, 512.0f, 4.0f);
  EXPECT_LE(preview::Length(preview::Subtract(centred->position, centred->lookAt)),
            preview::Length(preview::Subtract(plain->position, plain->lookAt)));
}

TEST(PreviewCamera, BoundsIgnoreUnusablePoints) {
  const float nan = std::nanf("");
  const std::vector<Vector3> points{{nan, 0.0f, 0.0f}, {-10.0f, 0.0f, 4.0f}, {30.0f, 8.0f, 6.0f}};
  const Vector3 centre = preview::CentreOfBounds(points);
  EXPECT_EQ(centre.x, 10.0f);
  EXPECT_EQ(centre.y, 4.0f);
  EXPECT_EQ(centre.z, 5.0f);
}

}  // namespace
