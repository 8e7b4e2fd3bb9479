// Sliverfin: a slender upright swimmer in the manner of a seahorse, its tail
// curled on the ground, a coral sail fin on its back, fluttering side fins,
// a crest on the head and a long snout.

#include "motion.h"
#include "sweep.h"

namespace kwo::media {

namespace {

using V = Ogre::Vector3;

const Ogre::ColourValue back = rgb(0x2b7896);
const Ogre::ColourValue silver = rgb(0xdceef4);
const Ogre::ColourValue shimmer = rgb(0x7fc6d8);
const Ogre::ColourValue coral = rgb(0xff8a66);
const Ogre::ColourValue ray = rgb(0xc8462e);

// Colour of a part in the body's plane: `front` is +1 on the belly (+Z), -1 on the back.
Ogre::ColourValue scales(float u, float front)
{
    Ogre::ColourValue c = mix(back, silver, smooth((front + 0.3f) / 0.9f));
    const float ring = std::sin(u * Ogre::Math::PI * 34.0f);
    return mix(c, shimmer, 0.35f * smooth(ring * 2.0f) * (1.0f - smooth(front)));
}

void addFin(Surface& surface, const V& base, const V& tip, const V& thin, float width, std::function<Skin(float)> skin)
{
    Sweep fin;
    fin.spine = curveOf({base, base + (tip - base) * 0.5f + thin * 0.0f, tip});
    fin.side = thin;
    fin.radius = [width](float u) { return Ogre::Vector2(0.5f * capsule(u, 0.1f), width * leaf(u, 0.4f) + 0.01f); };
    fin.colour = [](float u, float around) {
        const float across = std::sin(Ogre::Math::TWO_PI * around);
        const float rays = std::abs(std::sin(across * 7.0f + u * 0.5f));
        return mix(mix(coral, ray, smooth((0.25f - rays) / 0.2f)), rgb(0xffd2b8), smooth((u - 0.75f) / 0.25f));
    };
    fin.skin = std::move(skin);
    fin.rings = 14;
    fin.sides = 18;
    addSweep(surface, fin);
}

} // namespace

Model makeSliverfin()
{
    Model model;
    model.name = "Sliverfin";
    model.bones = {
        {"root", "", V(0, 0, 0)},
        {"spine1", "root", V(0, 12, 3)},
        {"spine2", "spine1", V(0, 27, -1)},
        {"spine3", "spine2", V(0, 43, -3)},
        {"head", "spine3", V(0, 57, 4)},
        {"dorsal", "spine2", V(0, 34, -6)},
        {"fin.L", "spine3", V(5, 47, 1)},
        {"fin.R", "spine3", V(-5, 47, 1)},
        {"crest", "head", V(0, 66, 8)},
    };
    auto bone = [&model](const char* name) { return model.boneIndex(name); };
    Surface& body = model.surfaces["Sliverfin/Body"];
    Surface& eyes = model.surfaces["Sliverfin/Eyes"];
    model.finishes["Sliverfin/Body"] = Finish{0.55f, 30.0f, {}};   // wet and shiny
    model.finishes["Sliverfin/Eyes"] = Finish{0.9f, 60.0f, {}};

    // The body: a tail curled on the ground rising into an S to the neck.
    Sweep trunk;
    trunk.spine = curveOf({V(0, 5, -13), V(0, 2.5f, -5), V(0, 4.5f, 2), V(0, 13, 4), V(0, 25, 0), V(0, 37, -4), V(0, 48, -2),
                           V(0, 56, 3), V(0, 61, 9)});
    trunk.radius = [](float u) {
        const float r = 1.3f + 6.0f * smooth((u - 0.12f) / 0.45f) - 2.3f * smooth((u - 0.68f) / 0.22f);
        return Ogre::Vector2(0.72f * r, r) * capsule(u, 0.04f);
    };
    trunk.colour = [](float u, float around) { return scales(u, -std::sin(Ogre::Math::TWO_PI * around)); };
    trunk.skin = [&](float u) {
        return chain({{0.18f, bone("root")}, {0.35f, bone("spine1")}, {0.55f, bone("spine2")}, {0.75f, bone("spine3")}, {0.93f, bone("head")}}, u);
    };
    trunk.rings = 56;
    trunk.sides = 16;
    addSweep(body, trunk);

    Sweep head;
    head.spine = line(V(0, 59.5f, 4), V(0, 65, 19));
    head.radius = [](float u) { return Ogre::Vector2(4.6f, 5.6f) * ellipse(u); };
    head.side = V::UNIT_X;
    head.colour = [](float u, float around) { return scales(u, -std::sin(Ogre::Math::TWO_PI * around) * 0.8f - 0.2f); };
    head.skin = [&](float) { return rigid(bone("head")); };
    head.rings = 16;
    head.sides = 16;
    addSweep(body, head);

    Sweep snout;
    snout.spine = curveOf({V(0, 63, 15), V(0, 62.5f, 24), V(0, 63.5f, 31)});
    snout.radius = [](float u) { return Ogre::Vector2(1.7f, 2.2f) * capsule(u, 0.12f) * (1.0f + 0.3f * smooth((u - 0.8f) / 0.2f)); };
    snout.colour = [](float u, float around) { return scales(u, -std::sin(Ogre::Math::TWO_PI * around)); };
    snout.skin = [&](float) { return rigid(bone("head")); };
    snout.rings = 12;
    snout.sides = 10;
    addSweep(body, snout);

    for (float sideSign : {1.0f, -1.0f}) {
        const V centre(3.8f * sideSign, 65.5f, 13.5f);
        Sweep eye;
        eye.spine = line(centre - V(0, 0, 2.6f), centre + V(0, 0, 2.6f));
        eye.radius = [](float u) { return Ogre::Vector2(2.6f, 2.6f) * ellipse(u); };
        eye.colour = [](float u, float) { return u > 0.6f && u < 0.8f ? rgb(0xe0b040) : rgb(0x101820); };   // a golden iris ring
        eye.skin = [&](float) { return rigid(bone("head")); };
        eye.rings = 10;
        eye.sides = 12;
        addSweep(eyes, eye);
    }

    // The sail on the back, the side fins, and the crest behind the head.
    addFin(body, V(0, 34, -5.5f), V(0, 38, -21), V::UNIT_X, 13.0f, [&](float u) { return blend(bone("spine2"), bone("dorsal"), u / 0.2f); });
    addFin(body, V(4.5f, 47, 1), V(14, 45, -4), V(0.45f, 0, 0.9f).normalisedCopy(), 4.5f, [&](float) { return rigid(bone("fin.L")); });
    addFin(body, V(-4.5f, 47, 1), V(-14, 45, -4), V(-0.45f, 0, 0.9f).normalisedCopy(), 4.5f, [&](float) { return rigid(bone("fin.R")); });
    addFin(body, V(0, 66, 8), V(0, 75, -2), V::UNIT_X, 3.5f, [&](float) { return rigid(bone("crest")); });
    addFin(body, V(0, 4.5f, -12), V(0, 5.5f, -20), V::UNIT_X, 3.0f, [&](float) { return rigid(bone("root")); });

    // Idle: a gentle sideways sway rolling up the body, fins fluttering.
    Clip idle{"idle", 2.4f, 41, {}};
    idle.channels.push_back({"spine1", [](float p) { return turn(V::UNIT_Z, 3.0f * wave(p, 1)) * turn(V::UNIT_X, 1.5f * wave(p, 1, 0.25f)); }, {}});
    idle.channels.push_back({"spine2", [](float p) { return turn(V::UNIT_Z, 4.0f * wave(p, 1, -0.1f)) * turn(V::UNIT_X, -2.0f * wave(p, 1, 0.25f)); }, {}});
    idle.channels.push_back({"spine3", [](float p) { return turn(V::UNIT_Z, 4.0f * wave(p, 1, -0.2f)); }, {}});
    idle.channels.push_back({"head", [](float p) { return turn(V::UNIT_Z, -6.0f * wave(p, 1, -0.3f)) * turn(V::UNIT_X, 4.0f * wave(p, 1, 0.5f)); }, {}});
    idle.channels.push_back({"dorsal", [](float p) { return turn(V::UNIT_Y, 10.0f * wave(p, 2)); }, {}});
    idle.channels.push_back({"fin.L", [](float p) { return turn(V::UNIT_Y, 22.0f * wave(p, 3)); }, {}});
    idle.channels.push_back({"fin.R", [](float p) { return turn(V::UNIT_Y, -22.0f * wave(p, 3, 0.15f)); }, {}});
    idle.channels.push_back({"crest", [](float p) { return turn(V::UNIT_X, 6.0f * wave(p, 2)); }, {}});
    model.clips.push_back(idle);

    standOnGround(model);
    return model;
}

} // namespace kwo::media
