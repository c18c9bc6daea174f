// The outline's thickness for a frame. The drawing itself is
// Renderer::DrawOutline and Renderer::DrawSurfaceEdges.
#pragma once

// The eye's distance from the origin clamped to [5, 55], then
// (d - 5) * 0.0033333334 + edgeSize: edgeSize at 5 or nearer, edgeSize +
// 1/6 at 55 or farther. A negative result pulls the hull inside the model
// and the outline vanishes.
float OutlineExpansion(const float eye[3], float edgeSize);
