#include "tests/tracking/scene_fixture.h"

#include <OgreAnimation.h>
#include <OgreBone.h>
#include <OgreCamera.h>
#include <OgreKeyFrame.h>
#include <OgreMaterialManager.h>
#include <OgreMesh.h>
#include <OgreMeshManager.h>
#include <OgreSkeleton.h>
#include <OgreSkeletonManager.h>
#include <OgreSubMesh.h>

namespace kwo::test {

EngineWithoutDisplay::EngineWithoutDisplay()
{
    logs = std::make_unique<Ogre::LogManager>();
    logs->createLog("engine-test.log", true, false, true);
    root = std::make_unique<Ogre::Root>("", "", "");
    buffers = std::make_unique<Ogre::DefaultHardwareBufferManager>();
    Ogre::MaterialManager::getSingleton().initialise();
    scene = root->createSceneManager();
    camera = scene->createCamera("test camera");
}

EngineWithoutDisplay::~EngineWithoutDisplay()
{
    root->destroySceneManager(scene);
    Ogre::MeshManager::getSingleton().removeAll();
    Ogre::SkeletonManager::getSingleton().removeAll();
    root.reset();
    buffers.reset();
}

void EngineWithoutDisplay::updateSceneGraph()
{
    // Rendering turns auto-tracking nodes toward their targets before it
    // updates the graph; there is no rendering here, so do the same by hand.
    scene->_updateSceneGraph(camera);
    std::vector<Ogre::SceneNode*> nodes;
    std::vector<Ogre::Node*> pending{scene->getRootSceneNode()};
    while (!pending.empty()) {
        auto* node = static_cast<Ogre::SceneNode*>(pending.back());
        pending.pop_back();
        if (node->getAutoTrackTarget())
            node->_autoTrack();
        for (Ogre::Node* child : node->getChildren())
            pending.push_back(child);
    }
    scene->_updateSceneGraph(camera);
}

void EngineWithoutDisplay::makeMesh(const std::string& name, const std::vector<std::string>& animations)
{
    Ogre::MeshPtr mesh = Ogre::MeshManager::getSingleton().createManual(name, "General");
    mesh->sharedVertexData = new Ogre::VertexData();
    Ogre::VertexData* vertices = mesh->sharedVertexData;
    vertices->vertexCount = 3;
    vertices->vertexDeclaration->addElement(0, 0, Ogre::VET_FLOAT3, Ogre::VES_POSITION);
    auto vbuf = Ogre::HardwareBufferManager::getSingleton().createVertexBuffer(
        sizeof(float) * 3, 3, Ogre::HardwareBuffer::HBU_STATIC);
    const float positions[] = {0, 0, 0, 10, 0, 0, 0, 10, 0};
    vbuf->writeData(0, sizeof positions, positions);
    vertices->vertexBufferBinding->setBinding(0, vbuf);

    Ogre::SubMesh* sub = mesh->createSubMesh();
    sub->useSharedVertices = true;
    auto ibuf = Ogre::HardwareBufferManager::getSingleton().createIndexBuffer(Ogre::HardwareIndexBuffer::IT_16BIT, 3,
                                                                              Ogre::HardwareBuffer::HBU_STATIC);
    const Ogre::uint16 indices[] = {0, 1, 2};
    ibuf->writeData(0, sizeof indices, indices);
    sub->indexData->indexBuffer = ibuf;
    sub->indexData->indexCount = 3;
    mesh->_setBounds(Ogre::AxisAlignedBox(0, 0, 0, 10, 10, 1));

    if (!animations.empty()) {
        Ogre::SkeletonPtr skeleton =
            Ogre::SkeletonManager::getSingleton().create(name + ".skeleton", "General", true);
        Ogre::Bone* bone = skeleton->createBone("root");
        for (const std::string& animation : animations) {
            Ogre::Animation* clip = skeleton->createAnimation(animation, 2);
            Ogre::NodeAnimationTrack* track = clip->createNodeTrack(0, bone);
            track->createNodeKeyFrame(0);
            track->createNodeKeyFrame(2);
        }
        skeleton->setBindingPose();
        mesh->setSkeletonName(skeleton->getName());
        for (unsigned i = 0; i < 3; ++i) {
            Ogre::VertexBoneAssignment assignment;
            assignment.vertexIndex = i;
            assignment.boneIndex = 0;
            assignment.weight = 1;
            mesh->addBoneAssignment(assignment);
        }
        mesh->_compileBoneAssignments();
    }
    mesh->load();
}

} // namespace kwo::test
