// The scene camera: where the eye is and what it looks at, and the view matrix made from them.
#pragma once

#include <cstdint>

#include "math/vecmath.h"

namespace dv {

class Camera {
public:
    Camera();
    // Eye/At from Position/Target, Up from them and UpBias, Direction, and the view matrix.
    void UpdateView();

    Vec3 Eye{};
    Vec3 At{};
    Vec3 Up{};
    Vec3 Direction{};
    Vec3 Position{0, 0, 0};
    Vec3 Target{0, 0, 1};
    Vec3 UpCopy{};
    Mat4 View{};
    int32_t Reserved = 0;
    float UpBias = 1.0f;
};

}  // namespace dv
