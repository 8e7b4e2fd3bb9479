// The station package: what it holds, what it depends on, and its programs
// run from the unpacked root.
#include "tests/package/package_fixture.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/screen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace kwo::test {
namespace {

bool haveCommand(const std::string& name)
{
    return run({"sh", "-c", "command -v " + name}).exitCode == 0;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

TEST_F(Package, NamedForItsVersionAndArchitecture)
{
    EXPECT_EQ(fs::path(deb).filename().string(), "kwo_" KWO_VERSION "_amd64.deb");
    EXPECT_EQ(field("Package"), "kwo\n");
    EXPECT_EQ(field("Version"), KWO_VERSION "\n");
}

TEST_F(Package, FileListHoldsTheStationAndNothingOfARun)
{
    const ProcessResult listing = run({"dpkg-deb", "--contents", deb});
    ASSERT_EQ(listing.exitCode, 0) << listing.err;
    // "./opt/kwo/kwo" and so on: the last word of each line, without "./"
    // (and without a link's " -> target").
    std::vector<std::string> paths;
    for (const std::string& line : lines(listing.out)) {
        std::string entry = line.substr(line.find("./") + 1);
        if (const auto arrow = entry.find(" -> "); arrow != std::string::npos)
            entry.resize(arrow);
        paths.push_back(entry);
    }
    const auto has = [&](const std::string& path) {
        return std::find(paths.begin(), paths.end(), path) != paths.end();
    };

    for (const char* path : {
             "/opt/kwo/kwo", "/opt/kwo/kwo-make-clip", "/usr/bin/kwo", "/usr/bin/kwo-make-clip",
             "/opt/kwo/kwo-make-marker", "/usr/bin/kwo-make-marker", "/usr/share/man/man1/kwo-make-marker.1.gz",
             "/opt/kwo/media/graphics/Core.dat", "/opt/kwo/media/graphics/Quillmoth.dat",
             "/opt/kwo/media/graphics/Brackenjaw.dat", "/opt/kwo/media/graphics/Sliverfin.dat",
             "/opt/kwo/media/graphics/Mossglider.dat", "/opt/kwo/media/graphics/Decor.dat",
             "/opt/kwo/tracking/camera.dat", "/opt/kwo/tracking/markers.pdf",
             "/opt/kwo/tracking/Quillmoth.pattern", "/opt/kwo/tracking/Brackenjaw.pattern",
             "/opt/kwo/tracking/Sliverfin.pattern", "/opt/kwo/tracking/Mossglider.pattern",
             "/usr/lib/systemd/user/kwo.service", "/usr/share/applications/kwo.desktop",
             "/usr/share/icons/hicolor/128x128/apps/kwo.png", "/usr/share/man/man1/kwo.1.gz",
             "/usr/share/man/man1/kwo-make-clip.1.gz", "/usr/share/doc/kwo/copyright",
             "/opt/kwo/kwo-calibrate", "/usr/bin/kwo-calibrate", "/usr/share/man/man1/kwo-calibrate.1.gz",
             "/usr/share/doc/kwo/changelog.gz", "/etc/xdg/autostart/kwo-kiosk.desktop"})
        EXPECT_TRUE(has(path)) << path << " missing from\n" << listing.out;
    // The commands on the search path lead to the program folder.
    for (const char* link : {"./usr/bin/kwo -> /opt/kwo/kwo\n", "./usr/bin/kwo-make-clip -> /opt/kwo/kwo-make-clip\n",
                             "./usr/bin/kwo-make-marker -> /opt/kwo/kwo-make-marker\n",
                             "./usr/bin/kwo-calibrate -> /opt/kwo/kwo-calibrate\n"})
        EXPECT_NE(listing.out.find(link), std::string::npos) << link;

    // A station's documents and what a run or the build leaves beside the
    // program: installing or upgrading must never bring or replace them.
    for (const std::string& path : paths) {
        const std::string name = fs::path(path).filename().string();
        for (const char* forbidden : {"kwo.config", "user.config", "user.config.new", "ogre.log", "demo.config"})
            EXPECT_NE(name, forbidden) << path;
        EXPECT_NE(fs::path(path).extension(), ".mkv") << path << ": clips are not for stations";
        EXPECT_EQ(name.find("test"), std::string::npos) << path;
        EXPECT_EQ(name.find("bench"), std::string::npos) << path;
    }
}

TEST_F(Package, DependsOnWhatTheProgramsLinkAndLoad)
{
    const std::string depends = field("Depends");
    // Found by dpkg-shlibdeps from the links: the engine, the toolkit, the video library.
    for (const char* linked : {"libogre1.12.10", "libgtk-3-0", "libgstreamer1.0-0", "libsdl2-2.0-0"})
        EXPECT_NE(depends.find(linked), std::string::npos) << linked << " not in " << depends;
    // Loaded at run time, declared by hand.
    for (const char* loaded : {"gstreamer1.0-plugins-base", "gstreamer1.0-plugins-good", "libgl1-mesa-dri", "fonts-dejavu-core"})
        EXPECT_NE(depends.find(loaded), std::string::npos) << loaded << " not in " << depends;
    // An instrumented build would pull in the sanitizer's run time.
    EXPECT_EQ(depends.find("libasan"), std::string::npos) << depends;
    EXPECT_GT(std::stol("0" + field("Installed-Size")), 1000) << "kilobytes";
}

TEST_F(Package, UnpackedProgramFolderRunsTheViewer)
{
    const std::string folder = unpacked() + "/opt/kwo";
    ASSERT_TRUE(fs::exists(folder + "/kwo"));

    // A red, green, blue and white clip made by the packaged tool, played as the camera.
    TempDir clips;
    const std::string clip = clips.file("bars.mkv");
    const ProcessResult made = run(
        {folder + "/kwo-make-clip", "--size", "320x240", "--seconds", "2", "--pattern", "bars", clip});
    ASSERT_EQ(made.exitCode, 0) << made.err;

    // The defaults as shipped, started from elsewhere: the program finds its
    // folder itself. Full screen, the 800x600 picture centred on black.
    Process viewer({folder + "/kwo"}, clips.path(), {"KWO_CLIP_CAMERAS=" + clip});
    const std::string window = waitForWindow("^Telvarin$", 60);
    if (window.empty()) {
        kill(viewer.pid(), SIGTERM);
        FAIL() << "no window; standard error:\n" << viewer.wait(std::chrono::seconds(30)).err;
    }
    struct Spot {
        const char* what;
        int x, y; // in the 800x600 picture; the camera picture is 502x377 at 250, 90
        bool red, green, blue;
    };
    const Spot spots[] = {
        {"camera picture, top left: red", 250 + 125, 90 + 94, true, false, false},
        {"camera picture, top right: green", 250 + 376, 90 + 94, false, true, false},
        {"camera picture, bottom left: blue", 250 + 125, 90 + 282, false, false, true},
        {"camera picture, bottom right: white", 250 + 376, 90 + 282, true, true, true},
    };
    const auto lit = [](const Picture::Pixel& p, const Spot& spot) {
        const auto on = [](int value, bool wanted) { return wanted ? value > 190 : value < 70; };
        return on(p.r, spot.red) && on(p.g, spot.green) && on(p.b, spot.blue);
    };
    // The first frames may take a while on a busy machine: look again for a
    // few seconds before judging.
    Picture picture;
    int left = 0, top = 0;
    for (int attempt = 0; attempt < 10; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        picture = captureWindow(window);
        ASSERT_GE(picture.width, 800);
        ASSERT_GE(picture.height, 600);
        left = (picture.width - 800) / 2;
        top = (picture.height - 600) / 2;
        if (std::all_of(std::begin(spots), std::end(spots),
                        [&](const Spot& spot) { return lit(picture.at(left + spot.x, top + spot.y), spot); }))
            break;
    }
    for (const Spot& spot : spots) {
        const Picture::Pixel p = picture.at(left + spot.x, top + spot.y);
        EXPECT_TRUE(lit(p, spot)) << spot.what << ": " << p.r << "," << p.g << "," << p.b;
    }
    // The backdrop from the packaged media fills the picture around the camera picture.
    const Picture::Pixel backdrop = picture.at(left + 120, top + 300);
    EXPECT_GT(backdrop.r + backdrop.g + backdrop.b, 60) << "backdrop missing at 120, 300";

    // How the kiosk unit stops it.
    kill(viewer.pid(), SIGTERM);
    const ProcessResult result = viewer.wait(std::chrono::seconds(30));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err.find("Exception"), std::string::npos) << result.err;
    // The folder the package makes writable for the group is where a run writes.
    EXPECT_TRUE(fs::exists(folder + "/user.config"));
    EXPECT_TRUE(fs::exists(folder + "/ogre.log"));
}

TEST_F(Package, UnpackedMarkerToolComparesWithThePackagedPatterns)
{
    // Started from elsewhere, the tool finds the station's patterns in its
    // own folder, as the viewer would.
    const std::string folder = unpacked() + "/opt/kwo";
    TempDir out;
    const ProcessResult made = run({folder + "/kwo-make-marker", "--text", "F", "-o", out.file("F")}, out.path());
    ASSERT_EQ(made.exitCode, 0) << made.err;
    EXPECT_NE(made.out.find(folder + "/tracking/Mossglider.pattern (tracking/objects[3]/pattern/file)"),
              std::string::npos)
        << made.out;
    for (const char* extension : {".pattern", ".png", ".pdf"})
        EXPECT_TRUE(fs::exists(out.file(std::string("F") + extension))) << extension;
}

TEST_F(Package, LintianFindsNoError)
{
    if (!haveCommand("lintian"))
        GTEST_SKIP() << "lintian is not installed (scripts/setup installs it)";
    const ProcessResult result =
        run({"lintian", "--fail-on", "error", "--display-info", deb}, "", {}, std::chrono::minutes(5));
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    for (const std::string& line : lines(result.out))
        EXPECT_NE(line.rfind("E: ", 0), 0u) << line;
    // Warnings and notes are allowed; the log shows them.
    std::cout << result.out;
}

TEST_F(Package, SystemdAcceptsTheKioskUnit)
{
    if (!haveCommand("systemd-analyze"))
        GTEST_SKIP() << "systemd-analyze is not installed (scripts/setup installs systemd)";
    const std::string root = unpacked();
    // A user unit is checked by a user manager, which wants a runtime folder
    // of its own; and it checks that the command exists, so the packaged unit
    // points into the unpacked root here, and that its manual page exists,
    // which is looked up in the unpacked root too.
    TempDir scratchUnits;
    const std::string unit = readFile(root + "/usr/lib/systemd/user/kwo.service");
    std::string moved = unit;
    for (std::size_t at = 0; (at = moved.find("/opt/kwo/", at)) != std::string::npos; at += root.size() + 9)
        moved.replace(at, 9, root + "/opt/kwo/");
    EXPECT_NE(moved, unit) << "the unit does not start /opt/kwo/...";
    scratchUnits.write("kwo.service", moved);
    const std::string runtime = scratchUnits.file("runtime");
    fs::create_directory(runtime);
    fs::permissions(runtime, fs::perms::owner_all);

    const ProcessResult result =
        run({"systemd-analyze", "--user", "verify", scratchUnits.file("kwo.service")}, "",
            {"XDG_RUNTIME_DIR=" + runtime, "MANPATH=" + root + "/usr/share/man"});
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    // Unknown keys and bad values are only warned about.
    EXPECT_EQ(result.out + result.err, "");
}

} // namespace
} // namespace kwo::test
