#pragma once

// Plain data describing one generated piece of media: a skinned surface made
// of swept tubes, its bones and its looping animations. Units are millimetres,
// +Y is up, creatures face +Z and stand on y = 0.

#include <OGRE/OgreColourValue.h>
#include <OGRE/OgreQuaternion.h>
#include <OGRE/OgreVector.h>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kwo::media {

// Up to two bones move a vertex; the weights sum to 1.
struct Skin {
    std::array<int, 2> bone{0, 0};
    std::array<float, 2> weight{1.0f, 0.0f};
};

struct Vertex {
    Ogre::Vector3 position;
    Ogre::Vector3 normal;
    Ogre::ColourValue colour;
    Ogre::Vector2 uv = Ogre::Vector2::ZERO;   // used by textured surfaces only
    Skin skin;
};

// One submesh: the triangles drawn with one material.
struct Surface {
    bool textured = false;                // vertices carry texture coordinates
    std::vector<Vertex> vertices;
    std::vector<std::uint32_t> indices;   // three per triangle, counter-clockwise seen from outside
};

// How a material shades its vertex colours.
struct Finish {
    float specular = 0.15f;   // grey level of the highlight
    float shininess = 12.0f;
    std::string texture;      // a texture of the model, modulated by the vertex colours; empty for none
};

// A generated picture, stored in the archive as an uncompressed DDS file
// (OGRE reads those without any codec plugin).
struct Texture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;   // rows from v = 0
};

// A bone in the binding pose. Bones are not rotated in the binding pose, so a
// bone's local axes are the model's axes; `head` is the joint it turns about.
struct BoneSpec {
    std::string name;
    std::string parent;   // empty for the root
    Ogre::Vector3 head;
};

// One bone's motion over a clip; `phase` runs from 0 to 1 over the clip and
// both functions must give the same value at 0 and 1 so the clip loops.
struct Channel {
    std::string bone;
    std::function<Ogre::Quaternion(float phase)> rotation;   // relative to the binding pose
    std::function<Ogre::Vector3(float phase)> translation;   // in the parent's axes
};

struct Clip {
    std::string name;
    float length = 1.0f;   // seconds
    int keys = 33;         // keyframes including the closing one
    std::vector<Channel> channels;
};

struct Model {
    std::string name;                              // "Quillmoth": the archive and file names
    std::map<std::string, Surface> surfaces;       // by material name
    std::map<std::string, Finish> finishes;        // by material name
    std::map<std::string, Texture> textures;       // by file name, e.g. "Quillmoth_Forewing.dds"
    std::vector<BoneSpec> bones;                   // parents before children; empty for a static mesh
    std::vector<Clip> clips;
    bool castsShadows = true;

    int boneIndex(const std::string& bone) const;  // throws for an unknown name
};

Model makeQuillmoth();
Model makeBrackenjaw();
Model makeSliverfin();
Model makeMossglider();
Model makeGround();

} // namespace kwo::media
