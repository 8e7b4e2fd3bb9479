#include "ogre_export.h"

#include <OGRE/OgreAnimation.h>
#include <OGRE/OgreAnimationTrack.h>
#include <OGRE/OgreBone.h>
#include <OGRE/OgreHardwareBufferManager.h>
#include <OGRE/OgreKeyFrame.h>
#include <OGRE/OgreMaterialManager.h>
#include <OGRE/OgreMesh.h>
#include <OGRE/OgreMeshManager.h>
#include <OGRE/OgreMeshSerializer.h>
#include <OGRE/OgreResourceGroupManager.h>
#include <OGRE/OgreSkeleton.h>
#include <OGRE/OgreSkeletonManager.h>
#include <OGRE/OgreSkeletonSerializer.h>
#include <OGRE/OgreSubMesh.h>

#include <cstring>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <stdexcept>

namespace kwo::media {

namespace {

const Ogre::String group = Ogre::ResourceGroupManager::DEFAULT_RESOURCE_GROUP_NAME;

std::string readWhole(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    if (!file) {
        throw std::runtime_error("cannot read " + path);
    }
    return bytes.str();
}

Ogre::SkeletonPtr exportSkeleton(const Model& model, const std::string& path)
{
    Ogre::SkeletonPtr skeleton = Ogre::SkeletonManager::getSingleton().create(model.name + ".skeleton", group, true);
    for (std::size_t i = 0; i < model.bones.size(); ++i) {
        const BoneSpec& described = model.bones[i];
        Ogre::Bone* bone = skeleton->createBone(described.name, static_cast<unsigned short>(i));
        Ogre::Vector3 local = described.head;
        if (!described.parent.empty()) {
            skeleton->getBone(described.parent)->addChild(bone);
            local -= model.bones[model.boneIndex(described.parent)].head;
        }
        bone->setPosition(local);
    }
    skeleton->setBindingPose();

    for (const Clip& clip : model.clips) {
        Ogre::Animation* animation = skeleton->createAnimation(clip.name, clip.length);
        animation->setInterpolationMode(Ogre::Animation::IM_SPLINE);
        for (const Channel& channel : clip.channels) {
            const auto handle = static_cast<unsigned short>(model.boneIndex(channel.bone));
            Ogre::NodeAnimationTrack* track = animation->createNodeTrack(handle, skeleton->getBone(handle));
            for (int k = 0; k < clip.keys; ++k) {
                // The closing key repeats the opening one exactly, so the loop has no seam.
                const float phase = k == clip.keys - 1 ? 0.0f : static_cast<float>(k) / (clip.keys - 1);
                Ogre::TransformKeyFrame* key = track->createNodeKeyFrame(clip.length * k / (clip.keys - 1));
                key->setRotation(channel.rotation ? channel.rotation(phase) : Ogre::Quaternion::IDENTITY);
                key->setTranslate(channel.translation ? channel.translation(phase) : Ogre::Vector3::ZERO);
            }
        }
    }
    Ogre::SkeletonSerializer().exportSkeleton(skeleton.get(), path);
    return skeleton;
}

void fillSubMesh(Ogre::SubMesh* sub, const Surface& surface, bool skinned)
{
    if (surface.vertices.size() > 0xffff) {
        throw std::length_error("too many vertices in one surface");
    }
    auto& buffers = Ogre::HardwareBufferManager::getSingleton();
    sub->useSharedVertices = false;
    auto* data = new Ogre::VertexData();
    sub->vertexData = data;
    data->vertexCount = surface.vertices.size();
    Ogre::VertexDeclaration* declaration = data->vertexDeclaration;
    std::size_t offset = 0;
    offset += declaration->addElement(0, offset, Ogre::VET_FLOAT3, Ogre::VES_POSITION).getSize();
    offset += declaration->addElement(0, offset, Ogre::VET_FLOAT3, Ogre::VES_NORMAL).getSize();
    offset += declaration->addElement(0, offset, Ogre::VET_UBYTE4_NORM, Ogre::VES_DIFFUSE).getSize();
    if (surface.textured) {
        offset += declaration->addElement(0, offset, Ogre::VET_FLOAT2, Ogre::VES_TEXTURE_COORDINATES, 0).getSize();
    }

    Ogre::HardwareVertexBufferSharedPtr vertices =
        buffers.createVertexBuffer(offset, data->vertexCount, Ogre::HardwareBuffer::HBU_STATIC_WRITE_ONLY);
    {
        std::vector<unsigned char> bytes(offset * data->vertexCount);
        unsigned char* at = bytes.data();
        for (const Vertex& vertex : surface.vertices) {
            const float values[6] = {vertex.position.x, vertex.position.y, vertex.position.z,
                                     vertex.normal.x, vertex.normal.y, vertex.normal.z};
            std::memcpy(at, values, sizeof values);
            at += sizeof values;
            const Ogre::ColourValue c = vertex.colour.saturateCopy();
            const unsigned char rgba[4] = {static_cast<unsigned char>(c.r * 255 + 0.5f), static_cast<unsigned char>(c.g * 255 + 0.5f),
                                           static_cast<unsigned char>(c.b * 255 + 0.5f), 255};
            std::memcpy(at, rgba, sizeof rgba);
            at += sizeof rgba;
            if (surface.textured) {
                const float uv[2] = {vertex.uv.x, vertex.uv.y};
                std::memcpy(at, uv, sizeof uv);
                at += sizeof uv;
            }
        }
        vertices->writeData(0, bytes.size(), bytes.data(), true);
    }
    data->vertexBufferBinding->setBinding(0, vertices);

    Ogre::HardwareIndexBufferSharedPtr indices =
        buffers.createIndexBuffer(Ogre::HardwareIndexBuffer::IT_16BIT, surface.indices.size(), Ogre::HardwareBuffer::HBU_STATIC_WRITE_ONLY);
    std::vector<std::uint16_t> shortIndices(surface.indices.begin(), surface.indices.end());
    indices->writeData(0, shortIndices.size() * sizeof(std::uint16_t), shortIndices.data(), true);
    sub->indexData->indexBuffer = indices;
    sub->indexData->indexStart = 0;
    sub->indexData->indexCount = surface.indices.size();

    if (!skinned) {
        return;
    }
    for (std::size_t i = 0; i < surface.vertices.size(); ++i) {
        const Skin& skin = surface.vertices[i].skin;
        const float total = skin.weight[0] + skin.weight[1];
        for (int k = 0; k < 2; ++k) {
            if (skin.weight[k] <= 0.0f || (k == 1 && skin.bone[1] == skin.bone[0])) {
                continue;
            }
            Ogre::VertexBoneAssignment assignment;
            assignment.vertexIndex = static_cast<unsigned int>(i);
            assignment.boneIndex = static_cast<unsigned short>(skin.bone[k]);
            assignment.weight = skin.weight[k] / total;
            sub->addBoneAssignment(assignment);
        }
    }
    // Software skinning rewrites positions and normals only; with every element
    // in one interleaved buffer the colours and texture coordinates would not survive it.
    data->reorganiseBuffers(declaration->getAutoOrganisedDeclaration(true, false, false));
}

void exportMesh(const Model& model, const std::string& path)
{
    Ogre::MeshPtr mesh = Ogre::MeshManager::getSingleton().createManual(model.name + ".mesh", group);
    const bool skinned = !model.bones.empty();
    Ogre::AxisAlignedBox bounds;
    float radius = 0.0f;
    for (const auto& [material, surface] : model.surfaces) {
        Ogre::SubMesh* sub = mesh->createSubMesh();
        // A submesh keeps its material by reference, so the name needs a
        // material behind it while the mesh is written; the script comes later.
        auto& materials = Ogre::MaterialManager::getSingleton();
        if (!materials.resourceExists(material, group)) {
            materials.create(material, group);
        }
        sub->setMaterialName(material, group);
        fillSubMesh(sub, surface, skinned);
        for (const Vertex& vertex : surface.vertices) {
            bounds.merge(vertex.position);
            radius = std::max(radius, vertex.position.length());
        }
    }
    mesh->_setBounds(bounds, false);
    mesh->_setBoundingSphereRadius(radius);
    if (skinned) {
        mesh->setSkeletonName(model.name + ".skeleton");
    }
    Ogre::MeshSerializer().exportMesh(mesh.get(), path);
    // A manual mesh that was never loaded frees nothing when it is unloaded.
    while (mesh->getNumSubMeshes() > 0) {
        mesh->destroySubMesh(0);
    }
    Ogre::MeshManager::getSingleton().remove(mesh);
    for (const auto& [material, surface] : model.surfaces) {
        Ogre::MaterialManager::getSingleton().remove(material, group);
    }
}

} // namespace

std::string ddsFile(const Texture& texture)
{
    std::string out = "DDS ";
    auto put32 = [&out](std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            out += static_cast<char>((value >> (8 * i)) & 0xff);
        }
    };
    const auto width = static_cast<std::uint32_t>(texture.width);
    const auto height = static_cast<std::uint32_t>(texture.height);
    put32(124);                          // header size
    put32(0x1 | 0x2 | 0x4 | 0x8 | 0x1000);   // caps, height, width, pitch, pixel format
    put32(height);
    put32(width);
    put32(width * 4);                    // pitch
    put32(0);                            // depth
    put32(0);                            // mipmaps: OGRE makes its own
    for (int i = 0; i < 11; ++i) {
        put32(0);
    }
    put32(32);                           // pixel format size
    put32(0x1 | 0x40);                   // alpha pixels, RGB
    put32(0);                            // no FourCC
    put32(32);                           // bits per pixel
    put32(0x00ff0000);                   // red mask
    put32(0x0000ff00);                   // green mask
    put32(0x000000ff);                   // blue mask
    put32(0xff000000);                   // alpha mask
    put32(0x1000);                       // caps: texture
    for (int i = 0; i < 4; ++i) {
        put32(0);
    }
    for (std::size_t i = 0; i < texture.rgba.size(); i += 4) {
        out += static_cast<char>(texture.rgba[i + 2]);
        out += static_cast<char>(texture.rgba[i + 1]);
        out += static_cast<char>(texture.rgba[i]);
        out += static_cast<char>(texture.rgba[i + 3]);
    }
    return out;
}

