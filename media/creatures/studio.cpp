#include "studio.h"

#include <OGRE/OgreAnimationState.h>
#include <OGRE/OgreCamera.h>
#include <OGRE/OgreEntity.h>
#include <OGRE/OgreHardwarePixelBuffer.h>
#include <OGRE/OgreLight.h>
#include <OGRE/OgreLogManager.h>
#include <OGRE/OgreRenderTexture.h>
#include <OGRE/OgreRenderWindow.h>
#include <OGRE/OgreResourceGroupManager.h>
#include <OGRE/OgreRoot.h>
#include <OGRE/OgreSceneManager.h>
#include <OGRE/OgreSceneNode.h>
#include <OGRE/OgreTextureManager.h>
#include <OGRE/OgreViewport.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace kwo::media {

struct Studio::Engine {
    std::unique_ptr<Ogre::LogManager> logs;
    std::unique_ptr<Ogre::Root> root;
    Ogre::RenderWindow* window = nullptr;
    Ogre::SceneManager* scene = nullptr;
};

Studio::Studio(const std::string& pluginFolder, const std::vector<std::string>& archives, const std::string& logFile)
    : engine(std::make_unique<Engine>())
{
    engine->logs = std::make_unique<Ogre::LogManager>();
    engine->logs->createLog(logFile, true, false, false);
    engine->root = std::make_unique<Ogre::Root>("", "", "");
    engine->root->loadPlugin(pluginFolder + "/RenderSystem_GL");
    engine->root->loadPlugin(pluginFolder + "/Codec_STBI");
    const auto& renderers = engine->root->getAvailableRenderers();
    if (renderers.empty()) {
        throw std::runtime_error("no OGRE render system in " + pluginFolder);
    }
    engine->root->setRenderSystem(renderers.front());
    engine->root->initialise(false);
    Ogre::NameValuePairList options{{"hidden", "true"}};
    engine->window = engine->root->createRenderWindow("KWO/Studio", 16, 16, false, &options);
    engine->window->setAutoUpdated(false);

    auto& resources = Ogre::ResourceGroupManager::getSingleton();
    for (const std::string& archive : archives) {
        resources.addResourceLocation(archive, "Zip");
    }
    resources.initialiseAllResourceGroups();
    engine->scene = engine->root->createSceneManager();
}

Studio::~Studio()
{
    engine->root.reset();
    engine->logs.reset();
}

