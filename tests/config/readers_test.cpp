#include "config/exception.h"
#include "tests/support/json.h"
#include "config/readers.h"
#include "config/unique_names.h"

#include <gtest/gtest.h>
#include <json/reader.h>

#include <stdexcept>

namespace {

// Runs `read` on member "v" of the document and returns the error text, or ""
// when it succeeded.
template <typename Read>
std::string errorOf(const std::string& document, Read read)
{
    const Json::Value root = kwo::test::parseJson(document);
    try {
        read(kwo::Setting(root, "")["v"]);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

TEST(WordReaders, WordsDefaultsAndMessages)
{
    const Json::Value root = kwo::test::parseJson(R"({"bi": "bilinear", "tri": "trilinear", "an": "anisotropic", "no": "none",
        "add": "additive", "mod": "modulative", "pt": "point", "sp": "spot", "dir": "directional",
        "r32": "rgb32", "r24": "rgb24", "null": null})");
    const kwo::Setting s(root, "");
    EXPECT_EQ(kwo::readTextureFilter(s["missing"]), Ogre::TFO_BILINEAR);
    EXPECT_EQ(kwo::readTextureFilter(s["null"]), Ogre::TFO_BILINEAR);
    EXPECT_EQ(kwo::readTextureFilter(s["bi"]), Ogre::TFO_BILINEAR);
    EXPECT_EQ(kwo::readTextureFilter(s["tri"]), Ogre::TFO_TRILINEAR);
    EXPECT_EQ(kwo::readTextureFilter(s["an"]), Ogre::TFO_ANISOTROPIC);
    EXPECT_EQ(kwo::readTextureFilter(s["no"]), Ogre::TFO_NONE);
    EXPECT_EQ(kwo::readShadowTechnique(s["null"]), Ogre::SHADOWTYPE_NONE);
    EXPECT_EQ(kwo::readShadowTechnique(s["add"]), Ogre::SHADOWTYPE_TEXTURE_ADDITIVE);
    EXPECT_EQ(kwo::readShadowTechnique(s["mod"]), Ogre::SHADOWTYPE_TEXTURE_MODULATIVE);
    EXPECT_EQ(kwo::readShadowTechnique(s["no"]), Ogre::SHADOWTYPE_NONE);
    EXPECT_EQ(kwo::readLightType(s["missing"]), Ogre::Light::LT_POINT);
    EXPECT_EQ(kwo::readLightType(s["pt"]), Ogre::Light::LT_POINT);
    EXPECT_EQ(kwo::readLightType(s["sp"]), Ogre::Light::LT_SPOTLIGHT);
    EXPECT_EQ(kwo::readLightType(s["dir"]), Ogre::Light::LT_DIRECTIONAL);
    EXPECT_EQ(kwo::readPixelFormat(s["missing"]), Ogre::PF_X8R8G8B8);
    EXPECT_EQ(kwo::readPixelFormat(s["r32"]), Ogre::PF_X8R8G8B8);
    EXPECT_EQ(kwo::readPixelFormat(s["r24"]), Ogre::PF_R8G8B8);
}

TEST(WordReaders, RejectedValues)
{
    struct Case {
        const char* document;
        std::string (*read)(const std::string&);
        const char* message;
    };
    auto filter = [](const std::string& d) { return errorOf(d, [](const kwo::Setting& v) { kwo::readTextureFilter(v); }); };
    auto shadow = [](const std::string& d) { return errorOf(d, [](const kwo::Setting& v) { kwo::readShadowTechnique(v); }); };
    auto light = [](const std::string& d) { return errorOf(d, [](const kwo::Setting& v) { kwo::readLightType(v); }); };
    auto pixel = [](const std::string& d) { return errorOf(d, [](const kwo::Setting& v) { kwo::readPixelFormat(v); }); };
    const Case cases[] = {
        {R"({"v": "Bilinear"})", filter, "Invalid filter type 'Bilinear'"},
        {R"({"v": 1})", filter, "Type is not convertible to string"},
        {R"({"v": true})", filter, "Invalid filter type 'true'"},
        {R"({"v": ""})", filter, "Invalid filter type ''"},
        {R"({"v": "stencil"})", shadow, "Invalid shadow technique 'stencil'"},
        {R"({"v": {"a": 1}})", shadow, "Type is not convertible to string"},
        {R"({"v": "Spot"})", light, "Invalid light type 'Spot'"},
        {R"({"v": "rgb16"})", pixel, "Invalid pixel format"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.read(c.document), c.message) << c.document;
}

TEST(ComponentReaders, ComponentsDefaultsAndErrors)
{
    const Json::Value root = kwo::test::parseJson(R"({"red": {"r": 1}, "alphaNull": {"r": 1, "a": null}, "v3": {"x": 1, "z": -2.5},
        "q": {"y": 1}, "v2": {"x": 100, "y": 10}, "bad": {"x": "1"}, "five": 5})");
    const kwo::Setting s(root, "graphics");

    EXPECT_EQ(kwo::readColour(s["red"], Ogre::ColourValue::Black), Ogre::ColourValue(1, 0, 0, 1));
    // A present null alpha converts as null, not as the default 1.
    EXPECT_EQ(kwo::readColour(s["alphaNull"], Ogre::ColourValue::Black), Ogre::ColourValue(1, 0, 0, 0));
    EXPECT_EQ(kwo::readColour(s["missing"], Ogre::ColourValue::White), Ogre::ColourValue(1, 1, 1, 1));
    EXPECT_EQ(kwo::readVector3(s["v3"], Ogre::Vector3(9, 9, 9)), Ogre::Vector3(1, 0, -2.5f));
    EXPECT_EQ(kwo::readVector3(s["missing"], Ogre::Vector3(1, 1, 1)), Ogre::Vector3(1, 1, 1));
    EXPECT_EQ(kwo::readVector2(s["v2"]), Ogre::Vector2(100, 10));
    EXPECT_EQ(kwo::readVector2(s["missing"]), Ogre::Vector2(0, 0));
    // Taken as written: not normalised, missing w is 0.
    const Ogre::Quaternion q = kwo::readQuaternion(s["q"]);
    EXPECT_EQ(q.w, 0);
    EXPECT_EQ(q.y, 1);
    EXPECT_EQ(kwo::readQuaternion(s["missing"]), Ogre::Quaternion::IDENTITY);

    EXPECT_EQ(errorOf(R"({"v": {"x": "1"}})", [](const kwo::Setting& v) { kwo::readVector3(v, Ogre::Vector3::ZERO); }),
              "Type is not convertible to double");
    try {
        kwo::readVector3(s["five"], Ogre::Vector3::ZERO);
        ADD_FAILURE() << "a number is not a vector";
    } catch (const kwo::Exception& e) {
        EXPECT_STREQ(e.what(), "graphics/five: expected an object");
    }
}

TEST(AccessForms, GetNameTextAndPresence)
{
    const Json::Value root = kwo::test::parseJson(R"({"video": {"width": null, "real": 800.7, "neg": -1, "str": "800", "no": "no",
        "zero": 0, "empty": ""}, "tracking": {"params": 5, "objects": [{"name": "A"}]}, "lights": 3})");
    const kwo::Setting config(root, "");
    const kwo::Setting video = config["video"];
    EXPECT_TRUE(video.has("width"));
    EXPECT_FALSE(video.has("height"));
    // A present null converts as null rather than taking the fallback.
    EXPECT_EQ(video.getUInt("width", 320), 0u);
    EXPECT_EQ(video.getUInt("height", 240), 240u);
    EXPECT_EQ(video.getUInt("real", 1), 800u);
    EXPECT_EQ(video.getBool("no", false), true);
    EXPECT_EQ(video.getBool("zero", true), false);
    EXPECT_EQ(video.getBool("empty", true), false);
    EXPECT_EQ(video.getString("missing", "Low"), "Low");
    EXPECT_EQ(video.name("missing"), "");
    EXPECT_THROW(video.getUInt("neg", 0), std::runtime_error);
    EXPECT_THROW(video.getUInt("str", 0), std::runtime_error);
    EXPECT_EQ(config["tracking"]["objects"][0u].name("name"), "A");
    EXPECT_EQ(config["tracking"]["objects"].size(), 1u);
    EXPECT_EQ(config["missing"]["list"].size(), 0u);

