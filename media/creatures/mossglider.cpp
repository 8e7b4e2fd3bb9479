// Mossglider: a small furry glider sitting up on its haunches, membranes
// spread between its arms and legs, big eyes, leafy ears and a long fluffy
// tail curled up behind; mossy green with a cream belly.

#include "motion.h"
#include "sweep.h"

namespace kwo::media {

namespace {

using V = Ogre::Vector3;

const Ogre::ColourValue moss = rgb(0x5f8f38);
const Ogre::ColourValue mossDark = rgb(0x35561f);
const Ogre::ColourValue cream = rgb(0xe6ecb4);
const Ogre::ColourValue membrane = rgb(0x9ccb5c);
const Ogre::ColourValue pink = rgb(0xe99a94);

// Fur on an upright part: `front` is +1 towards +Z (the belly), -1 on the back.
Ogre::ColourValue furColour(float u, float front, float x)
{
    Ogre::ColourValue c = mix(moss, cream, smooth((front - 0.2f) / 0.5f));
    const float mottle = std::sin(u * 31.0f + x * 1.7f) * std::sin(u * 13.0f - x * 0.9f);
    c = mix(c, mossDark, 0.45f * smooth(mottle * 3.0f) * smooth(-front + 0.2f));
    return c;
}

} // namespace

Model makeMossglider()
{
    Model model;
    model.name = "Mossglider";
    model.bones = {
        {"root", "", V(0, 0, 0)},
        {"body", "root", V(0, 14, 0)},
        {"chest", "body", V(0, 31, 1)},
        {"head", "chest", V(0, 42, 3)},
        {"ear.L", "head", V(6, 55, 2)},
        {"ear.R", "head", V(-6, 55, 2)},
        {"wing.L", "chest", V(9, 30, 1)},
        {"wing.R", "chest", V(-9, 30, 1)},
        {"tail1", "body", V(0, 11, -9)},
        {"tail2", "tail1", V(0, 7, -27)},
    };
    auto bone = [&model](const char* name) { return model.boneIndex(name); };
    Surface& body = model.surfaces["Mossglider/Body"];
    Surface& eyes = model.surfaces["Mossglider/Eyes"];
    model.finishes["Mossglider/Body"] = Finish{0.08f, 8.0f, {}};
    model.finishes["Mossglider/Eyes"] = Finish{0.9f, 60.0f, {}};

    // Upright torso: the cross-section's second axis points to -Z (the back).
    Sweep torso;
    torso.spine = curveOf({V(0, 8, -1), V(0, 24, 0), V(0, 41, 2.5f)});
    torso.radius = [](float u) { return Ogre::Vector2(12.0f, 10.5f) * std::pow(ellipse(u), 0.65f); };
    torso.colour = [](float u, float around) { return furColour(u, -std::sin(Ogre::Math::TWO_PI * around), std::cos(Ogre::Math::TWO_PI * around)); };
    torso.skin = [&](float u) { return chain({{0.3f, bone("body")}, {0.7f, bone("chest")}}, u); };
    torso.rings = 22;
    torso.sides = 24;
    addSweep(body, torso);

    Sweep head;
    head.spine = line(V(0, 40, 2.5f), V(0, 58, 4));
    head.radius = [](float u) { return Ogre::Vector2(11.5f, 10.0f) * ellipse(u); };
    head.colour = [](float u, float around) {
        const float x = std::cos(Ogre::Math::TWO_PI * around);
        const float front = -std::sin(Ogre::Math::TWO_PI * around);
        Ogre::ColourValue c = mix(moss, cream, smooth((front - 0.55f) / 0.3f) * smooth((0.6f - u) / 0.2f));
        // A dark stripe from the brow over the crown.
        if (std::abs(x) < 0.16f && u > 0.45f) {
            c = mossDark;
        }
        return c;
    };
    head.skin = [&](float) { return rigid(bone("head")); };
    head.rings = 18;
    head.sides = 24;
    addSweep(body, head);

    Sweep muzzle;
    muzzle.spine = line(V(0, 46, 8), V(0, 46.5f, 15));
    muzzle.radius = [](float u) { return Ogre::Vector2(4.5f, 3.8f) * ellipse(u); };
    muzzle.colour = [](float, float) { return cream; };
    muzzle.skin = [&](float) { return rigid(bone("head")); };
    muzzle.rings = 10;
    muzzle.sides = 14;
    addSweep(body, muzzle);

    Sweep nose;
    nose.spine = line(V(0, 47.5f, 13.3f), V(0, 47.5f, 16.0f));
    nose.radius = [](float u) { return Ogre::Vector2(1.5f, 1.2f) * ellipse(u); };
    nose.colour = [](float, float) { return pink; };
    nose.skin = [&](float) { return rigid(bone("head")); };
    nose.rings = 6;
    nose.sides = 8;
    addSweep(body, nose);

    for (float sideSign : {1.0f, -1.0f}) {
        const V centre(5.0f * sideSign, 51.0f, 10.0f);
        Sweep eye;
        eye.spine = line(centre - V(0, 0, 3.6f), centre + V(0, 0, 3.6f));
        eye.radius = [](float u) { return Ogre::Vector2(3.6f, 3.8f) * ellipse(u); };
        eye.colour = [](float u, float) { return u > 0.88f ? rgb(0x3a2a18) : rgb(0x0e0c10); };
        eye.skin = [&](float) { return rigid(bone("head")); };
        eye.rings = 12;
        eye.sides = 14;
        addSweep(eyes, eye);

        // Leafy ears, pink inside.
        Sweep ear;
        ear.spine = curveOf({V(6.5f * sideSign, 54.5f, 2), V(10.0f * sideSign, 61.0f, 1.5f), V(13.5f * sideSign, 67.0f, 0)});
        ear.side = V::UNIT_Z;
        ear.radius = [](float u) { return Ogre::Vector2(1.0f * capsule(u, 0.15f), 5.0f * leaf(u, 0.45f) + 0.01f); };
        ear.colour = [](float u, float around) {
            const float inside = std::cos(Ogre::Math::TWO_PI * around);   // +1 on the front face
            return inside > 0.3f && u < 0.85f ? mix(pink, moss, smooth((u - 0.6f) / 0.25f)) : moss;
        };
        const int earBone = bone(sideSign > 0 ? "ear.L" : "ear.R");
        ear.skin = [&, earBone](float u) { return blend(bone("head"), earBone, u / 0.25f); };
        ear.rings = 12;
        ear.sides = 14;
        addSweep(body, ear);

        // Arm along the membrane's top edge.
        const int wingBone = bone(sideSign > 0 ? "wing.L" : "wing.R");
        Sweep arm;
        arm.spine = curveOf({V(8.0f * sideSign, 37.0f, 2.0f), V(20.0f * sideSign, 36.0f, 4.0f), V(31.0f * sideSign, 33.0f, 5.0f)});
        arm.radius = [](float u) { return Ogre::Vector2(2.2f, 2.2f) * capsule(u, 0.1f); };
        arm.colour = [](float u, float) { return mix(moss, mossDark, u * 0.6f); };
        arm.skin = [&, wingBone](float u) { return blend(bone("chest"), wingBone, u / 0.2f); };
        arm.rings = 12;
        arm.sides = 8;
        addSweep(body, arm);

        // The gliding membrane between arm and hip.
        Sweep wing;
        // A kite: deep at the flank, narrowing to the wrist, the lower edge rising to it.
        wing.spine = curveOf({V(9.0f * sideSign, 24.0f, 1.0f), V(20.0f * sideSign, 27.5f, 3.0f), V(30.0f * sideSign, 31.0f, 4.5f)});
        wing.side = V::UNIT_Z;
        wing.radius = [](float u) { return Ogre::Vector2(0.8f * capsule(u, 0.08f), 12.0f * (1.0f - 0.68f * u) * capsule(u, 0.1f) + 0.01f); };
        wing.colour = [](float u, float around) {
            const float across = std::sin(Ogre::Math::TWO_PI * around);
            const float vein = std::abs(std::sin(across * 5.0f + u * 3.0f));
            Ogre::ColourValue c = mix(membrane * 0.85f, membrane, smooth(vein * 4.0f));
            return mix(c, mossDark, smooth((std::max(u, std::abs(across)) - 0.82f) / 0.12f));
        };
        wing.skin = [&, wingBone](float u) { return blend(bone("chest"), wingBone, u / 0.25f); };
        wing.rings = 18;
        wing.sides = 20;
        addSweep(body, wing);

        // Haunches and feet, planted.
        Sweep leg;
        leg.spine = curveOf({V(8.0f * sideSign, 12.0f, 0.0f), V(10.5f * sideSign, 7.0f, 7.0f), V(8.5f * sideSign, 2.0f, 13.0f)});
        leg.radius = [](float u) { return Ogre::Vector2(4.5f - 2.5f * u, 4.5f - 2.5f * u) * capsule(u, 0.2f); };
        leg.colour = [](float u, float) { return mix(moss, mossDark, u * 0.7f); };
        leg.skin = [&](float u) { return blend(bone("body"), bone("root"), (u - 0.2f) / 0.5f); };
        leg.rings = 12;
        leg.sides = 12;
        addSweep(body, leg);
    }

    // The long fluffy tail curls up behind, banded and dark at the tip.
    Sweep tail;
    tail.spine = curveOf({V(0, 11, -8), V(0, 5, -17), V(0, 6, -28), V(0, 15, -35), V(0, 26, -33), V(0, 31, -27)});
    tail.radius = [](float u) {
        const float fluff = 1.0f + 0.08f * std::sin(u * 60.0f);
        return Ogre::Vector2(4.8f, 4.8f) * capsule(u, 0.08f) * fluff * (1.0f - 0.2f * u);
    };
    tail.colour = [](float u, float) {
        const float band = std::sin(u * Ogre::Math::PI * 7.0f);
        return mix(mix(moss, mossDark, smooth(band * 3.0f) * 0.6f), rgb(0x22331a), smooth((u - 0.82f) / 0.1f));
    };
    tail.skin = [&](float u) { return chain({{0.05f, bone("body")}, {0.15f, bone("tail1")}, {0.5f, bone("tail2")}}, u); };
    tail.rings = 40;
    tail.sides = 14;
    addSweep(body, tail);

    // Idle: breathing, a curious head tilt, twitching ears, gently fanning membranes, swaying tail.
    Clip idle{"idle", 3.6f, 45, {}};
    idle.channels.push_back({"body", [](float p) { return turn(V::UNIT_X, 1.5f * wave(p, 1)); }, {}});
    idle.channels.push_back({"chest", [](float p) { return turn(V::UNIT_X, -2.0f * wave(p, 2)); }, [](float p) { return V(0, 0.5f * pulse(p, 2), 0); }});
    idle.channels.push_back({"head", [](float p) { return turn(V::UNIT_Z, 8.0f * wave(p, 1)) * turn(V::UNIT_Y, 6.0f * wave(p, 1, 0.3f)); }, {}});
    idle.channels.push_back({"ear.L", [](float p) { return turn(V::UNIT_Z, -10.0f * pulse(p, 3)); }, {}});
    idle.channels.push_back({"ear.R", [](float p) { return turn(V::UNIT_Z, 10.0f * pulse(p, 3, 0.2f)); }, {}});
    idle.channels.push_back({"wing.L", [](float p) { return turn(V::UNIT_Z, 10.0f * wave(p, 2)) * turn(V::UNIT_Y, -6.0f * wave(p, 2, 0.25f)); }, {}});
    idle.channels.push_back({"wing.R", [](float p) { return turn(V::UNIT_Z, -10.0f * wave(p, 2)) * turn(V::UNIT_Y, 6.0f * wave(p, 2, 0.25f)); }, {}});
    idle.channels.push_back({"tail1", [](float p) { return turn(V::UNIT_Y, 9.0f * wave(p, 1)); }, {}});
    idle.channels.push_back({"tail2", [](float p) { return turn(V::UNIT_Y, 14.0f * wave(p, 1, -0.15f)) * turn(V::UNIT_X, 5.0f * wave(p, 1)); }, {}});
    model.clips.push_back(idle);

    standOnGround(model);
    return model;
}

} // namespace kwo::media
