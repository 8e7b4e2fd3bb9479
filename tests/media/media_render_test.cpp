// Renders of the generated creatures on their ground with OGRE's GL render
// system under the virtual display. The pictures are kept in the build folder
// (tests/media/renders) for a person to look at.

#include "studio.h"

#include <OGRE/OgreMath.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>

namespace {

const std::string graphics = std::string(KWO_PROGRAM_DIR) + "/media/graphics/";

std::string renderFolder()
{
    const std::string folder = KWO_RENDER_DIR;
    std::filesystem::create_directories(folder);
    return folder;
}

// Share of the picture's pixels whose colour is saturated and lies within a
// hue window (degrees, may wrap past 360).
double hueShare(const kwo::media::Photo& photo, float fromHue, float toHue)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < photo.rgba.size(); i += 4) {
        const float r = photo.rgba[i] / 255.0f, g = photo.rgba[i + 1] / 255.0f, b = photo.rgba[i + 2] / 255.0f;
        const float high = std::max({r, g, b}), low = std::min({r, g, b});
        if (high < 0.2f || high - low < 0.35f * high) {
            continue;
        }
        float hue = high == r ? 60.0f * (g - b) / (high - low) : high == g ? 60.0f * (2.0f + (b - r) / (high - low))
                                                                         : 60.0f * (4.0f + (r - g) / (high - low));
        if (hue < 0) {
            hue += 360.0f;
        }
        const bool inside = fromHue <= toHue ? hue >= fromHue && hue <= toHue : hue >= fromHue || hue <= toHue;
        count += inside;
    }
    return static_cast<double>(count) / (photo.width * photo.height);
}

double changedShare(const kwo::media::Photo& a, const kwo::media::Photo& b)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < a.rgba.size(); i += 4) {
        int difference = 0;
        for (int c = 0; c < 3; ++c) {
            difference = std::max(difference, std::abs(a.rgba[i + c] - b.rgba[i + c]));
        }
        count += difference > 24;
    }
    return static_cast<double>(count) / (a.width * a.height);
}

class MediaRender : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        studio = std::make_unique<kwo::media::Studio>(
            KWO_OGRE_PLUGIN_DIR,
            std::vector<std::string>{graphics + "Quillmoth.dat", graphics + "Brackenjaw.dat", graphics + "Sliverfin.dat",
                                     graphics + "Mossglider.dat", graphics + "Decor.dat"},
            renderFolder() + "/ogre.log");
    }
    static void TearDownTestSuite() { studio.reset(); }

    static kwo::media::Shot shotOf(const std::string& mesh, float time)
    {
        kwo::media::Shot shot;
        shot.eye = {-110, 90, -160};   // in front of the creature, to its right
        shot.target = {0, 30, 0};
        shot.background = Ogre::ColourValue(0.5f, 0.5f, 0.5f);   // grey: no hue of its own
        kwo::media::Actor actor;
        actor.mesh = mesh;
        actor.animation = "idle";
        actor.time = time;
        shot.actors.push_back(actor);
        return shot;
    }

    static inline std::unique_ptr<kwo::media::Studio> studio;
};

struct CreatureLook {
    std::string name;
    float idleLength;           // seconds
    float fromHue, toHue;       // a hue of the creature the mossy ground does not have
    double least, most;         // share of the picture in that hue; garbled colours fall outside either way
};

TEST_F(MediaRender, EachCreatureMovesAndShowsItsColours)
{
    const std::vector<CreatureLook> looks = {
        {"Quillmoth", 3.0f, 205, 235, 0.001, 0.01},   // blue eyespots, only in the wing texture
        {"Brackenjaw", 3.2f, 10, 30, 0.05, 0.3},      // rusty hide
        {"Sliverfin", 2.4f, 185, 215, 0.005, 0.05},   // blue back
        {"Mossglider", 3.6f, 340, 15, 0.003, 0.03},   // pink ears and nose
    };
    for (const CreatureLook& look : looks) {
        SCOPED_TRACE(look.name);
        const auto early = studio->take(shotOf(look.name + ".mesh", 0.0f));
        const auto later = studio->take(shotOf(look.name + ".mesh", look.idleLength / 4));
        early.save(renderFolder() + "/" + look.name + "-idle-0.png", false);
        later.save(renderFolder() + "/" + look.name + "-idle-quarter.png", false);

        std::cout << look.name << ": " << changedShare(early, later) * 100 << "% of pixels move, " << hueShare(early, look.fromHue, look.toHue) * 100
                  << "% in its hue\n";
        EXPECT_GT(changedShare(early, later), 0.01) << "the idle animation moves the creature";
        const double share = hueShare(early, look.fromHue, look.toHue);
        EXPECT_GT(share, look.least) << "colours and texture coordinates survive skinning";
        EXPECT_LT(share, look.most) << "colours and texture coordinates survive skinning";
        // A full loop later the pose is the one it started with.
        const auto looped = studio->take(shotOf(look.name + ".mesh", look.idleLength));
        EXPECT_LT(changedShare(early, looped), 0.002);
    }
}

// The mossy ground alone carries no creature hue, so the colour checks above
// cannot pass on the ground's account.
TEST_F(MediaRender, GroundAloneHasNoneOfTheCreatureHues)
{
    kwo::media::Shot shot = shotOf("Quillmoth.mesh", 0.0f);
    shot.actors.front().mesh = "Ground.mesh";
    shot.actors.front().animation.clear();
    shot.actors.front().ground = false;
    const auto ground = studio->take(shot);
    ground.save(renderFolder() + "/Ground.png", false);
    EXPECT_LT(hueShare(ground, 10, 50), 0.0005);
    EXPECT_LT(hueShare(ground, 185, 235), 0.0005);
    EXPECT_LT(hueShare(ground, 340, 15), 0.0001);
    EXPECT_GT(hueShare(ground, 60, 120), 0.2) << "the plate is green";
}

// As in a collision: each collision node points its -Z at the partner, and the
// configured half turn about the up axis makes a creature modelled facing +Z
// face its partner.
TEST_F(MediaRender, CollidingCreaturesFaceEachOther)
{
    kwo::media::Shot shot;
    shot.width = 480;
    shot.height = 240;
    shot.eye = {0, 110, -230};
    shot.target = {0, 25, 0};
    shot.background = Ogre::ColourValue(0.5f, 0.5f, 0.5f);
    for (const auto& [mesh, x, partner] : {std::tuple{"Quillmoth.mesh", -50.0f, 1}, std::tuple{"Brackenjaw.mesh", 50.0f, 0}}) {
        kwo::media::Actor actor;
        actor.mesh = mesh;
        actor.animation = "collision";
        actor.time = 0.3f;
        actor.marker = {x, 0, 0};
        actor.partner = partner;
        shot.actors.push_back(actor);
    }
    const auto photo = studio->take(shot);
    photo.save(renderFolder() + "/collision.png", false);
    ASSERT_EQ(photo.facing.size(), 2u);
    EXPECT_GT(photo.facing[0].dotProduct(Ogre::Vector3::UNIT_X), 0.999f) << photo.facing[0];
    EXPECT_GT(photo.facing[1].dotProduct(Ogre::Vector3::NEGATIVE_UNIT_X), 0.999f) << photo.facing[1];

    // Without a partner the configured half turn faces the marker's +Y edge (world -Z here).
    shot.actors[0].partner = shot.actors[1].partner = -1;
    const auto apart = studio->take(shot);
    EXPECT_GT(apart.facing[0].dotProduct(Ogre::Vector3::NEGATIVE_UNIT_Z), 0.999f) << apart.facing[0];
}

} // namespace
