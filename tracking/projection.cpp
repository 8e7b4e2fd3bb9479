#include "tracking/projection.h"

#include "config/exception.h"

#include <cstring>

namespace kwo {

Ogre::Matrix4 computeProjection(const ARParam& calibration, float nearDistance, float farDistance)
{
    const double width = calibration.xsize;
    const double height = calibration.ysize;
    const double near = nearDistance;
    const double far = farDistance;

    // Count picture rows from the bottom, as the engine's clip space does.
    double source[3][4];
    std::memcpy(source, calibration.mat, sizeof source);
    for (int i = 0; i < 4; ++i)
        source[1][i] = (height - 1) * source[2][i] - source[1][i];

    double intrinsic[3][4];
    double extrinsic[3][4];
    if (arParamDecompMat(source, intrinsic, extrinsic) < 0)
        throw Exception("arParamDecompMat error");

    double p[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            p[i][j] = intrinsic[i][j] / intrinsic[2][2];

    const double q[4][4] = {
        {2 * p[0][0] / width, 2 * p[0][1] / width, 2 * p[0][2] / width - 1, 0},
        {0, 2 * p[1][1] / height, 2 * p[1][2] / height - 1, 0},
        {0, 0, (far + near) / (far - near), -2 * far * near / (far - near)},
        {0, 0, 1, 0},
    };

    Ogre::Matrix4 m;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 3; ++j)
            m[i][j] = static_cast<Ogre::Real>(q[i][0] * extrinsic[0][j] + q[i][1] * extrinsic[1][j] +
                                              q[i][2] * extrinsic[2][j]);
        m[i][3] = static_cast<Ogre::Real>(q[i][0] * extrinsic[0][3] + q[i][1] * extrinsic[1][3] +
                                          q[i][2] * extrinsic[2][3] + q[i][3]);
    }

    // The engine camera looks down -Z and the tracking root is turned about X:
    // flip the depth column and the vertical scale to match.
    for (int i = 0; i < 4; ++i)
        m[i][2] = -m[i][2];
    m[1][1] = -m[1][1];
    return m;
}

} // namespace kwo
