// Ground: a shallow mossy plate the size of a marker (90 mm across) that the
// creatures stand on. Its top lies at y = 0 with soft bumps of moss; the rim
// rounds down to the flat underside at y = -3.

#include "sweep.h"

#include <OGRE/OgreMath.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace kwo::media {

namespace {

constexpr float plateRadius = 45.0f;
constexpr float thickness = 3.0f;
constexpr float rimWidth = 3.0f;

float moss(float x, float z)
{
    return 0.22f * std::sin(0.55f * x + 1.3f) * std::sin(0.6f * z + 0.7f) + 0.14f * std::sin(1.3f * x - 0.9f * z) +
           0.1f * std::sin(2.1f * z + 0.7f * x + 2.0f);
}

// The plate's outline turned about Y: s runs over the top from the centre (0),
// round the rim (about 0.85), and across the underside back to the centre (1).
Ogre::Vector3 platePoint(float s, float angle)
{
    float radius, height;
    constexpr float top = 0.8f;
    constexpr float rim = 0.9f;
    if (s <= top) {
        radius = (plateRadius - rimWidth) * s / top;
        height = 0.0f;
    } else if (s <= rim) {
        const float a = (s - top) / (rim - top) * Ogre::Math::PI;   // half a turn round the rim
        radius = plateRadius - rimWidth + rimWidth * std::sin(a);
        height = -thickness * 0.5f + thickness * 0.5f * std::cos(a);
    } else {
        radius = (plateRadius - rimWidth) * (1.0f - (s - rim) / (1.0f - rim));
        height = -thickness;
    }
    const float x = radius * std::cos(angle);
    const float z = radius * std::sin(angle);
    if (s <= top) {
        // Bumps fade out towards the rim so the edge stays clean.
        height += moss(x, z) * (1.0f - smooth((s - 0.7f) / 0.1f));
    }
    return {x, height, z};
}

Ogre::ColourValue plateColour(const Ogre::Vector3& p, float s)
{
    const Ogre::ColourValue deep = rgb(0x3d5a26);
    const Ogre::ColourValue moss = rgb(0x6f8f3c);
    const Ogre::ColourValue light = rgb(0x9fb95a);
    const Ogre::ColourValue earth = rgb(0x5a4330);
    if (s > 0.8f) {
        return mix(deep, earth, (s - 0.8f) / 0.1f);
    }
    const float n = 0.5f + 0.5f * std::sin(0.9f * p.x + 0.3f) * std::sin(0.8f * p.z - 0.4f);
    Ogre::ColourValue c = mix(deep, moss, n);
    c = mix(c, light, 0.6f * smooth((p.y - 0.15f) / 0.3f));
    // Tiny pale flowers scattered over the moss.
    const float f = std::sin(1.7f * p.x + 2.3f) * std::sin(1.9f * p.z - 1.1f);
    if (f > 0.975f) {
        c = rgb(0xf3eeb0);
    }
    return c;
}

} // namespace

Model makeGround()
{
    Model model;
    model.name = "Ground";
    model.castsShadows = false;
    model.finishes["Ground/Moss"] = Finish{0.05f, 5.0f, {}};
    Surface& surface = model.surfaces["Ground/Moss"];

    constexpr int rings = 48;
    constexpr int segments = 72;
    for (int i = 0; i <= rings; ++i) {
        const float s = static_cast<float>(i) / rings;
        for (int j = 0; j < segments; ++j) {
            const float angle = Ogre::Math::TWO_PI * j / segments;
            Vertex vertex;
            vertex.position = platePoint(s, angle);
            // Normal from the surface's derivatives, taken just inside the poles.
            const float sc = std::clamp(s, 0.01f, 0.99f);
            const Ogre::Vector3 alongS = platePoint(sc + 1e-3f, angle) - platePoint(sc - 1e-3f, angle);
            const Ogre::Vector3 alongA = platePoint(sc, angle + 1e-3f) - platePoint(sc, angle - 1e-3f);
            Ogre::Vector3 normal = alongA.crossProduct(alongS).normalisedCopy();
            if ((s < 0.5f && normal.y < 0) || (s > 0.95f && normal.y > 0)) {
                normal = -normal;
            }
            vertex.normal = normal;
            vertex.colour = plateColour(vertex.position, s);
            surface.vertices.push_back(vertex);
        }
    }
    auto index = [](int ring, int segment) { return static_cast<std::uint32_t>(ring * segments + segment % segments); };
    for (int i = 0; i < rings; ++i) {
        for (int j = 0; j < segments; ++j) {
            const std::uint32_t quad[4] = {index(i, j), index(i + 1, j), index(i + 1, j + 1), index(i, j + 1)};
            for (const auto& tri : {std::array<std::uint32_t, 3>{quad[0], quad[1], quad[2]}, std::array<std::uint32_t, 3>{quad[0], quad[2], quad[3]}}) {
                const Vertex& a = surface.vertices[tri[0]];
                const Vertex& b = surface.vertices[tri[1]];
                const Vertex& c = surface.vertices[tri[2]];
                const Ogre::Vector3 face = (b.position - a.position).crossProduct(c.position - a.position);
                if (face.squaredLength() < 1e-10f) {
                    continue;
                }
                if (face.dotProduct(a.normal + b.normal + c.normal) < 0) {
                    surface.indices.insert(surface.indices.end(), {tri[0], tri[2], tri[1]});
                } else {
                    surface.indices.insert(surface.indices.end(), {tri[0], tri[1], tri[2]});
                }
            }
        }
    }
    return model;
}

} // namespace kwo::media