Photo Studio::take(const Shot& shot)
{
    Ogre::SceneManager* scene = engine->scene;
    scene->clearScene();
    scene->destroyAllCameras();

    const int width = shot.width * shot.supersample;
    const int height = shot.height * shot.supersample;
    Ogre::TexturePtr texture = Ogre::TextureManager::getSingleton().createManual(
        "KWO/Studio/Target", Ogre::ResourceGroupManager::DEFAULT_RESOURCE_GROUP_NAME, Ogre::TEX_TYPE_2D, width, height, 0,
        Ogre::PF_A8R8G8B8, Ogre::TU_RENDERTARGET);
    Ogre::RenderTexture* target = texture->getBuffer()->getRenderTarget();

    Ogre::Camera* camera = scene->createCamera("KWO/Studio/Camera");
    Ogre::SceneNode* cameraNode = scene->getRootSceneNode()->createChildSceneNode();
    cameraNode->attachObject(camera);
    cameraNode->setPosition(shot.eye);
    cameraNode->setFixedYawAxis(true);
    cameraNode->lookAt(shot.target, Ogre::Node::TS_WORLD);
    camera->setNearClipDistance(1.0f);
    camera->setFarClipDistance(5000.0f);
    camera->setAspectRatio(static_cast<float>(width) / height);
    if (shot.fieldOfView > 0) {
        camera->setFOVy(Ogre::Degree(shot.fieldOfView));
    } else {
        camera->setProjectionType(Ogre::PT_ORTHOGRAPHIC);
        camera->setOrthoWindowHeight(shot.orthographicHeight);
    }
    Ogre::Viewport* viewport = target->addViewport(camera);
    viewport->setBackgroundColour(shot.background);
    viewport->setOverlaysEnabled(false);

    if (shot.silhouette) {
        scene->setAmbientLight(Ogre::ColourValue::Black);
    } else {
        scene->setAmbientLight(Ogre::ColourValue(0.38f, 0.38f, 0.4f));
        Ogre::Light* key = scene->createLight();
        key->setType(Ogre::Light::LT_DIRECTIONAL);
        key->setDiffuseColour(0.85f, 0.82f, 0.76f);
        key->setSpecularColour(0.7f, 0.7f, 0.7f);
        Ogre::SceneNode* keyNode = scene->getRootSceneNode()->createChildSceneNode();
        keyNode->attachObject(key);
        keyNode->setDirection(Ogre::Vector3(0.5f, -1.0f, 0.7f).normalisedCopy(), Ogre::Node::TS_WORLD);
        Ogre::Light* fill = scene->createLight();
        fill->setType(Ogre::Light::LT_DIRECTIONAL);
        fill->setDiffuseColour(0.3f, 0.32f, 0.38f);
        fill->setSpecularColour(Ogre::ColourValue::Black);
        Ogre::SceneNode* fillNode = scene->getRootSceneNode()->createChildSceneNode();
        fillNode->attachObject(fill);
        fillNode->setDirection(Ogre::Vector3(-0.6f, -0.3f, -0.5f).normalisedCopy(), Ogre::Node::TS_WORLD);
    }

    // The viewer's node chain per actor, with the marker lying flat (its +Z up).
    const Ogre::Quaternion flat(Ogre::Degree(-90), Ogre::Vector3::UNIT_X);
    const Ogre::Quaternion upright(Ogre::Degree(90), Ogre::Vector3::UNIT_X);
    std::vector<Ogre::SceneNode*> collisionNodes, characterNodes;
    for (const Actor& actor : shot.actors) {
        Ogre::SceneNode* marker = scene->getRootSceneNode()->createChildSceneNode(actor.marker, flat);
        Ogre::SceneNode* base = marker->createChildSceneNode(Ogre::Vector3::ZERO, upright);
        Ogre::SceneNode* collision = base->createChildSceneNode();
        Ogre::SceneNode* character = collision->createChildSceneNode(actor.position, actor.orientation);
        Ogre::Entity* entity = scene->createEntity(actor.mesh);
        character->attachObject(entity);
        if (!actor.animation.empty()) {
            Ogre::AnimationState* state = entity->getAnimationState(actor.animation);
            state->setLoop(true);
            state->setEnabled(true);
            state->setTimePosition(actor.time);
        }
        if (actor.ground) {
            Ogre::SceneNode* decor = marker->createChildSceneNode(Ogre::Vector3::ZERO, upright);
            decor->createChildSceneNode()->attachObject(scene->createEntity("Ground.mesh"));
        }
        collisionNodes.push_back(collision);
        characterNodes.push_back(character);
    }
    for (std::size_t i = 0; i < shot.actors.size(); ++i) {
        const int partner = shot.actors[i].partner;
        if (partner >= 0 && partner < static_cast<int>(shot.actors.size())) {
            // As in a collision: -Z of the collision node toward the partner's, marker normal as the yaw axis.
            collisionNodes[i]->setAutoTracking(true, collisionNodes[partner], Ogre::Vector3::NEGATIVE_UNIT_Z);
            collisionNodes[i]->setFixedYawAxis(true, Ogre::Vector3::UNIT_Y);
        }
    }

    target->update();

    Photo photo;
    photo.width = shot.width;
    photo.height = shot.height;
    std::vector<std::uint8_t> large(static_cast<std::size_t>(width) * height * 4);
    target->copyContentsToMemory(Ogre::Box(0, 0, width, height), Ogre::PixelBox(width, height, 1, Ogre::PF_BYTE_RGBA, large.data()),
                                 Ogre::RenderTarget::FB_AUTO);
    photo.rgba.assign(static_cast<std::size_t>(shot.width) * shot.height * 4, 0);
    const int n = shot.supersample;
    for (int y = 0; y < shot.height; ++y) {
        for (int x = 0; x < shot.width; ++x) {
            for (int c = 0; c < 4; ++c) {
                int sum = 0;
                for (int dy = 0; dy < n; ++dy) {
                    for (int dx = 0; dx < n; ++dx) {
                        sum += large[((static_cast<std::size_t>(y) * n + dy) * width + x * n + dx) * 4 + c];
                    }
                }
                photo.rgba[(static_cast<std::size_t>(y) * shot.width + x) * 4 + c] = static_cast<std::uint8_t>((sum + n * n / 2) / (n * n));
            }
        }
    }
    for (Ogre::SceneNode* character : characterNodes) {
        photo.facing.push_back(character->_getDerivedOrientation() * Ogre::Vector3::UNIT_Z);
    }

    target->removeAllViewports();
    Ogre::TextureManager::getSingleton().remove(texture);
    scene->clearScene();
    scene->destroyAllCameras();
    return photo;
}

void Photo::save(const std::string& path, bool alpha) const
{
    // OGRE's PNG encoder frees its buffer with the wrong deallocator, so the
    // picture goes through ImageMagick: a PAM file converted to PNG.
    const std::string pam = path + ".pam";
    {
        std::ofstream file(pam, std::ios::binary | std::ios::trunc);
        file << "P7\nWIDTH " << width << "\nHEIGHT " << height << "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
        file.write(reinterpret_cast<const char*>(rgba.data()), static_cast<std::streamsize>(rgba.size()));
        if (!file) {
            throw std::runtime_error("cannot write " + pam);
        }
    }
    // Without time stamps, so retaking the same picture gives the same bytes.
    const std::string command = "convert '" + pam + "' -strip -define png:exclude-chunks=date,time " +
                                (alpha ? "PNG32:'" : "-alpha off PNG24:'") + path + "'";
    const int status = std::system(command.c_str());
    std::remove(pam.c_str());
    if (status != 0) {
        throw std::runtime_error("cannot write " + path + " (" + command + ")");
    }
}

} // namespace kwo::media
