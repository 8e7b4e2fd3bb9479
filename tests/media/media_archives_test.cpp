// The generated media archives, loaded the way the viewer loads them: as zip
// resource locations of OGRE (here without a render system).

#include <OGRE/OgreAnimation.h>
#include <OGRE/OgreAnimationTrack.h>
#include <OGRE/OgreArchive.h>
#include <OGRE/OgreArchiveManager.h>
#include <OGRE/OgreDefaultHardwareBufferManager.h>
#include <OGRE/OgreImage.h>
#include <OGRE/OgreKeyFrame.h>
#include <OGRE/OgreLogManager.h>
#include <OGRE/OgreMaterialManager.h>
#include <OGRE/OgreMesh.h>
#include <OGRE/OgreMeshManager.h>
#include <OGRE/OgreResourceGroupManager.h>
#include <OGRE/OgreRoot.h>
#include <OGRE/OgreSkeleton.h>
#include <OGRE/OgreStringConverter.h>
#include <OGRE/OgreSubMesh.h>
#include <OGRE/OgreTextureManager.h>

#include <gtest/gtest.h>
#include <json/json.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

extern const unsigned char defaultConfigDocument[];
extern const std::size_t defaultConfigDocumentSize;

namespace {

const std::string graphics = std::string(KWO_PROGRAM_DIR) + "/media/graphics/";

struct ArchiveContent {
    std::string archive;
    std::set<std::string> files;
};

const std::vector<ArchiveContent> archives = {
    {"Quillmoth.dat", {"Quillmoth.mesh", "Quillmoth.skeleton", "Quillmoth.material", "Quillmoth_Forewing.dds", "Quillmoth_Hindwing.dds"}},
    {"Brackenjaw.dat", {"Brackenjaw.mesh", "Brackenjaw.skeleton", "Brackenjaw.material"}},
    {"Sliverfin.dat", {"Sliverfin.mesh", "Sliverfin.skeleton", "Sliverfin.material"}},
    {"Mossglider.dat", {"Mossglider.mesh", "Mossglider.skeleton", "Mossglider.material"}},
    {"Decor.dat", {"Ground.mesh", "Ground.material"}},
};

Json::Value defaultDocument()
{
    const std::string text(reinterpret_cast<const char*>(defaultConfigDocument), defaultConfigDocumentSize);
    Json::Value document;
    Json::Reader reader;
    if (!reader.parse(text, document, true)) {
        throw std::runtime_error("default document: " + reader.getFormattedErrorMessages());
    }
    return document;
}

class MediaArchives : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        logs = new Ogre::LogManager;
        logs->createLog("media_archives.log", true, false, true);
        root = new Ogre::Root("", "", "");
        buffers = new Ogre::DefaultHardwareBufferManager;
        textures = new Ogre::DefaultTextureManager;   // materials name textures even without a render system
        Ogre::MaterialManager::getSingleton().initialise();
        for (const auto& content : archives) {
            Ogre::ResourceGroupManager::getSingleton().addResourceLocation(graphics + content.archive, "Zip");
        }
        Ogre::ResourceGroupManager::getSingleton().initialiseAllResourceGroups();
    }
    static void TearDownTestSuite()
    {
        delete textures;
        delete root;
        delete buffers;
        delete logs;
    }

    static Ogre::MeshPtr load(const std::string& mesh)
    {
        return Ogre::MeshManager::getSingleton().load(mesh, Ogre::ResourceGroupManager::DEFAULT_RESOURCE_GROUP_NAME);
    }

    static inline Ogre::LogManager* logs = nullptr;
    static inline Ogre::Root* root = nullptr;
    static inline Ogre::DefaultHardwareBufferManager* buffers = nullptr;
    static inline Ogre::DefaultTextureManager* textures = nullptr;
};

TEST_F(MediaArchives, EachArchiveIsAZipHoldingExactlyItsFiles)
{
    for (const auto& content : archives) {
        SCOPED_TRACE(content.archive);
        Ogre::Archive* archive = Ogre::ArchiveManager::getSingleton().load(graphics + content.archive, "Zip", true);
        const Ogre::StringVectorPtr names = archive->list(false);
        const std::set<std::string> found(names->begin(), names->end());
        EXPECT_EQ(found, content.files);
        for (const std::string& name : content.files) {
            EXPECT_GT(archive->open(name)->size(), 0u) << name;
            if (Ogre::StringUtil::endsWith(name, ".dds")) {
                Ogre::Image picture;
                picture.load(archive->open(name), "dds");
                EXPECT_EQ(picture.getWidth(), 256u) << name;
                EXPECT_EQ(picture.getHeight(), 128u) << name;
                EXPECT_TRUE(picture.getHasAlpha()) << name;
            }
        }
    }
}

