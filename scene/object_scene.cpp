#include "scene/object_scene.h"

#include "config/exception.h"
#include "config/readers.h"

#include <OgreAnimationState.h>
#include <OgreEntity.h>
#include <OgreMesh.h>
#include <OgreSceneManager.h>
#include <OgreSceneNode.h>

namespace kwo {
namespace {

// Only drawn in the scene viewport, whose visibility mask is 2.
constexpr Ogre::uint32 sceneViewportOnly = 2;

Ogre::Entity* createEntity(ObjectSceneContext& context, const std::string& mesh)
{
    Ogre::Entity* entity = context.sceneManager->createEntity(context.names.makeUniqueName("KWO/Entity/"), mesh);
    entity->setVisibilityFlags(sceneViewportOnly);
    entity->getMesh()->load();
    return entity;
}

void placeNode(Ogre::SceneNode* node, const Setting& item)
{
    node->setPosition(readVector3(item["position"], Ogre::Vector3::ZERO));
    node->setOrientation(readQuaternion(item["orientation"]));
    node->setScale(readVector3(item["scale"], Ogre::Vector3::UNIT_SCALE));
}

// Meshes are modelled with +Y up; the marker's normal is its +Z.
void standOnMarker(Ogre::SceneNode* node)
{
    node->rotate(Ogre::Vector3::UNIT_X, Ogre::Degree(90), Ogre::Node::TS_LOCAL);
}

Ogre::AnimationState* loopingState(Ogre::Entity* entity, const std::string& name, ObjectSceneContext& context)
{
    Ogre::AnimationState* state = entity->getAnimationState(name);
    state->setLoop(true);
    context.animationStates.push_back(state);
    return state;
}

Setting findGraphicsObject(const Setting& config, const std::string& name)
{
    const Setting objects = config["graphics"]["objects"];
    for (unsigned i = 0; i < objects.size(); ++i)
        if (objects[i].name("name") == name)
            return objects[i];
    throw Exception("Invalid object '" + name + "'");
}

void buildCharacter(TrackedObject& object, const Setting& character, ObjectSceneContext& context)
{
    object.characterNode = object.collisionNode->createChildSceneNode();
    placeNode(object.characterNode, character);

    object.characterEntity = createEntity(context, character.name("mesh"));
    object.characterEntity->setCastShadows(character.getBool("shadow", false));
    object.characterNode->attachObject(object.characterEntity);

    object.activeAnimation = object.idleAnimation = object.collisionAnimation = nullptr;
    if (!character.has("animations"))
        return;
    const Setting animations = character["animations"];
    if (animations.has("idle"))
        object.idleAnimation = loopingState(object.characterEntity, animations.name("idle"), context);
    if (animations.has("collision"))
        object.collisionAnimation = loopingState(object.characterEntity, animations.name("collision"), context);
    object.activeAnimation = object.idleAnimation;
    if (object.activeAnimation)
        object.activeAnimation->setEnabled(true);
}

void buildDecor(TrackedObject& object, const Setting& decor, ObjectSceneContext& context)
{
    object.decorNode = object.markerNode->createChildSceneNode();
    standOnMarker(object.decorNode);
    for (unsigned i = 0; i < decor.size(); ++i) {
        const Setting item = decor[i];
        Ogre::SceneNode* node = object.decorNode->createChildSceneNode();
        placeNode(node, item);
        Ogre::Entity* entity = createEntity(context, item.name("mesh"));
        entity->setCastShadows(item.getBool("shadow", false));
        const std::string animation = item.getString("animation", "");
        if (!animation.empty()) {
            Ogre::AnimationState* state = entity->getAnimationState(animation);
            state->setEnabled(true);
            state->setLoop(true);
            context.animationStates.push_back(state);
        }
        node->attachObject(entity);
    }
}

Ogre::SceneNode* debugNode(const TrackedObject& object, const std::string& name)
{
    if (name == "flyer")
        return object.markerNode;
    if (name == "base")
        return object.baseNode;
    if (name == "collision")
        return object.collisionNode;
    if (name == "character")
        return object.characterNode;
    if (name == "decor")
        return object.decorNode;
    throw Exception("Invalid debug node");
}

} // namespace

void buildObjectScene(TrackedObject& object, const Setting& config, ObjectSceneContext& context)
{
    const Setting graphics = findGraphicsObject(config, object.name);

    object.markerNode = context.trackingRoot->createChildSceneNode();
    object.baseNode = object.markerNode->createChildSceneNode();
    standOnMarker(object.baseNode);
    object.collisionNode = object.baseNode->createChildSceneNode();
    object.collisionNode->setInitialState();

    buildCharacter(object, graphics["character"], context);
    buildDecor(object, graphics["decor"], context);

    const Setting debug = config["misc"]["debug"];
    for (unsigned i = 0; i < debug.size(); ++i)
        attachDebugMesh(context.sceneManager, debugNode(object, debug[i].name("node")), debug[i].name("mesh"),
                        context.names);
}

void attachDebugMesh(Ogre::SceneManager* sceneManager, Ogre::SceneNode* node, const std::string& mesh,
                     UniqueNameCounter& names)
{
    Ogre::Entity* entity = sceneManager->createEntity(names.makeUniqueName("KWO/Entity/"), mesh);
    entity->setRenderQueueGroup(Ogre::RENDER_QUEUE_MAX);
    entity->setVisibilityFlags(sceneViewportOnly);
    entity->setCastShadows(false);
    node->attachObject(entity);
}

} // namespace kwo
