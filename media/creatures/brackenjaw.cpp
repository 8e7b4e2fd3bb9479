// Brackenjaw: a stocky four-legged creature with a huge underbite jaw and
// tusks, rusty hide with dark stripes and a crest of fern fronds on its back.

#include "motion.h"
#include "sweep.h"

namespace kwo::media {

namespace {

using V = Ogre::Vector3;

const Ogre::ColourValue hide = rgb(0xbf6a35);
const Ogre::ColourValue stripe = rgb(0x5a2e1a);
const Ogre::ColourValue belly = rgb(0xecc890);
const Ogre::ColourValue ivory = rgb(0xf4ecd6);
const Ogre::ColourValue fern = rgb(0x6aa33a);
const Ogre::ColourValue fernLight = rgb(0xb5d86a);

// Hide colour on a part running along Z: cream underneath, stripes across the back.
Ogre::ColourValue hideColour(float u, float around, float stripes)
{
    const float up = std::sin(Ogre::Math::TWO_PI * around);   // +1 on top, -1 underneath
    Ogre::ColourValue c = mix(hide, belly, smooth((-up - 0.1f) / 0.5f));
    const float band = std::sin(u * Ogre::Math::PI * stripes);
    if (stripes > 0 && up > 0.2f && band > 0.55f) {
        c = mix(c, stripe, smooth((up - 0.2f) / 0.3f) * 0.85f);
    }
    return c;
}

void addTooth(Surface& surface, const V& base, const V& tip, float radius, int bone)
{
    Sweep tooth;
    tooth.spine = line(base, tip);
    tooth.radius = [radius](float u) { return Ogre::Vector2(radius, radius) * std::pow(std::max(0.0f, 1.0f - u), 0.8f) * capsule(u, 0.15f); };
    tooth.colour = [](float u, float) { return mix(ivory * 0.85f, ivory, u); };
    tooth.skin = [bone](float) { return rigid(bone); };
    tooth.rings = 5;
    tooth.sides = 7;
    addSweep(surface, tooth);
}

} // namespace

Model makeBrackenjaw()
{
    Model model;
    model.name = "Brackenjaw";
    model.bones = {
        {"root", "", V(0, 0, 0)},
        {"body", "root", V(0, 26, -4)},
        {"head", "body", V(0, 35, 10)},
        {"jaw", "head", V(0, 31, 11)},
        {"tail", "body", V(0, 24, -20)},
        {"crest", "body", V(0, 42, -4)},
    };
    auto bone = [&model](const char* name) { return model.boneIndex(name); };
    Surface& body = model.surfaces["Brackenjaw/Body"];
    Surface& eyes = model.surfaces["Brackenjaw/Eyes"];
    model.finishes["Brackenjaw/Body"] = Finish{0.18f, 14.0f, {}};
    model.finishes["Brackenjaw/Eyes"] = Finish{0.9f, 60.0f, {}};

    Sweep torso;
    torso.spine = curveOf({V(0, 22, -24), V(0, 27, -5), V(0, 30, 13)});
    torso.radius = [](float u) { return Ogre::Vector2(18.0f, 16.5f) * std::pow(ellipse(u), 0.7f); };
    torso.colour = [](float u, float around) { return hideColour(u, around, 7.0f); };
    torso.skin = [&](float) { return rigid(bone("body")); };
    torso.rings = 24;
    torso.sides = 24;
    addSweep(body, torso);

    Sweep head;
    head.spine = curveOf({V(0, 34, 6), V(0, 38, 18), V(0, 37, 30)});
    head.radius = [](float u) { return Ogre::Vector2(15.0f, 12.0f) * std::pow(ellipse(u), 0.8f); };
    head.colour = [](float u, float around) { return hideColour(u, around, 0.0f); };
    head.skin = [&](float u) { return blend(bone("body"), bone("head"), u / 0.3f); };
    head.rings = 20;
    head.sides = 22;
    addSweep(body, head);

    // The jaw juts out past the snout; its tusks rise in front of the upper lip.
    Sweep jaw;
    jaw.spine = curveOf({V(0, 28, 9), V(0, 26, 22), V(0, 29, 36)});
    jaw.radius = [](float u) { return Ogre::Vector2(14.5f, 6.5f) * capsule(u, 0.28f); };
    jaw.colour = [](float u, float around) { return mix(hideColour(u, around, 0.0f), belly, 0.35f); };
    jaw.skin = [&](float u) { return blend(bone("head"), bone("jaw"), u / 0.2f); };
    jaw.rings = 20;
    jaw.sides = 22;
    addSweep(body, jaw);
    for (float sideSign : {1.0f, -1.0f}) {
        addTooth(body, V(9.5f * sideSign, 31, 31), V(11.0f * sideSign, 41, 33), 2.2f, bone("jaw"));
        addTooth(body, V(5.0f * sideSign, 32.5f, 34.5f), V(5.3f * sideSign, 37, 35.5f), 1.2f, bone("jaw"));
    }
    addTooth(body, V(0, 33, 36), V(0, 37, 37), 1.1f, bone("jaw"));

    for (float sideSign : {1.0f, -1.0f}) {
        // Eyes bulging from the top of the head: cream, an amber iris, a black pupil in front.
        const V centre(7.0f * sideSign, 47, 22);
        Sweep eye;
        eye.spine = line(centre - V(0, 0, 3.6f), centre + V(0, 0, 3.6f));
        eye.radius = [](float u) { return Ogre::Vector2(3.6f, 3.6f) * ellipse(u); };
        eye.colour = [](float u, float) { return u > 0.84f ? rgb(0x120c08) : u > 0.66f ? rgb(0xe8a020) : rgb(0xf4ead0); };
        eye.skin = [&](float) { return rigid(bone("head")); };
        eye.rings = 10;
        eye.sides = 12;
        addSweep(eyes, eye);
        // A heavy brow over each eye.
        Sweep brow;
        brow.spine = line(V(3.0f * sideSign, 50.5f, 21), V(11.5f * sideSign, 49.5f, 19.5f));
        brow.radius = [](float u) { return Ogre::Vector2(1.6f, 1.6f) * ellipse(u); };
        brow.side = V::UNIT_Y;
        brow.colour = [](float, float) { return stripe; };
        brow.skin = [&](float) { return rigid(bone("head")); };
        brow.rings = 8;
        brow.sides = 8;
        addSweep(body, brow);
    }

    // Four stubby legs ending in broad feet; feet stay planted on the root.
    const V hips[4] = {V(12, 22, 6), V(-12, 22, 6), V(13, 21, -14), V(-13, 21, -14)};
    for (const V& hip : hips) {
        const V foot(hip.x * 1.08f, 3.5f, hip.z + 2.0f);
        Sweep leg;
        leg.spine = line(hip, foot);
        leg.radius = [](float u) { return Ogre::Vector2(6.0f, 6.0f) * capsule(u, 0.3f); };
        leg.colour = [](float u, float around) { return mix(hideColour(0.0f, around, 0.0f), stripe, smooth((u - 0.6f) / 0.4f) * 0.5f); };
        leg.skin = [&](float u) { return blend(bone("body"), bone("root"), (u - 0.2f) / 0.6f); };
        leg.rings = 10;
        leg.sides = 14;
        addSweep(body, leg);
        Sweep paw;
        paw.spine = line(foot + V(0, -0.5f, -4.5f), foot + V(0, -0.5f, 7.5f));
        paw.radius = [](float u) { return Ogre::Vector2(6.2f, 3.2f) * ellipse(u); };
        paw.colour = [](float u, float) { return mix(stripe, hide * 0.8f, 0.4f + 0.3f * u); };
        paw.skin = [&](float) { return rigid(bone("root")); };
        paw.rings = 10;
        paw.sides = 12;
        addSweep(body, paw);
        for (float toe : {-3.0f, 0.0f, 3.0f}) {
            addTooth(body, foot + V(toe, 0.0f, 5.5f), foot + V(toe * 1.1f, -0.6f, 9.5f), 1.1f, bone("root"));
        }
    }

    Sweep tail;
    tail.spine = curveOf({V(0, 24, -20), V(0, 19, -32), V(0, 13, -40), V(0, 12, -46)});
    tail.side = V::NEGATIVE_UNIT_X;   // keeps the cross-section's second axis pointing up
    tail.radius = [](float u) { return Ogre::Vector2(7.0f, 7.0f) * leaf(u, 0.12f); };
    tail.colour = [](float u, float around) { return hideColour(u, around, 5.0f); };
    tail.skin = [&](float u) { return blend(bone("body"), bone("tail"), u / 0.25f); };
    tail.rings = 16;
    tail.sides = 14;
    addSweep(body, tail);

    // The crest: fern fronds standing up along the back.
    const float frondZ[4] = {8.0f, 1.0f, -6.0f, -13.0f};
    const float frondLength[4] = {12.0f, 15.0f, 14.0f, 11.0f};
    for (int i = 0; i < 4; ++i) {
        const V base(0, 42.5f - 0.25f * std::abs(frondZ[i] + 3.0f), frondZ[i]);
        const V tip = base + V(0, frondLength[i], -7.0f);
        Sweep frond;
        frond.spine = curveOf({base, base + V(0, frondLength[i] * 0.6f, -1.5f), tip});
        frond.radius = [](float u) {
            // Leaflets: the outline is notched like a fern frond.
            const float notch = 0.75f + 0.25f * std::abs(std::sin(u * Ogre::Math::PI * 5.0f));
            return Ogre::Vector2(0.9f * capsule(u, 0.1f), 5.0f * leaf(u, 0.35f) * notch + 0.01f);
        };
        frond.colour = [](float u, float around) {
            const float across = std::abs(std::sin(Ogre::Math::TWO_PI * around));
            return mix(mix(fern * 0.75f, fern, u), fernLight, smooth((0.25f - across) / 0.2f));
        };
        frond.skin = [&](float u) { return blend(bone("body"), bone("crest"), u / 0.3f); };
        frond.rings = 14;
        frond.sides = 12;
        addSweep(body, frond);
    }

    // Idle: slow breathing, a look around, the jaw working a little, tail wag.
    Clip idle{"idle", 3.2f, 41, {}};
    idle.channels.push_back({"body", [](float p) { return turn(V::UNIT_X, -1.5f * wave(p, 1)); },
                             [](float p) { return V(0, 0.9f * pulse(p, 1), 0); }});
    idle.channels.push_back({"head", [](float p) { return turn(V::UNIT_Y, 9.0f * wave(p, 1)) * turn(V::UNIT_X, 3.0f * wave(p, 1, 0.25f)); }, {}});
    idle.channels.push_back({"jaw", [](float p) { return turn(V::UNIT_X, 6.0f * pulse(p, 2)); }, {}});
    idle.channels.push_back({"tail", [](float p) { return turn(V::UNIT_Y, 14.0f * wave(p, 2)); }, {}});
    idle.channels.push_back({"crest", [](float p) { return turn(V::UNIT_X, 3.0f * wave(p, 1, 0.4f)); }, {}});
    model.clips.push_back(idle);

    // Collision: lunges, snapping jaw, shaking head, crest bristling, tail lashing.
    Clip collision{"collision", 1.6f, 49, {}};
    collision.channels.push_back({"body", [](float p) { return turn(V::UNIT_X, 6.0f * wave(p, 2)); },
                                  [](float p) { return V(0, 2.5f * pulse(p, 2), 3.0f * pulse(p, 2, 0.25f)); }});
    collision.channels.push_back({"head", [](float p) { return turn(V::UNIT_Y, 16.0f * wave(p, 3)) * turn(V::UNIT_X, -8.0f * pulse(p, 2)); }, {}});
    collision.channels.push_back({"jaw", [](float p) { return turn(V::UNIT_X, 34.0f * pulse(p, 4)); }, {}});
    collision.channels.push_back({"tail", [](float p) { return turn(V::UNIT_Y, 32.0f * wave(p, 4)); }, {}});
    collision.channels.push_back({"crest", [](float p) { return turn(V::UNIT_X, 14.0f * wave(p, 4)); }, {}});
    model.clips.push_back(collision);

    standOnGround(model);
    return model;
}

} // namespace kwo::media
