#include "video/device_request.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>

namespace kwo {
namespace {

using Document = std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)>;

[[noreturn]] void fail(const std::string& message)
{
    throw std::runtime_error("Video device text: " + message);
}

bool named(const xmlNode* node, const char* name)
{
    return node->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

const xmlNode* child(const xmlNode* parent, const char* name)
{
    for (const xmlNode* node = parent->children; node; node = node->next)
        if (named(node, name))
            return node;
    return nullptr;
}

std::optional<std::string> attribute(const xmlNode* node, const char* name)
{
    xmlChar* value = xmlGetNoNsProp(node, reinterpret_cast<const xmlChar*>(name));
    if (!value)
        return std::nullopt;
    std::string text(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
}

// xsd:boolean
bool readBoolean(const xmlNode* node, const char* name, bool fallback)
{
    const std::optional<std::string> text = attribute(node, name);
    if (!text)
        return fallback;
    if (*text == "true" || *text == "1")
        return true;
    if (*text == "false" || *text == "0")
        return false;
    fail(std::string(name) + "=\"" + *text + "\" is not a boolean");
}

std::optional<unsigned> readUnsigned(const xmlNode* node, const char* name)
{
    const std::optional<std::string> text = attribute(node, name);
    if (!text)
        return std::nullopt;
    // Any unsigned 32-bit number, as the device text is written from the
    // configuration's unsigned values.
    const bool digitsOnly = !text->empty() && text->find_first_not_of("0123456789") == std::string::npos;
    const std::size_t first = text->find_first_not_of('0');
    const std::string significant = first == std::string::npos ? "0" : text->substr(first);
    if (!digitsOnly || significant.size() > 10 || std::stoull(significant) > std::numeric_limits<unsigned>::max())
        fail(std::string(name) + "=\"" + *text + "\" is not a size");
    return static_cast<unsigned>(std::stoull(significant));
}

} // namespace

DeviceRequest parseDeviceRequest(const std::string& text)
{
    // No network, no entity expansion, no messages of the parser's own on stderr.
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    Document document(xmlReadMemory(text.data(), static_cast<int>(text.size()), "device.xml", nullptr, options),
                      &xmlFreeDoc);
    if (!document) {
        const xmlError* error = xmlGetLastError();
        std::string reason = error && error->message ? error->message : "not well-formed XML";
        while (!reason.empty() && reason.back() == '\n')
            reason.pop_back();
        fail(reason);
    }
    const xmlNode* root = xmlDocGetRootElement(document.get());
    if (!root || !named(root, "dsvl_input"))
        fail("the document is not a dsvl_input");
    const xmlNode* camera = child(root, "camera");
    if (!camera)
        fail("no camera element");

    DeviceRequest request;
    const std::optional<std::string> name = attribute(camera, "friendly_name");
    if (!name)
        fail("the camera has no friendly_name");
    request.friendlyName = *name;
    request.width = readUnsigned(camera, "frame_width");
    request.height = readUnsigned(camera, "frame_height");
    request.showFormatDialog = readBoolean(camera, "show_format_dialog", false);
    if (const xmlNode* pixelFormat = child(camera, "pixel_format")) {
        if (const xmlNode* rgb32 = child(pixelFormat, "RGB32")) {
            request.flipHorizontal = readBoolean(rgb32, "flip_h", false);
            request.flipVertical = readBoolean(rgb32, "flip_v", false);
        }
    }
    return request;
}

} // namespace kwo
