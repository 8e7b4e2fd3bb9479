// The end-to-end check that a creature stands on its marker: a pose the
// tracker estimates from a rendered frame, carried by a marker node below the
// turned tracking root and drawn by a camera with the custom projection, puts
// the marker's corners on the pixels where the renderer drew them.
#include "config/exception.h"
#include "tests/support/sample_data.h"
#include "tests/tracking/scene_fixture.h"
#include "tools/synthetic/synthetic_frames.h"
#include "tracking/ar/ar.h"
#include "tracking/ar/tracker.h"
#include "tracking/projection.h"

#include <OgreCamera.h>
#include <OgreSceneNode.h>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// The sample calibration (640 x 480) resized to the 320 x 240 frames the
// tests render.
ARParam sampleCalibration()
{
    ARParam loaded{}, resized{};
    EXPECT_EQ(arParamLoad(kwo::test::sampleFile("camera_para.dat").c_str(), 1, &loaded), 0);
    EXPECT_EQ(arParamChangeSize(&loaded, 320, 240, &resized), 0);
    return resized;
}

TEST(Projection, DepthRowsAndSignsOfTheMatrix)
{
    KWO_NEED_SAMPLE_FILE("camera_para.dat");
    const ARParam camera = sampleCalibration();
    const Ogre::Matrix4 m = kwo::computeProjection(camera, 5, 2000);
    // Depth maps near to -1 and far to +1 along the engine camera's -Z.
    for (const auto& [depth, ndc] : {std::pair{5.0f, -1.0f}, std::pair{2000.0f, 1.0f}}) {
        const Ogre::Vector4 clip = m * Ogre::Vector4(0, 0, -depth, 1);
        EXPECT_NEAR(clip.z / clip.w, ndc, 1e-4) << depth;
    }
    EXPECT_EQ(m[3][0], 0);
    EXPECT_EQ(m[3][1], 0);
    EXPECT_EQ(m[3][2], -1);
    EXPECT_EQ(m[3][3], 0);
}

TEST(Projection, PointsLandOnTheirPixelsToTheRow)
{
    // A marker node carrying an exact pose puts every point of the marker
    // where the calibration's pinhole puts it: no tolerance a one-row or
    // one-column slip could hide in.
    KWO_NEED_SAMPLE_FILE("camera_para.dat");
    const ARParam camera = sampleCalibration();
    kwo::test::EngineWithoutDisplay engine;
    Ogre::Camera* viewer = engine.sceneManager()->createCamera("KWO/Camera/00000000");
    viewer->setCustomProjectionMatrix(true, kwo::computeProjection(camera, 5, 2000));
    Ogre::SceneNode* trackingRoot = engine.sceneManager()->getRootSceneNode()->createChildSceneNode();
    trackingRoot->rotate(Ogre::Vector3::UNIT_X, Ogre::Degree(180));
    Ogre::SceneNode* marker = trackingRoot->createChildSceneNode();

    struct Pose {
        double tiltX, tiltY, spin, x, y, z;
    };
    // Near the centre and near the corners of the picture, where a slip of
    // the origin and a wrong scale show differently.
    const Pose poses[] = {{0, 0, 0, 0, 0, 400}, {30, -20, 40, 120, -80, 450}, {-40, 10, 200, -140, 95, 380},
                          {10, 45, 300, 150, 100, 900}};
    for (const Pose& p : poses) {
        double pose[3][4];
        kwo::synthetic::makePose(p.tiltX, p.tiltY, p.spin, p.x, p.y, p.z, pose);
        Ogre::Matrix3 rotation;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                rotation[r][c] = static_cast<Ogre::Real>(pose[r][c]);
        marker->setOrientation(Ogre::Quaternion(rotation));
        marker->setPosition(static_cast<Ogre::Real>(pose[0][3]), static_cast<Ogre::Real>(pose[1][3]),
                            static_cast<Ogre::Real>(pose[2][3]));
        engine.updateSceneGraph();
        for (const auto& [mx, my] : {std::pair{0.0, 0.0}, std::pair{-41.5, 41.5}, std::pair{41.5, -41.5},
                                     std::pair{60.0, 20.0}}) {
            double ideal[2], observed[2];
            ASSERT_TRUE(kwo::synthetic::projectPoint(camera, pose, mx, my, ideal, observed));
            const Ogre::Vector3 world = marker->_getFullTransform() * Ogre::Vector3(float(mx), float(my), 0);
            const Ogre::Vector3 ndc = viewer->getProjectionMatrix() * (viewer->getViewMatrix() * world);
            // Columns count from the left edge; rows count from the bottom
            // edge, the picture's last row (index 239) being row 0 there.
            const double fromLeft = (ndc.x + 1) / 2 * 320;
            const double fromBottom = (ndc.y + 1) / 2 * 240;
            EXPECT_NEAR(fromLeft, ideal[0], 0.02) << "point " << mx << "," << my << " tilt " << p.tiltX;
            EXPECT_NEAR(fromBottom, 239 - ideal[1], 0.02) << "point " << mx << "," << my << " tilt " << p.tiltX;
        }
    }
}

