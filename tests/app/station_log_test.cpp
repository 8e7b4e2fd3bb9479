// The engine log of a normal run says what the station started with: the
// camera and its mode, the calibration file and its size, every pattern
// file and the threshold mode, so the log alone tells a run's set-up.
#include "tests/app/viewer_session.h"

#include <gtest/gtest.h>

namespace kwo::test {
namespace {

TEST(StationLog, ARunNamesItsCameraCalibrationPatternsAndThresholdMode)
{
    ViewerSession viewer(viewerDocument(R"({
        "media": { "locations": [ "./media/graphics/Core.dat", "./media/graphics/Quillmoth.dat",
                                  "./media/graphics/Sliverfin.dat", "./media/graphics/Decor.dat" ] },
        "tracking": { "threshold": "auto", "objects": [
            { "name": "Quillmoth", "pattern": { "file": "tracking/Quillmoth.pattern", "size": 83 } },
            { "name": "Sliverfin", "pattern": { "file": "tracking/Sliverfin.pattern", "size": 60 } } ] }
    })"));
    ASSERT_FALSE(viewer.start().empty()) << viewer.process().errorSoFar();
    viewer.press("Escape");
    const ProcessResult result = viewer.finish();
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::string log = viewer.folder.read("ogre.log");
    for (const std::string& line : {
             std::string("Camera: 'still.mkv' (clip file "),
             std::string("still.mkv), frames 320x240\n"),
             std::string("Calibration: 'tracking/camera.dat' (tracking/params), made for 640x480 frames, used for "
                         "320x240, field of view "),
             std::string("Pattern: 'tracking/Quillmoth.pattern' (tracking/objects[0]/pattern/file), 83 mm, for "
                         "Quillmoth\n"),
             std::string("Pattern: 'tracking/Sliverfin.pattern' (tracking/objects[1]/pattern/file), 60 mm, for "
                         "Sliverfin\n"),
             std::string("Threshold mode: auto, chosen for every frame from the picture\n"),
         })
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

TEST(StationLog, AFixedThresholdIsLoggedWithItsValue)
{
    ViewerSession viewer(viewerDocument(R"({ "tracking": { "threshold": 85 } })"));
    ASSERT_FALSE(viewer.start().empty()) << viewer.process().errorSoFar();
    viewer.press("Escape");
    const ProcessResult result = viewer.finish();
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::string log = viewer.folder.read("ogre.log");
    EXPECT_NE(log.find("Threshold mode: fixed, tracking/threshold 85\n"), std::string::npos) << log;
}

} // namespace
} // namespace kwo::test
