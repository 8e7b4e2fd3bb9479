#include "video/camera_choice.h"
#include "video/camera_dialog.h"
#include "video/clip_cameras.h"
#include "video/video_devices.h"

#include "config/exception.h"

#include <gtest/gtest.h>
#include <json/reader.h>

#include <optional>
#include <stdexcept>

namespace {

// A stand-in for the dialog: records what it was asked and gives a fixed answer.
struct FakeDialog {
    std::string answer;
    int calls = 0;
    kwo::CameraList shown;
    std::string remembered;

    kwo::CameraChooser chooser()
    {
        return [this](const kwo::CameraList& cameras, const std::string& name) {
            ++calls;
            shown = cameras;
            remembered = name;
            return answer;
        };
    }
};

Json::Value userDocument(const std::string& text)
{
    Json::Value value;
    Json::Reader reader;
    EXPECT_TRUE(reader.parse(text, value)) << text;
    return value;
}

TEST(SelectCamera, NoCameraIsAnError)
{
    FakeDialog dialog;
    Json::Value user = userDocument(R"({"camera": "Old"})");
    try {
        kwo::selectCamera({}, user, dialog.chooser());
        FAIL() << "no exception";
    } catch (const kwo::Exception& error) {
        EXPECT_STREQ(error.what(), "No camera");
    }
    EXPECT_EQ(dialog.calls, 0);
    EXPECT_EQ(user, userDocument(R"({"camera": "Old"})"));
}

TEST(SelectCamera, TheOnlyCameraIsTakenWithoutAskingOrReading)
{
    FakeDialog dialog;
    // A remembered value that cannot be read as a name must not matter here.
    for (const char* document : {R"({"camera": "Other"})", R"({})", R"({"camera": 12})"}) {
        SCOPED_TRACE(document);
        Json::Value user = userDocument(document);
        EXPECT_EQ(kwo::selectCamera({"Only"}, user, dialog.chooser()), "Only");
        EXPECT_EQ(user["camera"], Json::Value("Only"));
    }
    EXPECT_EQ(dialog.calls, 0);
}

TEST(SelectCamera, SeveralCamerasAskWithTheRememberedName)
{
    const struct {
        const char* document;
        const char* remembered;
    } cases[] = {
        {R"({"camera": "B"})", "B"},
        {R"({})", ""},
        {R"({"camera": null})", ""},
        {R"({"camera": true})", "true"},
        {R"({"camera": "not listed", "other": 1})", "not listed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.document);
        FakeDialog dialog;
        dialog.answer = "B";
        Json::Value user = userDocument(c.document);
        EXPECT_EQ(kwo::selectCamera({"A", "B"}, user, dialog.chooser()), "B");
        EXPECT_EQ(dialog.calls, 1);
        EXPECT_EQ(dialog.shown, (kwo::CameraList{"A", "B"}));
        EXPECT_EQ(dialog.remembered, c.remembered);
        EXPECT_EQ(user["camera"], Json::Value("B"));
    }
}

TEST(SelectCamera, OtherMembersOfTheUserDocumentStay)
{
    FakeDialog dialog;
        dialog.answer = "A";
    Json::Value user = userDocument(R"({"camera": "B", "note": [1, 2]})");
    kwo::selectCamera({"A", "B"}, user, dialog.chooser());
    EXPECT_EQ(user, userDocument(R"({"camera": "A", "note": [1, 2]})"));
}

// The technician's notes on the camera survive a new choice, whether one
// camera is taken or one of several is picked.
TEST(SelectCamera, CommentsOnTheOldCameraStay)
{
    for (const kwo::CameraList& cameras : {kwo::CameraList{"A"}, kwo::CameraList{"A", "B"}}) {
        FakeDialog dialog;
        dialog.answer = "A";
        Json::Value user = userDocument("{\n// the east camera\n\"camera\": \"B\" // moved in May\n}");
        kwo::selectCamera(cameras, user, dialog.chooser());
        EXPECT_EQ(user["camera"], Json::Value("A"));
        EXPECT_EQ(user["camera"].getComment(Json::commentBefore), "// the east camera");
        EXPECT_EQ(user["camera"].getComment(Json::commentAfterOnSameLine), "// moved in May");
    }
}

TEST(SelectCamera, DecliningEndsTheProcessWithCodeZeroAndTouchesNothing)
{
    FakeDialog dialog;
        dialog.answer = "";
    Json::Value user = userDocument(R"({"camera": "B"})");
    try {
        kwo::selectCamera({"A", "B"}, user, dialog.chooser());
        FAIL() << "no exit";
    } catch (const kwo::ProcessExit& exit) {
        EXPECT_EQ(exit.code, 0);
    }
    EXPECT_EQ(user, userDocument(R"({"camera": "B"})"));
}

TEST(SelectCamera, ARememberedValueThatIsNoNameIsAnError)
{
    for (const char* document : {R"({"camera": 3})", R"({"camera": [1]})", R"({"camera": {}})"}) {
        SCOPED_TRACE(document);
        FakeDialog dialog;
        dialog.answer = "A";
        Json::Value user = userDocument(document);
        EXPECT_THROW(kwo::selectCamera({"A", "B"}, user, dialog.chooser()), std::runtime_error);
        EXPECT_EQ(dialog.calls, 0);
    }
}

TEST(PreselectedCamera, LastMatchWinsElseTheFirst)
{
    const struct {
        kwo::CameraList cameras;
        const char* remembered;
        std::size_t expected;
    } cases[] = {
        {{"A", "B"}, "B", 1},
        {{"A", "B"}, "A", 0},
        {{"A", "B"}, "", 0},
        {{"A", "B"}, "C", 0},
        {{"A", "A"}, "A", 1},
        {{"A", "B", "A", "C"}, "A", 2},
        {{"Cam"}, "cam", 0}, // exact comparison
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.remembered);
        EXPECT_EQ(kwo::preselectedCamera(c.cameras, c.remembered), c.expected);
    }
}

TEST(ClipCameras, NamesAreFileNamesInTheGivenOrder)
{
    const std::vector<kwo::VideoDevice> clips = kwo::clipCameras("/a/b/one.mkv::two.mkv:/x/one.mkv:rel/dir/three:");
    ASSERT_EQ(clips.size(), 4u);
    const char* names[] = {"one.mkv", "two.mkv", "one.mkv", "three"};
    const char* paths[] = {"/a/b/one.mkv", "two.mkv", "/x/one.mkv", "rel/dir/three"};
    for (std::size_t i = 0; i < clips.size(); ++i) {
        EXPECT_EQ(clips[i].kind, kwo::VideoDevice::Kind::Clip);
        EXPECT_EQ(clips[i].name, names[i]);
        EXPECT_EQ(clips[i].location, paths[i]);
    }
    EXPECT_TRUE(kwo::clipCameras("").empty());
    EXPECT_TRUE(kwo::clipCameras(":::").empty());
}

TEST(DevicePaths, SortInTheSystemsNumbering)
{
    const struct {
        const char* a;
        const char* b;
        bool less;
    } cases[] = {
        {"/dev/video0", "/dev/video1", true},   {"/dev/video1", "/dev/video0", false},
        {"/dev/video2", "/dev/video10", true},  {"/dev/video10", "/dev/video2", false},
        {"/dev/video02", "/dev/video2", false}, {"/dev/video2", "/dev/video02", false},
        {"/dev/video", "/dev/video0", true},    {"/dev/video0", "/dev/video0", false},
        {"/dev/media1", "/dev/video0", true},   {"/dev/video9x", "/dev/video10", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << " < " << c.b);
        EXPECT_EQ(kwo::devicePathLess(c.a, c.b), c.less);
    }
}

TEST(ChooseCamera, WithoutADisplayTakesTheRememberedCameraOnlyWhenListed)
{
    // No display can be opened in this process for this test.
    const char* display = std::getenv("DISPLAY");
    const std::string saved = display ? display : "";
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    testing::internal::CaptureStderr();
    const std::string listed = kwo::chooseCamera({"A", "B"}, "B");
    const std::string notListed = kwo::chooseCamera({"A", "B"}, "C");
    const std::string none = kwo::chooseCamera({"A", "B"}, "");
    const std::string err = testing::internal::GetCapturedStderr();
    if (display)
        setenv("DISPLAY", saved.c_str(), 1);
    EXPECT_EQ(listed, "B");
    EXPECT_EQ(notListed, "");
    EXPECT_EQ(none, "");
    EXPECT_NE(err.find("  A\n  B\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Remembered camera: C"), std::string::npos) << err;
}

} // namespace