TEST(Projection, TrackedMarkerCornersLandWhereTheyWereDrawn)
{
    KWO_NEED_SAMPLE_FILE("camera_para.dat");
    const ARParam camera = sampleCalibration();

    kwo::ar::Tracker tracker;
    ASSERT_TRUE(tracker.setCalibration(camera));
    const int slot = tracker.loadPattern(KWO_PROGRAM_DIR "/tracking/Quillmoth.pattern");
    ASSERT_GE(slot, 0);

    kwo::test::EngineWithoutDisplay engine;
    Ogre::SceneManager* scene = engine.sceneManager();
    Ogre::Camera* viewer = scene->createCamera("KWO/Camera/00000000");
    viewer->setCustomProjectionMatrix(true, kwo::computeProjection(camera, 5, 2000));
    Ogre::SceneNode* trackingRoot = scene->getRootSceneNode()->createChildSceneNode();
    trackingRoot->rotate(Ogre::Vector3::UNIT_X, Ogre::Degree(180));
    Ogre::SceneNode* marker = trackingRoot->createChildSceneNode();

    struct Pose {
        double tiltX, tiltY, spin, x, y, z;
    };
    const Pose poses[] = {{0, 0, 0, 0, 0, 400}, {30, -20, 40, 15, -10, 450}, {-40, 10, 200, -20, 15, 380}};
    for (const Pose& p : poses) {
        kwo::synthetic::PrintedMarker printed;
        printed.picture = kwo::synthetic::designPicture("Quillmoth");
        printed.width = 83;
        kwo::synthetic::makePose(p.tiltX, p.tiltY, p.spin, p.x, p.y, p.z, printed.pose);
        const kwo::synthetic::SyntheticFrame frame = kwo::synthetic::renderFrame(camera, {printed});

        tracker.resetHistory();
        const auto& found = tracker.detect(kwo::ar::FrameView::packed(frame.data(), frame.width, frame.height), 100);
        ASSERT_EQ(found.size(), 1u);
        ASSERT_EQ(found[0].id, slot);
        double transform[3][4];
        const double center[2] = {0, 0};
        ASSERT_GE(tracker.pose(found[0], center, 83, transform), 0);

        Ogre::Matrix3 rotation;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                rotation[r][c] = static_cast<Ogre::Real>(transform[r][c]);
        marker->setOrientation(Ogre::Quaternion(rotation));
        marker->setPosition(static_cast<Ogre::Real>(transform[0][3]), static_cast<Ogre::Real>(transform[1][3]),
                            static_cast<Ogre::Real>(transform[2][3]));
        engine.updateSceneGraph();

        // The projection is a pinhole: lens distortion (up to about 2 pixels
        // this far from the centre) is what remains.
        // Marker corners upper-left, upper-right, lower-right, lower-left as printed.
        const Ogre::Vector3 corners[4] = {{-41.5f, 41.5f, 0}, {41.5f, 41.5f, 0}, {41.5f, -41.5f, 0}, {-41.5f, -41.5f, 0}};
        for (int i = 0; i < 4; ++i) {
            const Ogre::Vector3 world = marker->_getFullTransform() * corners[i];
            const Ogre::Vector3 ndc = viewer->getProjectionMatrix() * (viewer->getViewMatrix() * world);
            const double px = (ndc.x + 1) / 2 * 320;
            const double py = (1 - ndc.y) / 2 * 240;
            EXPECT_NEAR(px, frame.markers[0].observed[i][0], 2.0) << "corner " << i << " tilt " << p.tiltX;
            EXPECT_NEAR(py, frame.markers[0].observed[i][1], 2.0) << "corner " << i << " tilt " << p.tiltX;
            // Without the distortion, which the calibration knows, only the
            // estimate's own error remains (a few hundredths of a pixel), in
            // the rows-from-the-bottom count of the projection.
            EXPECT_NEAR(px, frame.markers[0].ideal[i][0], 0.25) << "corner " << i << " tilt " << p.tiltX;
            EXPECT_NEAR((ndc.y + 1) / 2 * 240, 239 - frame.markers[0].ideal[i][1], 0.25)
                << "corner " << i << " tilt " << p.tiltX;
        }
    }
}

TEST(Projection, UndecomposableCalibrationStops)
{
    ARParam flat{};
    flat.xsize = 320;
    flat.ysize = 240;
    try {
        kwo::computeProjection(flat, 5, 2000);
        ADD_FAILURE();
    } catch (const kwo::Exception& e) {
        EXPECT_STREQ(e.what(), "arParamDecompMat error");
    }
}

} // namespace
