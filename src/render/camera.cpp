#include "render/camera.h"

#include <cmath>

namespace dv {

Camera::Camera() { View = MatIdentity(); }

void Camera::UpdateView() {
    Eye = Position;
    At = Target;
    Up = VecMake(Eye.x - At.x, std::fabs(1.0f * UpBias + Eye.y), Eye.z - At.z);
    Direction = VecSub(Target, Position);
    VecNormalize(Direction);
    UpCopy = Up;
    View = MatLookAtLH(Eye, At, Up);
}

}  // namespace dv
