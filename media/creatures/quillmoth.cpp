// Quillmoth: a plump moth standing on six legs, feathery antennae, two pairs
// of broad wings raised in a V, painted with eyespots and hairy fringes.

#include "motion.h"
#include "sweep.h"

namespace kwo::media {

namespace {

using V = Ogre::Vector3;

const Ogre::ColourValue fur = rgb(0x9c6436);
const Ogre::ColourValue cream = rgb(0xf2dcae);
const Ogre::ColourValue dark = rgb(0x3a2418);
const Ogre::ColourValue wingGold = rgb(0xe3a857);
const Ogre::ColourValue wingRose = rgb(0xe58f7e);
const Ogre::ColourValue ringYellow = rgb(0xf7d968);
const Ogre::ColourValue eyeBlue = rgb(0x3f74d6);

// The wing's pattern, painted into its texture: u runs from root to tip,
// chord across the wing from one edge (-1) to the other (+1).
Ogre::ColourValue wingPattern(const Ogre::ColourValue& base, float u, float chord, float spotSize)
{
    Ogre::ColourValue c = mix(fur, base, smooth(u / 0.32f));
    // Fine scales and a brighter flush towards the tip.
    c = c * (1.0f + 0.06f * std::sin(u * 190.0f) * std::sin(chord * 95.0f)) + (base * 0.12f) * smooth((u - 0.5f) / 0.4f);
    // Veins fanning out from the root.
    const float vein = std::abs(std::sin(chord * 5.5f + u * 1.3f));
    c = mix(c * 0.7f, c, smooth((vein - 0.04f) / 0.08f) + smooth((0.25f - u) / 0.2f));
    // A pale band slanting across the middle.
    const float band = std::abs(u - 0.36f - 0.07f * chord);
    c = mix(cream, c, smooth((band - 0.015f) / 0.02f));
    // The eyespot: a bright glint, blue centre, black ring, yellow rim.
    const float across = chord / (spotSize * 2.6f);
    const float d = std::sqrt(((u - 0.63f) / spotSize) * ((u - 0.63f) / spotSize) + across * across);
    const float glint = std::sqrt(((u - 0.66f) / spotSize) * ((u - 0.66f) / spotSize) + (across + 0.15f) * (across + 0.15f));
    c = mix(ringYellow, c, smooth((d - 0.95f) / 0.06f));
    c = mix(dark, c, smooth((d - 0.62f) / 0.05f));
    c = mix(eyeBlue, c, smooth((d - 0.38f) / 0.05f));
    c = mix(cream, c, smooth((glint - 0.12f) / 0.04f));
    // A dark wavy line inside a hairy cream fringe along the outer edge.
    const float edge = std::min((1.0f - u) * 2.0f, 1.0f - std::abs(chord));
    const float hairs = 0.5f + 0.5f * std::sin(u * 320.0f + chord * 60.0f);
    c = mix(dark, c, smooth((edge - 0.13f - 0.02f * std::sin(u * 45.0f)) / 0.02f) + smooth((0.07f - edge) / 0.02f));
    c = mix(mix(cream, base, 0.3f * hairs), c, smooth((edge - 0.06f) / 0.02f));
    return c;
}

void addWing(Surface& surface, const V& rootPoint, const V& tip, float chordWidth, int bone)
{
    const V middle = rootPoint + (tip - rootPoint) * 0.5f + V(0, 2.0f, 0);
    const V direction = (tip - rootPoint).normalisedCopy();
    Sweep wing;
    wing.spine = curveOf({rootPoint, middle, tip});
    wing.side = direction.crossProduct(V::UNIT_Z).normalisedCopy();   // across the wing's thickness
    wing.radius = [chordWidth](float u) {
        // Scalloped like the edge of a feather.
        const float scallop = 1.0f - 0.06f * std::abs(std::sin(u * Ogre::Math::PI * 6.0f));
        return Ogre::Vector2(0.55f * capsule(u, 0.08f), chordWidth * leaf(u, 0.7f) * scallop + 0.01f);
    };
    wing.colour = [](float, float) { return Ogre::ColourValue::White; };
    // Both faces show the same pattern: the texture's t runs across the chord.
    wing.uv = [](float u, float around) { return Ogre::Vector2(u, 0.5f + 0.5f * std::sin(Ogre::Math::TWO_PI * around)); };
    wing.skin = [bone](float) { return rigid(bone); };
    wing.rings = 24;
    wing.sides = 20;
    surface.textured = true;
    addSweep(surface, wing);
}

void addAntenna(Surface& surface, float sideSign, int head, int bone)
{
    const std::vector<V> stem = {V(1.8f * sideSign, 22.5f, 14.5f), V(5.0f * sideSign, 30.0f, 19.0f), V(10.0f * sideSign, 37.0f, 18.0f),
                                 V(14.0f * sideSign, 41.0f, 13.5f)};
    Sweep antenna;
    antenna.spine = curveOf(stem);
    antenna.radius = [](float u) { return Ogre::Vector2(0.65f, 0.65f) * capsule(u, 0.05f); };
    antenna.colour = [](float, float) { return mix(fur, cream, 0.3f); };
    antenna.skin = [head, bone](float u) { return blend(head, bone, u / 0.15f); };
    antenna.rings = 12;
    antenna.sides = 6;
    addSweep(surface, antenna);
    // Barbs on both sides of the stem make the antenna feathery.
    for (int k = 0; k < 8; ++k) {
        const float u = 0.14f + 0.1f * k;
        const V base = curve(stem, u);
        const V tangent = (curve(stem, u + 0.01f) - curve(stem, u - 0.01f)).normalisedCopy();
        const float length = 5.5f * (1.0f - u) + 1.0f;
        for (float across : {-1.0f, 1.0f}) {
            const V out = (tangent.crossProduct(V::UNIT_Y) * across + V(0, 0, -0.6f) + tangent * 0.4f).normalisedCopy();
            Sweep barb;
            barb.spine = line(base, base + out * length);
            barb.radius = [](float t) { return Ogre::Vector2(0.35f, 0.35f) * capsule(t, 0.3f); };
            barb.colour = [](float, float t) { return mix(cream, wingGold, t); };
            barb.skin = [bone](float) { return rigid(bone); };
            barb.rings = 3;
            barb.sides = 4;
            addSweep(surface, barb);
        }
    }
}

} // namespace

Model makeQuillmoth()
{
    Model model;
    model.name = "Quillmoth";
    model.bones = {
        {"root", "", V(0, 0, 0)},
        {"thorax", "root", V(0, 17, 3)},
        {"abdomen", "thorax", V(0, 17, -2)},
        {"head", "thorax", V(0, 19, 8)},
        {"antenna.L", "head", V(1.8f, 22.5f, 14.5f)},
        {"antenna.R", "head", V(-1.8f, 22.5f, 14.5f)},
        {"forewing.L", "thorax", V(4, 20, 3)},
        {"forewing.R", "thorax", V(-4, 20, 3)},
        {"hindwing.L", "thorax", V(3.5f, 17.5f, -1)},
        {"hindwing.R", "thorax", V(-3.5f, 17.5f, -1)},
    };
    auto bone = [&model](const char* name) { return model.boneIndex(name); };
    Surface& body = model.surfaces["Quillmoth/Body"];
    Surface& eyes = model.surfaces["Quillmoth/Eyes"];
    model.finishes["Quillmoth/Body"] = Finish{0.12f, 10.0f, {}};
    model.finishes["Quillmoth/Eyes"] = Finish{0.9f, 60.0f, {}};

    Sweep thorax;
    thorax.spine = line(V(0, 17, -4), V(0, 18, 10));
    thorax.radius = [](float u) { return Ogre::Vector2(7.2f, 7.0f) * ellipse(u); };
    thorax.colour = [](float u, float around) {
        const float fuzz = 0.5f + 0.5f * std::sin(around * 60.0f + u * 23.0f);
        return mix(mix(fur, cream, smooth((u - 0.55f) / 0.3f)), cream, 0.15f * fuzz);
    };
    thorax.skin = [&](float) { return rigid(bone("thorax")); };
    thorax.rings = 18;
    thorax.sides = 20;
    addSweep(body, thorax);

    Sweep abdomen;
    abdomen.spine = curveOf({V(0, 17, 0), V(0, 15.5f, -10), V(0, 13, -21)});
    abdomen.radius = [](float u) { return Ogre::Vector2(6.3f, 5.8f) * leaf(u, 0.3f); };
    abdomen.colour = [](float u, float) { return mix(fur, cream, smooth(std::sin(u * Ogre::Math::PI * 7.0f) * 2.0f - 0.6f) * 0.8f); };
    abdomen.skin = [&](float u) { return blend(bone("thorax"), bone("abdomen"), u / 0.3f); };
    abdomen.rings = 22;
    abdomen.sides = 18;
    addSweep(body, abdomen);

    Sweep head;
    head.spine = line(V(0, 19, 9), V(0, 19.5f, 18.5f));
    head.radius = [](float u) { return Ogre::Vector2(5.6f, 5.3f) * ellipse(u); };
    head.colour = [](float u, float) { return mix(cream, fur, 0.25f + 0.2f * u); };
    head.skin = [&](float) { return rigid(bone("head")); };
    head.rings = 14;
    head.sides = 18;
    addSweep(body, head);

    for (float sideSign : {1.0f, -1.0f}) {
        const V centre(3.9f * sideSign, 20.3f, 15.2f);
        Sweep eye;
        eye.spine = line(centre - V(0, 0, 2.8f), centre + V(0, 0, 2.8f));
        eye.radius = [](float u) { return Ogre::Vector2(2.8f, 2.8f) * ellipse(u); };
        eye.colour = [](float u, float) { return mix(rgb(0x1a1420), rgb(0x4a3050), u * 0.5f); };
        eye.skin = [&](float) { return rigid(bone("head")); };
        eye.rings = 10;
        eye.sides = 12;
        addSweep(eyes, eye);
    }

    addAntenna(body, 1.0f, bone("head"), bone("antenna.L"));
    addAntenna(body, -1.0f, bone("head"), bone("antenna.R"));

    // Six legs, feet planted: the feet follow the root, the hips the thorax.
    const float legZ[3] = {7.5f, 3.0f, -1.5f};
    const float footZ[3] = {13.0f, 3.5f, -7.0f};
    for (float sideSign : {1.0f, -1.0f}) {
        for (int i = 0; i < 3; ++i) {
            Sweep leg;
            leg.spine = curveOf({V(3.5f * sideSign, 13.5f, legZ[i]), V(10.5f * sideSign, 11.5f, (legZ[i] + footZ[i]) * 0.5f),
                                 V(12.5f * sideSign, 0.9f, footZ[i])});
            leg.radius = [](float u) { return Ogre::Vector2(1.0f, 1.0f) * capsule(u, 0.06f); };
            leg.colour = [](float u, float) { return mix(fur, dark, u); };
            leg.skin = [&](float u) { return blend(bone("thorax"), bone("root"), (u - 0.3f) / 0.5f); };
            leg.rings = 10;
            leg.sides = 6;
            addSweep(body, leg);
        }
    }

    Surface& forewings = model.surfaces["Quillmoth/Forewing"];
    Surface& hindwings = model.surfaces["Quillmoth/Hindwing"];
    model.finishes["Quillmoth/Forewing"] = Finish{0.12f, 10.0f, "Quillmoth_Forewing.dds"};
    model.finishes["Quillmoth/Hindwing"] = Finish{0.12f, 10.0f, "Quillmoth_Hindwing.dds"};
    model.textures["Quillmoth_Forewing.dds"] = paint(256, 128, [](float s, float t) { return wingPattern(wingGold, s, 2.0f * t - 1.0f, 0.2f); });
    model.textures["Quillmoth_Hindwing.dds"] = paint(256, 128, [](float s, float t) { return wingPattern(wingRose, s, 2.0f * t - 1.0f, 0.16f); });
    addWing(forewings, V(4, 20, 3), V(37, 55, -10), 19.0f, bone("forewing.L"));
    addWing(forewings, V(-4, 20, 3), V(-37, 55, -10), 19.0f, bone("forewing.R"));
    addWing(hindwings, V(3.5f, 17.5f, -1), V(30, 27, -16), 12.0f, bone("hindwing.L"));
    addWing(hindwings, V(-3.5f, 17.5f, -1), V(-30, 27, -16), 12.0f, bone("hindwing.R"));

    // Idle: slow wing breathing, antennae feeling the air, a gentle sway.
    Clip idle{"idle", 3.0f, 37, {}};
    idle.channels.push_back({"thorax", [](float p) { return turn(V::UNIT_Z, 2.0f * wave(p, 1)); },
                             [](float p) { return V(0, 0.6f * pulse(p, 1), 0); }});
    idle.channels.push_back({"abdomen", [](float p) { return turn(V::UNIT_X, 4.0f * wave(p, 1, 0.1f)) * turn(V::UNIT_Y, 3.0f * wave(p, 1)); }, {}});
    idle.channels.push_back({"head", [](float p) { return turn(V::UNIT_Z, -3.0f * wave(p, 1)) * turn(V::UNIT_Y, 4.0f * wave(p, 1, 0.25f)); }, {}});
    idle.channels.push_back({"antenna.L", [](float p) { return turn(V::UNIT_X, 7.0f * wave(p, 2)); }, {}});
    idle.channels.push_back({"antenna.R", [](float p) { return turn(V::UNIT_X, 7.0f * wave(p, 2, 0.3f)); }, {}});
    idle.channels.push_back({"forewing.L", [](float p) { return turn(V::UNIT_Z, 12.0f * wave(p, 1)); }, {}});
    idle.channels.push_back({"forewing.R", [](float p) { return turn(V::UNIT_Z, -12.0f * wave(p, 1)); }, {}});
    idle.channels.push_back({"hindwing.L", [](float p) { return turn(V::UNIT_Z, 9.0f * wave(p, 1, -0.08f)); }, {}});
    idle.channels.push_back({"hindwing.R", [](float p) { return turn(V::UNIT_Z, -9.0f * wave(p, 1, -0.08f)); }, {}});
    model.clips.push_back(idle);

    // Collision: rapid wing beats, hopping, antennae and head agitated.
    Clip collision{"collision", 1.2f, 49, {}};
    collision.channels.push_back({"thorax", [](float p) { return turn(V::UNIT_X, -5.0f * wave(p, 2)); },
                                  [](float p) { return V(0, 3.5f * pulse(p, 2), 0); }});
    collision.channels.push_back({"abdomen", [](float p) { return turn(V::UNIT_X, 10.0f * wave(p, 3)); }, {}});
    collision.channels.push_back({"head", [](float p) { return turn(V::UNIT_Y, 12.0f * wave(p, 2)); }, {}});
    collision.channels.push_back({"antenna.L", [](float p) { return turn(V::UNIT_X, 18.0f * wave(p, 4)); }, {}});
    collision.channels.push_back({"antenna.R", [](float p) { return turn(V::UNIT_X, 18.0f * wave(p, 4, 0.5f)); }, {}});
    collision.channels.push_back({"forewing.L", [](float p) { return turn(V::UNIT_Z, 38.0f * wave(p, 4)); }, {}});
    collision.channels.push_back({"forewing.R", [](float p) { return turn(V::UNIT_Z, -38.0f * wave(p, 4)); }, {}});
    collision.channels.push_back({"hindwing.L", [](float p) { return turn(V::UNIT_Z, 30.0f * wave(p, 4, -0.1f)); }, {}});
    collision.channels.push_back({"hindwing.R", [](float p) { return turn(V::UNIT_Z, -30.0f * wave(p, 4, -0.1f)); }, {}});
    model.clips.push_back(collision);

    standOnGround(model);
    return model;
}

} // namespace kwo::media