    struct Case {
        std::function<void()> read;
        const char* message;
    };
    const Case cases[] = {
        {[&] { config["tracking"].text("params"); }, "tracking/params: expected a string"},
        {[&] { config["tracking"].text("missing"); }, "tracking/missing: expected a string"},
        {[&] { config["lights"][0u]; }, "lights: expected an array"},
        {[&] { config["lights"]["type"]; }, "lights: expected an object"},
        {[&] { config["tracking"]["objects"][0u]["name"]["x"]; }, "tracking/objects[0]/name: expected an object"},
    };
    for (const Case& c : cases) {
        try {
            c.read();
            ADD_FAILURE() << "expected " << c.message;
        } catch (const kwo::Exception& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}

TEST(UniqueNames, EightHexDigitsFromOneCounter)
{
    kwo::UniqueNameCounter names;
    EXPECT_EQ(names.makeUniqueName("KWO/Light/"), "KWO/Light/00000000");
    EXPECT_EQ(names.makeUniqueName("KWO/Camera/"), "KWO/Camera/00000001");
    kwo::UniqueNameCounter at10(10);
    EXPECT_EQ(at10.makeUniqueName("KWO/Light/"), "KWO/Light/0000000a");
    EXPECT_EQ(at10.value(), 11u);
    kwo::UniqueNameCounter last(0xffffffffu);
    EXPECT_EQ(last.makeUniqueName("KWO/Entity/"), "KWO/Entity/ffffffff");
}

} // namespace