std::string materialScript(const Model& model)
{
    std::ostringstream out;
    out << std::fixed << std::setprecision(3);
    for (const auto& [material, surface] : model.surfaces) {
        const auto found = model.finishes.find(material);
        const Finish finish = found == model.finishes.end() ? Finish{} : found->second;
        out << "material " << material << "\n"
            << "{\n"
            << "    receive_shadows on\n"
            << "    technique\n"
            << "    {\n"
            << "        pass\n"
            << "        {\n"
            << "            ambient vertexcolour\n"
            << "            diffuse vertexcolour\n"
            << "            specular " << finish.specular << ' ' << finish.specular << ' ' << finish.specular << " 1 "
            << finish.shininess << "\n";
        if (!finish.texture.empty()) {
            out << "            texture_unit\n"
                << "            {\n"
                << "                texture " << finish.texture << "\n"
                << "            }\n";
        }
        out << "        }\n"
            << "    }\n"
            << "}\n\n";
    }
    return out.str();
}

std::vector<ZipEntry> exportModel(const Model& model, const std::string& stagingFolder)
{
    std::vector<ZipEntry> entries;
    // The skeleton stays in its manager while the mesh is written, so the mesh
    // can link to it by name.
    Ogre::SkeletonPtr skeleton;
    const std::string skeletonName = model.name + ".skeleton";
    if (!model.bones.empty()) {
        skeleton = exportSkeleton(model, stagingFolder + "/" + skeletonName);
    }
    const std::string meshName = model.name + ".mesh";
    exportMesh(model, stagingFolder + "/" + meshName);
    entries.push_back({meshName, readWhole(stagingFolder + "/" + meshName)});
    if (skeleton) {
        Ogre::SkeletonManager::getSingleton().remove(skeleton);
        entries.push_back({skeletonName, readWhole(stagingFolder + "/" + skeletonName)});
    }
    entries.push_back({model.name + ".material", materialScript(model)});
    for (const auto& [file, texture] : model.textures) {
        entries.push_back({file, ddsFile(texture)});
    }
    return entries;
}

} // namespace kwo::media
