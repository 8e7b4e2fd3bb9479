#pragma once

// An offscreen photo studio for the generated media: OGRE's GL render system
// draws creatures into a render texture (needs an X display, e.g. Xvfb).
// The creatures hang from the same node chain the viewer builds on a marker:
// marker -> base (+90 degrees about X) -> collision -> character, and the
// ground on marker -> decor (+90 degrees about X). The marker lies flat with
// its normal along world +Y, so the base frame equals the world frame.

#include <OGRE/OgreColourValue.h>
#include <OGRE/OgreQuaternion.h>
#include <OGRE/OgreVector.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kwo::media {

struct Actor {
    std::string mesh;                                   // e.g. "Quillmoth.mesh"
    std::string animation;                              // empty: the binding pose
    float time = 0.0f;                                  // seconds into the animation
    Ogre::Vector3 marker = Ogre::Vector3::ZERO;         // marker centre in the world
    Ogre::Vector3 position = Ogre::Vector3::ZERO;       // character position on its marker
    Ogre::Quaternion orientation{0, 0, 1, 0};           // character orientation (w, x, y, z)
    bool ground = true;                                 // "Ground.mesh" under it
    int partner = -1;                                   // index of an actor to turn toward, as in a collision
};

struct Shot {
    int width = 256;
    int height = 256;
    int supersample = 2;                                // rendered this many times larger, then averaged
    Ogre::Vector3 eye{0, 60, -200};
    Ogre::Vector3 target{0, 30, 0};
    float fieldOfView = 30.0f;                          // degrees, vertical; 0 for an orthographic view
    float orthographicHeight = 100.0f;                  // world units seen top to bottom when orthographic
    Ogre::ColourValue background{0.55f, 0.62f, 0.7f, 1.0f};
    bool silhouette = false;                            // unlit black shapes
    std::vector<Actor> actors;
};

struct Photo {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;                     // rows top to bottom
    std::vector<Ogre::Vector3> facing;                  // per actor: the world direction of the model's +Z

    void save(const std::string& path, bool alpha) const;   // PNG, 8 bits per channel, RGB or RGBA (needs ImageMagick)
};

class Studio {
public:
    // `pluginFolder`: OGRE's plugin folder; `archives`: zip archives holding the media.
    Studio(const std::string& pluginFolder, const std::vector<std::string>& archives, const std::string& logFile);
    ~Studio();
    Studio(const Studio&) = delete;
    Studio& operator=(const Studio&) = delete;

    Photo take(const Shot& shot);

private:
    struct Engine;
    std::unique_ptr<Engine> engine;
};

} // namespace kwo::media
