#include "scene/scaled_presentation.h"

#include <OgreException.h>
#include <OgreHardwarePixelBuffer.h>
#include <OgreRenderSystem.h>
#include <OgreRenderTexture.h>
#include <OgreRenderWindow.h>
#include <OgreRoot.h>
#include <OgreTextureManager.h>
#include <OgreViewport.h>

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>

#include <array>

namespace kwo {

bool isSoftwareRenderer(const std::string& renderer)
{
    // Mesa's llvmpipe and softpipe, its older swrast ("Software Rasterizer")
    // and the OpenSWR rasteriser ("SWR ...").
    static const std::array<const char*, 4> names = {"llvmpipe", "softpipe", "Software Rasterizer", "SWR "};
    for (const char* name : names)
        if (renderer.find(name) != std::string::npos)
            return true;
    return false;
}

bool drawsAtConfiguredSize(FullScreenResolution resolution, const std::string& renderer, unsigned windowSamples)
{
    if (windowSamples > 0)
        return false;
    switch (resolution) {
    case FullScreenResolution::screen:
        return false;
    case FullScreenResolution::window:
        return true;
    case FullScreenResolution::automatic:
        break;
    }
    return isSoftwareRenderer(renderer);
}

// The framebuffer calls of GL 3.0 (or ARB_framebuffer_object), looked up
// from the driver: the engine's render system keeps its own table private.
struct ScaledPresentation::GlFunctions {
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
    PFNGLFRAMEBUFFERTEXTURE2DPROC framebufferTexture2D = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;
    PFNGLBLITFRAMEBUFFERPROC blitFramebuffer = nullptr;

    template <typename Function>
    static void load(Function& function, const char* name)
    {
        function = reinterpret_cast<Function>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
        if (!function)
            OGRE_EXCEPT(Ogre::Exception::ERR_RENDERINGAPI_ERROR, std::string("The driver has no ") + name,
                        "kwo::ScaledPresentation");
    }

    GlFunctions()
    {
        load(genFramebuffers, "glGenFramebuffers");
        load(deleteFramebuffers, "glDeleteFramebuffers");
        load(bindFramebuffer, "glBindFramebuffer");
        load(framebufferTexture2D, "glFramebufferTexture2D");
        load(checkFramebufferStatus, "glCheckFramebufferStatus");
        load(blitFramebuffer, "glBlitFramebuffer");
    }
};

ScaledPresentation::ScaledPresentation(Ogre::Root& root, Ogre::RenderWindow& window, unsigned width,
                                       unsigned height, unsigned fsaa, UniqueNameCounter& names)
    : root(root), window(window), gl(std::make_unique<GlFunctions>())
{
    texture = Ogre::TextureManager::getSingleton().createManual(
        names.makeUniqueName("KWO/Picture/"), "General", Ogre::TEX_TYPE_2D, width, height, 0, Ogre::PF_X8R8G8B8,
        Ogre::TU_RENDERTARGET, nullptr, false, fsaa);
    target = texture->getBuffer()->getRenderTarget();
    // Drawn from the window's update, so that it is drawn exactly when the
    // window is, whoever updates the window.
    target->setAutoUpdated(false);
    texture->getCustomAttribute("GLID", &textureId);
    window.addListener(this);
}

ScaledPresentation::~ScaledPresentation()
{
    window.removeListener(this);
    if (readBuffer) {
        root.getRenderSystem()->_setRenderTarget(&window);
        gl->deleteFramebuffers(1, &readBuffer);
    }
    // The texture takes its render target and that target's viewports along.
    Ogre::TextureManager::getSingleton().remove(texture);
    texture.reset();
}

void ScaledPresentation::preRenderTargetUpdate(const Ogre::RenderTargetEvent&)
{
    // "Swapping" a multisampled picture resolves it into the texture.
    if (!pictureDrawn)
        return;
    target->update(true);
    for (Ogre::Viewport* viewport : staticViewports)
        viewport->setAutoUpdated(false);
    staticViewports.clear();
}

void ScaledPresentation::postRenderTargetUpdate(const Ogre::RenderTargetEvent&)
{
    // The window's context current, its own framebuffer bound. The engine
    // skips binding the picture again for a viewport it thinks is still
    // current: forgetting the viewport makes the next frame's first viewport
    // bind the picture, so the scene is never drawn into the window, where
    // the copy below would hide it.
    Ogre::RenderSystem& renderSystem = *root.getRenderSystem();
    renderSystem._setViewport(nullptr);
    renderSystem._setRenderTarget(&window);
    if (!readBuffer) {
        // Framebuffer objects belong to one context: this one is made in the
        // window's, which need not be the one the engine made the picture's
        // in. Textures are shared by all.
        gl->genFramebuffers(1, &readBuffer);
        gl->bindFramebuffer(GL_READ_FRAMEBUFFER, readBuffer);
        gl->framebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, textureId, 0);
        const GLenum status = gl->checkFramebufferStatus(GL_READ_FRAMEBUFFER);
        gl->bindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        if (status != GL_FRAMEBUFFER_COMPLETE)
            OGRE_EXCEPT(Ogre::Exception::ERR_RENDERINGAPI_ERROR, "The picture of the show cannot be read",
                        "kwo::ScaledPresentation");
    }
    gl->bindFramebuffer(GL_READ_FRAMEBUFFER, readBuffer);
    gl->bindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    // A blit is clipped to the scissor box, which the engine leaves set to
    // its last viewport; its state cache expects it back as it was.
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    if (scissor)
        glDisable(GL_SCISSOR_TEST);
    // The engine keeps a picture it drew with its top row first in memory,
    // where GL counts rows from the bottom: the copy turns it over.
    const GLint width = static_cast<GLint>(target->getWidth()), height = static_cast<GLint>(target->getHeight());
    const GLint screenWidth = static_cast<GLint>(window.getWidth());
    const GLint screenHeight = static_cast<GLint>(window.getHeight());
    gl->blitFramebuffer(0, 0, width, height, 0, screenHeight, screenWidth, 0, GL_COLOR_BUFFER_BIT, GL_LINEAR);
    if (scissor)
        glEnable(GL_SCISSOR_TEST);
    gl->bindFramebuffer(GL_FRAMEBUFFER, 0);
}

} // namespace kwo
