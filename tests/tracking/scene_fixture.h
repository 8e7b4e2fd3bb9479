#pragma once

// An engine root without a render system: scene graph, entities and
// animation states work on software buffers, so scene logic is testable
// without a display.
#include <OgreDefaultHardwareBufferManager.h>
#include <OgreLogManager.h>
#include <OgreRoot.h>
#include <OgreSceneManager.h>

#include <memory>
#include <string>
#include <vector>

namespace kwo::test {

class EngineWithoutDisplay {
public:
    EngineWithoutDisplay();
    ~EngineWithoutDisplay();

    Ogre::SceneManager* sceneManager() const { return scene; }
    // Runs what the engine does per frame before rendering (auto-tracking,
    // derived transforms).
    void updateSceneGraph();

    // A one-triangle mesh; with animation names it gets a skeleton holding
    // them (each 2 s long).
    void makeMesh(const std::string& name, const std::vector<std::string>& animations = {});

private:
    std::unique_ptr<Ogre::LogManager> logs;
    std::unique_ptr<Ogre::Root> root;
    std::unique_ptr<Ogre::DefaultHardwareBufferManager> buffers;
    Ogre::SceneManager* scene = nullptr;
    Ogre::Camera* camera = nullptr;
};

} // namespace kwo::test
