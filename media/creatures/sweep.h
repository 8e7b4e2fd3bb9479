#pragma once

// Surfaces swept along a curve: a closed tube whose cross-section is an
// ellipse. With radii falling to 0 at both ends it closes into a smooth
// blob; flattened it makes a wing, a fin or an ear.

#include "model.h"

namespace kwo::media {

struct Sweep {
    std::function<Ogre::Vector3(float u)> spine;   // centre line, u from 0 to 1
    std::function<Ogre::Vector2(float u)> radius;  // x along `side`, y along spine x side
    Ogre::Vector3 side = Ogre::Vector3::UNIT_X;    // reference for the cross-section's first axis
    std::function<Ogre::ColourValue(float u, float around)> colour;   // around in [0, 1)
    std::function<Skin(float u)> skin;
    std::function<Ogre::Vector2(float u, float around)> uv;   // texture coordinates, when the surface is textured
    int rings = 16;
    int sides = 16;
};

void addSweep(Surface& surface, const Sweep& sweep);

// Catmull-Rom curve through the points, u from 0 (first) to 1 (last).
Ogre::Vector3 curve(const std::vector<Ogre::Vector3>& points, float u);
std::function<Ogre::Vector3(float)> curveOf(std::vector<Ogre::Vector3> points);
std::function<Ogre::Vector3(float)> line(Ogre::Vector3 from, Ogre::Vector3 to);

// Radius shapes, 0 at both ends and 1 at their widest.
float ellipse(float u);                  // a sphere's profile
float capsule(float u, float ends);      // flat middle, rounded ends taking `ends` of the length each
float leaf(float u, float widest);       // rounded base, widest at `widest`, pointed tip

// Skins: a rigid part, or a blend along u through bones placed at given u.
Skin rigid(int bone);
Skin blend(int a, int b, float t);   // t = 0: all a; 1: all b
Skin chain(const std::vector<std::pair<float, int>>& stops, float u);

float smooth(float t);   // smoothstep on [0, 1], clamped

// A texture painted by a function of its coordinates (s, t in [0, 1]).
Texture paint(int width, int height, const std::function<Ogre::ColourValue(float s, float t)>& colour);
Ogre::ColourValue mix(const Ogre::ColourValue& a, const Ogre::ColourValue& b, float t);
Ogre::ColourValue rgb(int hex);

} // namespace kwo::media
