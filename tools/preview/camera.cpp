#include "camera.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace preview {

Vector3 Add(const Vector3& a, const Vector3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vector3 Subtract(const Vector3& a, const Vector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vector3 Scale(const Vector3& a, float factor) { return {a.x * factor, a.y * factor, a.z * factor}; }
float Dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vector3 Cross(const Vector3& a, const Vector3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Length(const Vector3& a) { return std::sqrt(Dot(a, a)); }
Vector3 Normalised(const Vector3& a) {
  const float length = Length(a);
  return length > 0.0f ? Scale(a, 1.0f / length) : Vector3{0.0f, 0.0f, 0.0f};
}
bool IsFinite(const Vector3& a) { return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z); }

namespace {

float TanHalfVerticalFov(const Camera& camera) {
  const float fov = std::clamp(camera.verticalFovDegrees, 1.0f, 170.0f);
  return std::tan(fov * 0.5f * std::numbers::pi_v<float> / 180.0f);
}

float Aspect(const Camera& camera) {
  return static_cast<float>(camera.width) / static_cast<float>(std::max(camera.height, 1));
}

// The basis of a camera looking along `forward`, with the world's z up on the screen where possible.
void Orient(View& view, const Vector3& forward) {
  view.forward = Length(forward) > 0.0f ? Normalised(forward) : Vector3{0.0f, 1.0f, 0.0f};
  Vector3 right = Cross(view.forward, {0.0f, 0.0f, 1.0f});
  if (Length(right) < 1e-6f) right = {1.0f, 0.0f, 0.0f};  // looking straight up or down
  view.right = Normalised(right);
  view.up = Cross(view.right, view.forward);
}

}  // namespace

View MakeView(const Camera& camera) {
  View view{};
  view.position = camera.position;
  Orient(view, Subtract(camera.lookAt, camera.position));
  view.focal = static_cast<float>(camera.height) * 0.5f / TanHalfVerticalFov(camera);
  view.centreX = static_cast<float>(camera.width) * 0.5f;
  view.centreY = static_cast<float>(camera.height) * 0.5f;
  return view;
}

Vector3 ToViewSpace(const View& view, const Vector3& world) {
  const Vector3 relative = Subtract(world, view.position);
  return {Dot(relative, view.right), Dot(relative, view.up), Dot(relative, view.forward)};
}

ScreenPoint ProjectViewPoint(const View& view, const Vector3& viewPoint) {
  const float scale = view.focal / viewPoint.z;
  return {view.centreX + viewPoint.x * scale, view.centreY - viewPoint.y * scale, viewPoint.z};
}

std::optional<ScreenPoint> Project(const Camera& camera, const Vector3& world) {
  const View view = MakeView(camera);
  const Vector3 point = ToViewSpace(view, world);
  if (!(point.z >= kNearPlane)) return std::nullopt;
  return ProjectViewPoint(view, point);
}

bool SphereInView(const Camera& camera, const Vector3& centre, float radius) {
  const View view = MakeView(camera);
  const Vector3 c = ToViewSpace(view, centre);
  if (c.z + radius < kNearPlane) return false;
  const float tanV = TanHalfVerticalFov(camera);
  const float tanH = tanV * Aspect(camera);
  // Inward normals of the four side planes, which pass through the eye.
  const Vector3 sides[] = {{1.0f, 0.0f, tanH}, {-1.0f, 0.0f, tanH}, {0.0f, 1.0f, tanV}, {0.0f, -1.0f, tanV}};
  for (const Vector3& side : sides) {
    if (Dot(Normalised(side), c) < -radius) return false;
  }
  return true;
}

std::optional<Camera> FitCamera(std::span<const Vector3> points, const Vector3& lookAt, const Vector3& fromDirection,
                                const Camera& lens, float margin) {
  if (points.empty()) return std::nullopt;
  View view{};
  Orient(view, Scale(fromDirection, -1.0f));
  const float tanV = TanHalfVerticalFov(lens) * margin;
  const float tanH = TanHalfVerticalFov(lens) * Aspect(lens) * margin;
  // At distance d along -forward from lookAt a point r = p - lookAt has depth Dot(r, forward) + d; it is in view
  // when |x| <= tanH * depth and |y| <= tanV * depth.
  float distance = 1.0f;
  for (const Vector3& point : points) {
    if (!IsFinite(point)) continue;
    const Vector3 r = Subtract(point, lookAt);
    const float x = std::fabs(Dot(r, view.right));
    const float y = std::fabs(Dot(r, view.up));
    const float along = Dot(r, view.forward);
    distance = std::max({distance, x / tanH - along, y / tanV - along, kNearPlane * 10.0f - along});
  }
  Camera camera = lens;
  camera.lookAt = lookAt;
  camera.position = Subtract(lookAt, Scale(view.forward, distance));
  return camera;
}

std::optional<Camera> FitCameraCentred(std::span<const Vector3> points, const Vector3& fromDirection,
                                       const Camera& lens, float margin) {
  std::optional<Camera> camera = FitCamera(points, CentreOfBounds(points), fromDirection, lens, margin);
  // Moving the look-at across the view by the projected bounds' offset from the middle converges in a few
  // steps; nearer cameras make the projection steeper, so each step is taken at the new distance.
  for (int round = 0; camera && round < 4; ++round) {
    const View view = MakeView(*camera);
    constexpr float kNone = std::numeric_limits<float>::infinity();
    float left = kNone, right = -kNone, top = kNone, bottom = -kNone;
    for (const Vector3& point : points) {
      const Vector3 v = ToViewSpace(view, point);
      if (!IsFinite(point) || !(v.z >= kNearPlane)) continue;
      const ScreenPoint s = ProjectViewPoint(view, v);
      left = std::min(left, s.x);
      right = std::max(right, s.x);
      top = std::min(top, s.y);
      bottom = std::max(bottom, s.y);
    }
    if (left > right || top > bottom) break;
    const float distance = Length(Subtract(camera->lookAt, camera->position));
    const float perPixel = distance / view.focal;
    const Vector3 shift = Add(Scale(view.right, ((left + right) * 0.5f - view.centreX) * perPixel),
                              Scale(view.up, (view.centreY - (top + bottom) * 0.5f) * perPixel));
    camera = FitCamera(points, Add(camera->lookAt, shift), fromDirection, lens, margin);
  }
  return camera;
}

Vector3 CentreOfBounds(std::span<const Vector3> points) {
  Vector3 low{0.0f, 0.0f, 0.0f};
  Vector3 high{0.0f, 0.0f, 0.0f};
  bool any = false;
  for (const Vector3& point : points) {
    if (!IsFinite(point)) continue;
    low = any ? Vector3{std::min(low.x, point.x), std::min(low.y, point.y), std::min(low.z, point.z)} : point;
    high = any ? Vector3{std::max(high.x, point.x), std::max(high.y, point.y), std::max(high.z, point.z)} : point;
    any = true;
  }
  return Scale(Add(low, high), 0.5f);
}

}  // namespace preview
