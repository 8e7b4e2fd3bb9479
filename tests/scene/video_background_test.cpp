// The video background on a real render window: what the "rendering" section
// asks of the scene viewport and the video texture is what the engine got.
// The pictures cannot tell a 24-bit texture from a 32-bit one, nor a material
// scheme the media give no technique for, so the engine's state is read.
#include "app/window.h"
#include "config/documents.h"
#include "config/setting.h"
#include "scene/engine.h"
#include "scene/frame_picture.h"
#include "scene/video_background.h"
#include "tests/scene/json_text.h"
#include "tests/support/files.h"

#include <OgreMaterialManager.h>
#include <OgreRectangle2D.h>
#include <OgreRenderWindow.h>
#include <OgreRoot.h>
#include <OgreViewport.h>
#include <OgreRenderTexture.h>
#include <OgreTextureUnitState.h>
#include <OgreTextureManager.h>
#include <OgrePass.h>
#include <OgreTechnique.h>
#include <OgreHardwarePixelBuffer.h>

#include <GL/gl.h>

#include <gtest/gtest.h>
#include <json/reader.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace kwo::test {
namespace {

class VideoBackgroundOnScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = createRoot(logFolder.file("ogre.log"));
        startRenderSystem(*root);
        WindowSettings settings;
        settings.vsync = false;
        window = std::make_unique<AppWindow>(running, "video background under test", 320, 240, WindowOptions{});
        renderWindow = createRenderWindow(*root, settings, window->nativeHandle());
        scene = root->createSceneManager();
        locations = json(R"([")" KWO_PROGRAM_DIR R"(/media/graphics/Core.dat"])");
        addMediaLocations(Setting(locations, "media/locations"));
    }

    void TearDown() override
    {
        background = {};
        renderWindow->removeAllViewports();
        root->destroySceneManager(scene);
        deleteRoot(root);
        window.reset();
    }

    // The background as the viewer makes it from `rendering`, merged over
    // the built-in document's section.
    const VideoBackground& make(const std::string& rendering)
    {
        Json::Value document;
        Json::Reader().parse(std::string(defaultDocument()), document);
        mergeConfig(document, json(R"({"rendering": )" + rendering + "}"));
        config = document;
        background = {};
        renderWindow->removeAllViewports();
        background = createVideoBackground(*scene, *renderWindow, Setting(config, "")["rendering"], names, 320, 240,
                                           false);
        return background;
    }

    TempDir logFolder;
    bool running = true;
    Ogre::Root* root = nullptr;
    std::unique_ptr<AppWindow> window;
    Ogre::RenderWindow* renderWindow = nullptr;
    Ogre::SceneManager* scene = nullptr;
    Json::Value locations, config;
    UniqueNameCounter names;
    VideoBackground background;
};

TEST_F(VideoBackgroundOnScreen, SchemeOfTheSceneViewportAndFormatOfTheTexture)
{
    const struct {
        const char* rendering;
        const char* scheme;
        Ogre::PixelFormat format;
    } cases[] = {
        {"{}", "Default", Ogre::PF_X8R8G8B8},
        {R"({"scheme": "Museum", "pixel": "rgb24"})", "Museum", Ogre::PF_R8G8B8},
        {R"({"scheme": "Low", "pixel": "rgb32"})", "Low", Ogre::PF_X8R8G8B8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rendering);
        const VideoBackground& made = make(c.rendering);
        ASSERT_NE(made.sceneViewport, nullptr);
        EXPECT_EQ(made.sceneViewport->getMaterialScheme(), c.scheme);
        // The backdrop keeps the engine's own scheme whatever the scene's.
        EXPECT_EQ(made.backdropViewport->getMaterialScheme(), Ogre::MaterialManager::DEFAULT_SCHEME_NAME);
        EXPECT_EQ(made.texture->getFormat(), c.format) << Ogre::PixelUtil::getFormatName(made.texture->getFormat());
        EXPECT_EQ(made.texture->getWidth(), 320u);
        EXPECT_EQ(made.texture->getHeight(), 240u);
    }
}

// The texture's level 0 as the driver holds it: its internal format, and its
// pixels read back as the frames are laid out.
struct TextureContent {
    GLint internalFormat = 0;
    std::vector<std::uint8_t> bgrx;
};

TextureContent readTexture(Ogre::Texture& texture)
{
    GLuint id = 0;
    texture.getCustomAttribute("GLID", &id);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glBindTexture(GL_TEXTURE_2D, id);
    TextureContent content;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &content.internalFormat);
    content.bgrx.resize(static_cast<std::size_t>(texture.getWidth()) * texture.getHeight() * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_BYTE, content.bgrx.data());
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
    return content;
}

