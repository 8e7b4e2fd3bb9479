#include "scene/object_scene.h"

#include "scene/object_settings.h"

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

void placeNode(Ogre::SceneNode* node, const PlacedMesh& placed)
{
    node->setPosition(placed.position);
    node->setOrientation(placed.orientation);
    node->setScale(placed.scale);
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

void buildCharacter(TrackedObject& object, const CharacterSettings& character, ObjectSceneContext& context)
{
    object.characterNode = object.collisionNode->createChildSceneNode();
    placeNode(object.characterNode, character);

    object.characterEntity = createEntity(context, character.mesh);
    object.characterEntity->setCastShadows(character.castShadows);
    object.characterNode->attachObject(object.characterEntity);

    object.activeAnimation = object.idleAnimation = object.collisionAnimation = nullptr;
    if (character.idle)
        object.idleAnimation = loopingState(object.characterEntity, *character.idle, context);
    if (character.collision)
        object.collisionAnimation = loopingState(object.characterEntity, *character.collision, context);
    object.activeAnimation = object.idleAnimation;
    if (object.activeAnimation)
        object.activeAnimation->setEnabled(true);
}

void buildDecor(TrackedObject& object, const std::vector<DecorSettings>& decor, ObjectSceneContext& context)
{
    object.decorNode = object.markerNode->createChildSceneNode();
    standOnMarker(object.decorNode);
    for (const DecorSettings& item : decor) {
        Ogre::SceneNode* node = object.decorNode->createChildSceneNode();
        placeNode(node, item);
        Ogre::Entity* entity = createEntity(context, item.mesh);
        entity->setCastShadows(item.castShadows);
        if (!item.animation.empty()) {
            Ogre::AnimationState* state = entity->getAnimationState(item.animation);
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
    return object.decorNode; // "decor": the names were checked when read
}

} // namespace

void buildObjectScene(TrackedObject& object, const Setting& config, ObjectSceneContext& context)
{
    // Read and checked whole before the first node is made.
    const GraphicsObjectSettings graphics = readGraphicsObject(config, object.name);
    const std::vector<DebugMesh> debugMeshes = readDebugMeshes(config);

    object.markerNode = context.trackingRoot->createChildSceneNode();
    object.baseNode = object.markerNode->createChildSceneNode();
    standOnMarker(object.baseNode);
    object.collisionNode = object.baseNode->createChildSceneNode();
    object.collisionNode->setInitialState();

    buildCharacter(object, graphics.character, context);
    buildDecor(object, graphics.decor, context);

    for (const DebugMesh& debug : debugMeshes)
        attachDebugMesh(context.sceneManager, debugNode(object, debug.node), debug.mesh, context.names);
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