// Every creature the default document draws, with every animation it names.
TEST_F(MediaArchives, DefaultCreaturesLoadWithTheirLoopingAnimations)
{
    const Json::Value objects = defaultDocument()["graphics"]["objects"];
    ASSERT_EQ(objects.size(), 4u);
    for (const Json::Value& object : objects) {
        const std::string name = object["name"].asString();
        SCOPED_TRACE(name);
        Ogre::MeshPtr mesh = load(object["character"]["mesh"].asString());
        ASSERT_TRUE(mesh->hasSkeleton());
        const Ogre::SkeletonPtr& skeleton = mesh->getSkeleton();
        EXPECT_EQ(skeleton->getName(), name + ".skeleton");
        const Json::Value& animations = object["character"]["animations"];
        ASSERT_TRUE(animations.isMember("idle"));
        for (const std::string& role : animations.getMemberNames()) {
            const std::string animationName = animations[role].asString();
            SCOPED_TRACE(animationName);
            ASSERT_TRUE(skeleton->hasAnimation(animationName));
            const Ogre::Animation* animation = skeleton->getAnimation(animationName);
            // Calm idles, short excited reactions.
            const auto [shortest, longest] = role == "idle" ? std::pair{2.0f, 4.0f} : std::pair{1.0f, 2.0f};
            EXPECT_GE(animation->getLength(), shortest);
            EXPECT_LE(animation->getLength(), longest);
            ASSERT_GT(animation->getNumNodeTracks(), 0u);
            for (const auto& [handle, track] : animation->_getNodeTrackList()) {
                ASSERT_GE(track->getNumKeyFrames(), 2u);
                const auto* first = track->getNodeKeyFrame(0);
                const auto* last = track->getNodeKeyFrame(track->getNumKeyFrames() - 1);
                EXPECT_FLOAT_EQ(first->getTime(), 0.0f);
                EXPECT_FLOAT_EQ(last->getTime(), animation->getLength());
                for (int i = 0; i < 4; ++i) {
                    EXPECT_NEAR(first->getRotation()[i], last->getRotation()[i], 1e-6f) << "bone " << handle;
                }
                EXPECT_TRUE(first->getTranslate().positionEquals(last->getTranslate(), 1e-5f)) << "bone " << handle;
                EXPECT_TRUE(first->getScale().positionEquals(last->getScale(), 1e-5f)) << "bone " << handle;
            }
        }
        // The reaction differs from the idle (not a copy under another name).
        if (animations.isMember("collision")) {
            EXPECT_NE(skeleton->getAnimation(animations["idle"].asString())->getLength(),
                      skeleton->getAnimation(animations["collision"].asString())->getLength());
        }
    }
}

TEST_F(MediaArchives, CreaturesAreSkinnedColouredAndStandOnTheMarker)
{
    for (const char* name : {"Quillmoth", "Brackenjaw", "Sliverfin", "Mossglider"}) {
        SCOPED_TRACE(name);
        Ogre::MeshPtr mesh = load(std::string(name) + ".mesh");
        const Ogre::AxisAlignedBox box = mesh->getBounds();
        EXPECT_NEAR(box.getMinimum().y, 0.0f, 0.01f);
        EXPECT_GE(box.getMaximum().y, 50.0f);
        EXPECT_LE(box.getMaximum().y, 90.0f);
        EXPECT_LE(box.getSize().x, 95.0f);
        EXPECT_LE(box.getSize().z, 95.0f);
        EXPECT_LT(std::abs(box.getCenter().x), 1.0f) << "creatures are symmetric about the marker's centre";

        std::size_t triangles = 0;
        const auto bones = mesh->getSkeleton()->getNumBones();
        for (Ogre::SubMesh* sub : mesh->getSubMeshes()) {
            EXPECT_EQ(sub->getMaterialName().rfind(std::string(name) + "/", 0), 0u) << sub->getMaterialName();
            EXPECT_TRUE(Ogre::MaterialManager::getSingleton().resourceExists(sub->getMaterialName(), mesh->getGroup()));
            triangles += sub->indexData->indexCount / 3;
            const Ogre::VertexData* data = sub->vertexData;
            const auto* position = data->vertexDeclaration->findElementBySemantic(Ogre::VES_POSITION);
            const auto* colour = data->vertexDeclaration->findElementBySemantic(Ogre::VES_DIFFUSE);
            ASSERT_NE(colour, nullptr);
            // Software skinning replaces the position buffer; colours and texture
            // coordinates must live apart from it.
            EXPECT_NE(colour->getSource(), position->getSource());
            if (const auto* uv = data->vertexDeclaration->findElementBySemantic(Ogre::VES_TEXTURE_COORDINATES)) {
                EXPECT_NE(uv->getSource(), position->getSource());
            }

            std::vector<float> total(data->vertexCount, 0.0f);
            for (const auto& [vertex, assignment] : sub->getBoneAssignments()) {
                ASSERT_LT(vertex, data->vertexCount);
                ASSERT_LT(assignment.boneIndex, bones);
                total[vertex] += assignment.weight;
            }
            for (std::size_t v = 0; v < total.size(); ++v) {
                ASSERT_NEAR(total[v], 1.0f, 1e-4f) << "vertex " << v;
            }
        }
        EXPECT_GE(triangles, 2000u);
        EXPECT_LE(triangles, 12000u);
        std::cout << name << ": " << triangles << " triangles, " << bones << " bones, " << box.getSize() << " mm\n";
    }
}

TEST_F(MediaArchives, GroundIsAStaticPlateTheSizeOfTheMarker)
{
    Ogre::MeshPtr mesh = load("Ground.mesh");
    EXPECT_FALSE(mesh->hasSkeleton());
    const Ogre::AxisAlignedBox box = mesh->getBounds();
    EXPECT_NEAR(box.getSize().x, 90.0f, 3.0f);
    EXPECT_NEAR(box.getSize().z, 90.0f, 3.0f);
    EXPECT_LE(box.getMaximum().y, 1.0f) << "creatures standing on y = 0 must not sink into it";
    EXPECT_GE(box.getMinimum().y, -5.0f);
    for (Ogre::SubMesh* sub : mesh->getSubMeshes()) {
        EXPECT_EQ(sub->getMaterialName().rfind("Ground/", 0), 0u);
        const Ogre::MaterialPtr material = Ogre::MaterialManager::getSingleton().getByName(sub->getMaterialName(), mesh->getGroup());
        ASSERT_TRUE(material);
        EXPECT_TRUE(material->getReceiveShadows());
    }
}

} // namespace