TEST_F(VideoBackgroundOnScreen, TheTextureKeepsItsFormatStartsBlackAndHoldsEachFrameAsSent)
{
    // Each pixel's bytes differ, so a swapped or dropped channel shows.
    std::vector<std::uint8_t> frame(320 * 240 * 4);
    for (std::size_t i = 0; i < frame.size(); i += 4) {
        frame[i] = static_cast<std::uint8_t>(i / 4 % 251);
        frame[i + 1] = static_cast<std::uint8_t>(i / 4 % 241 + 7);
        frame[i + 2] = static_cast<std::uint8_t>(i / 4 % 239 + 13);
        frame[i + 3] = 0x5a; // the pad: not a colour
    }
    // The internal formats the engine gives "rgb32" and "rgb24".
    const struct {
        const char* rendering;
        GLint internalFormat;
    } cases[] = {{"{}", GL_RGBA8}, {R"({"pixel": "rgb24"})", GL_RGB8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rendering);
        const VideoBackground& made = make(c.rendering);
        const TextureContent first = readTexture(*made.texture);
        EXPECT_EQ(first.internalFormat, c.internalFormat);
        for (std::size_t i = 0; i < first.bgrx.size(); i += 4)
            if (first.bgrx[i] || first.bgrx[i + 1] || first.bgrx[i + 2]) {
                ADD_FAILURE() << "not black at pixel " << i / 4;
                break;
            }
        uploadFrame(*made.buffer, frame.data(), 320, 240);
        const TextureContent shown = readTexture(*made.texture);
        EXPECT_EQ(shown.internalFormat, c.internalFormat);
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < frame.size(); i += 4)
            wrong += shown.bgrx[i] != frame[i] || shown.bgrx[i + 1] != frame[i + 1] || shown.bgrx[i + 2] != frame[i + 2];
        EXPECT_EQ(wrong, 0u) << "pixels unlike the frame";
    }
}


// Drawn texel for pixel (an 800x600 target, the backdrop's size), the backdrop
// samples the nearest texel, which a software renderer draws for less: the
// pixels are those bilinear filtering gives there. Scaled (the 320x240
// window), it keeps the configured filtering.
TEST_F(VideoBackgroundOnScreen, BackdropDrawnTexelForPixelSamplesTheNearestTexelAndLooksTheSame)
{
    Ogre::TexturePtr picture = Ogre::TextureManager::getSingleton().createManual(
        "backdrop under test", "General", Ogre::TEX_TYPE_2D, 800, 600, 0, Ogre::PF_X8R8G8B8, Ogre::TU_RENDERTARGET);
    Ogre::RenderTarget* target = picture->getBuffer()->getRenderTarget();
    Json::Value document;
    Json::Reader().parse(std::string(defaultDocument()), document);
    config = document;
    background = createVideoBackground(*scene, *target, Setting(config, "")["rendering"], names, 320, 240, false);
    Ogre::TextureUnitState* unit =
        background.backdrop->getMaterial()->getTechnique(0)->getPass(0)->getTextureUnitState(0);
    EXPECT_EQ(unit->getTextureFiltering(Ogre::FT_MIN), Ogre::FO_POINT);
    EXPECT_EQ(unit->getTextureFiltering(Ogre::FT_MAG), Ogre::FO_POINT);

    background.sceneViewport->setVisibilityMask(0); // the backdrop alone
    const auto draw = [&] {
        target->update();
        std::vector<std::uint8_t> pixels(800 * 600 * 4);
        target->copyContentsToMemory(Ogre::Box(0, 0, 800, 600),
                                     Ogre::PixelBox(800, 600, 1, Ogre::PF_X8R8G8B8, pixels.data()));
        return pixels;
    };
    const std::vector<std::uint8_t> nearest = draw();
    unit->setTextureFiltering(Ogre::TFO_BILINEAR);
    const std::vector<std::uint8_t> bilinear = draw();
    std::size_t differing = 0;
    for (std::size_t i = 0; i < nearest.size(); ++i)
        differing += nearest[i] != bilinear[i];
    EXPECT_EQ(differing, 0u) << "of " << nearest.size() << " bytes";
    // Something was drawn: the backdrop is no single colour.
    EXPECT_NE(std::count(nearest.begin(), nearest.end(), nearest[0]), static_cast<long>(nearest.size()));

    target->removeAllViewports();
    unit->setTextureFiltering(Ogre::TFO_NONE);
    make("{}");
    EXPECT_EQ(unit->getTextureFiltering(Ogre::FT_MIN), Ogre::FO_LINEAR);
    EXPECT_EQ(unit->getTextureFiltering(Ogre::FT_MAG), Ogre::FO_LINEAR);
}

} // namespace
} // namespace kwo::test
