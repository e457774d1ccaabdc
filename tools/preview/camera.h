#pragma once
// The preview's perspective camera: world to view space and to pixels, a frustum test, and a camera fitted
// around a set of points. World space is the host's: z is the height.

#include <optional>
#include <span>

#include "host/host.h"

namespace preview {

using host::Vector3;

struct Camera {
  Vector3 position{0.0f, -300.0f, 150.0f};
  Vector3 lookAt{0.0f, 0.0f, 100.0f};
  float verticalFovDegrees = 60.0f;
  int width = 1024;
  int height = 768;
};

// Nothing nearer to the camera than this is drawn; lines and triangles are cut here.
inline constexpr float kNearPlane = 0.1f;

// The camera's orthonormal basis and focal length in pixels.
struct View {
  Vector3 position;
  Vector3 right;
  Vector3 up;
  Vector3 forward;
  float focal;  // pixels per unit of x/depth
  float centreX;
  float centreY;
};

View MakeView(const Camera& camera);

// x to the right, y up, z the depth along the view direction.
Vector3 ToViewSpace(const View& view, const Vector3& world);

struct ScreenPoint {
  float x;  // pixels from the left edge
  float y;  // pixels from the top edge
  float depth;
};

// A view-space point at or beyond the near plane, in pixels.
ScreenPoint ProjectViewPoint(const View& view, const Vector3& viewPoint);

// Where a world point lands in the image; nothing for a point in front of the near plane (behind the camera).
std::optional<ScreenPoint> Project(const Camera& camera, const Vector3& world);

// Whether any part of the sphere can be in the picture (conservative at the frustum's corners).
bool SphereInView(const Camera& camera, const Vector3& centre, float radius);

// A camera that looks at `lookAt` from the direction `fromDirection` (need not be unit length), as near as it
// can be while every point lies inside `margin` (0..1) of the image's half extents. Null when there are no points.
std::optional<Camera> FitCamera(std::span<const Vector3> points, const Vector3& lookAt, const Vector3& fromDirection,
                                const Camera& lens, float margin = 0.9f);

// The same, looking at the point that puts the points in the middle of the picture, which lets the camera come
// nearer than looking at the middle of their bounds would.
std::optional<Camera> FitCameraCentred(std::span<const Vector3> points, const Vector3& fromDirection,
                                       const Camera& lens, float margin = 0.9f);

// The middle of the box that holds the finite points; the origin when there are none.
Vector3 CentreOfBounds(std::span<const Vector3> points);

// Small vector arithmetic for the preview (the plug-in itself goes through the host's helpers).
Vector3 Add(const Vector3& a, const Vector3& b);
Vector3 Subtract(const Vector3& a, const Vector3& b);
Vector3 Scale(const Vector3& a, float factor);
float Dot(const Vector3& a, const Vector3& b);
Vector3 Cross(const Vector3& a, const Vector3& b);
float Length(const Vector3& a);
Vector3 Normalised(const Vector3& a);
bool IsFinite(const Vector3& a);

}  // namespace preview
