#include "config/exception.h"
#include "tests/support/json.h"
#include "config/readers.h"
#include "config/startup_notes.h"
#include "config/unique_names.h"

#include <gtest/gtest.h>
#include <json/reader.h>

#include <functional>
#include <sstream>
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

namespace {

struct Refusal {
    std::string message;
    std::string detail;
};

template <typename Read>
Refusal refusalOf(const std::string& document, Read read)
{
    const Json::Value root = kwo::test::parseJson(document);
    try {
        read(kwo::Setting(root, "")["section"]);
    } catch (const kwo::Exception& e) {
        return {e.what(), e.detail()};
    }
    return {"accepted", ""};
}

// A conversion keeps its own text (the box shows it as it always has) and
// names the key, the value and what was expected in the detail, whichever
// reader or access form met it.
TEST(KeyedErrors, EveryConversionNamesItsKeyAndValue)
{
    using Read = std::function<void(const kwo::Setting&)>;
    const struct {
        const char* document;
        Read read;
        Refusal expected;
    } cases[] = {
        {R"({"section": {"width": -1}})", [](const kwo::Setting& s) { s.getUInt("width", 0); },
         {"Negative integer can not be converted to unsigned integer",
          "section/width: -1 is not a number from 0 to 4294967295"}},
        {R"({"section": {"max": 1e300}})", [](const kwo::Setting& s) { s.getUInt("max", 0); },
         {"Real out of unsigned integer range", "section/max: 1e+300 is not a number from 0 to 4294967295"}},
        {R"({"section": {"t": 3000000000}})", [](const kwo::Setting& s) { s.getInt("t", 0); },
         {"integer out of signed integer range", "section/t: 3000000000 is not a number from -2147483648 to 2147483647"}},
        {R"({"section": {"near": "5"}})", [](const kwo::Setting& s) { s.getDouble("near", 0); },
         {"Type is not convertible to double", "section/near: \"5\" is not a number"}},
        {R"({"section": {"scheme": [1]}})", [](const kwo::Setting& s) { s.getString("scheme", ""); },
         {"Type is not convertible to string", "section/scheme: an array is not a string"}},
        {R"({"section": [{"name": 7}]})", [](const kwo::Setting& s) { s[0u].name("name"); },
         {"Type is not convertible to string", "section[0]/name: 7 is not a string"}},
        {R"({"section": {"position": {"x": {}}}})",
         [](const kwo::Setting& s) { kwo::readVector3(s["position"], Ogre::Vector3::ZERO); },
         {"Type is not convertible to double", "section/position/x: an object is not a number"}},
        // A long string is cut short and control characters do not break the line.
        {R"({"section": {"w": "0123456789012345678901234567890123456789abc\n"}})",
         [](const kwo::Setting& s) { s.getUInt("w", 0); },
         {"Type is not convertible to uint",
          "section/w: \"0123456789012345678901234567890123456789...\" is not a number from 0 to 4294967295"}},
        // Word readers keep their message and add the key and the words.
        {R"({"section": {"filtering": "fast"}})", [](const kwo::Setting& s) { kwo::readTextureFilter(s["filtering"]); },
         {"Invalid filter type 'fast'", "section/filtering: \"fast\" is not one of bilinear, trilinear, anisotropic, none"}},
        {R"({"section": {"pixel": "rgb16"}})", [](const kwo::Setting& s) { kwo::readPixelFormat(s["pixel"]); },
         {"Invalid pixel format", "section/pixel: \"rgb16\" is not one of rgb32, rgb24"}},
        // Beyond what the engine's single precision holds, and orientations of no length.
        {R"({"section": {"position": {"y": 1e39}}})",
         [](const kwo::Setting& s) { kwo::readVector3(s["position"], Ogre::Vector3::ZERO); },
         {"section/position/y: 1e+39 is too large", ""}},
        {R"({"section": {"orientation": {}}})", [](const kwo::Setting& s) { kwo::readQuaternion(s["orientation"]); },
         {"section/orientation: w, x, y and z give no orientation (their squares add up to 0)", ""}},
        {R"({"section": {"orientation": {"w": 1e-30}}})",
         [](const kwo::Setting& s) { kwo::readQuaternion(s["orientation"]); },
         {"section/orientation: w, x, y and z give no orientation (their squares add up to 0)", ""}},
        {R"({"section": {"orientation": {"w": 1e30}}})",
         [](const kwo::Setting& s) { kwo::readQuaternion(s["orientation"]); },
         {"section/orientation: w, x, y and z give no orientation (their squares add up to too much)", ""}},
    };
    for (const auto& c : cases) {
        const Refusal refusal = refusalOf(c.document, c.read);
        EXPECT_EQ(refusal.message, c.expected.message) << c.document;
        EXPECT_EQ(refusal.detail, c.expected.detail) << c.document;
    }
    // Conversion errors are still runtime errors, as callers have caught them.
    const Json::Value root = kwo::test::parseJson(R"({"w": "800"})");
    EXPECT_THROW(kwo::Setting(root, "")["w"].asUInt(), std::runtime_error);
}

// A boolean written as a string converts as it always has (true unless
// empty), and the notes of the reading say so once, naming the key.
TEST(StringBooleans, AreWarnedAboutOnceNamingTheKeyAndWhatTheyCountAs)
{
    const Json::Value root = kwo::test::parseJson(
        R"({"video": {"dialog": "false", "flip": "", "real": true, "one": 1}, "window": {"fullscreen": "no"},
            "rendering": {"mirror": "yes"}})");
    std::ostringstream said;
    kwo::StartupNotes notes(said);
    const kwo::Setting config(root, "", &notes);
    EXPECT_TRUE(config["video"].getBool("dialog", false));
    EXPECT_TRUE(config["video"].getBool("dialog", false)); // read twice, said once
    EXPECT_FALSE(config["video"].getBool("flip", true));
    EXPECT_TRUE(config["video"].getBool("real", false));
    EXPECT_TRUE(config["video"].getBool("one", false));
    EXPECT_TRUE(config["window"].getBool("fullscreen", false));
    EXPECT_EQ(said.str(),
              "Warning: video/dialog: the string \"false\" counts as true; write true or false without quotes\n"
              "Warning: video/flip: the string \"\" counts as false; write true or false without quotes\n"
              "Warning: window/fullscreen: the string \"no\" counts as true; write true or false without quotes\n");

    // What was said before the log began goes there too, and so does what follows.
    std::vector<std::string> logged;
    notes.alsoTo([&](const std::string& line) { logged.push_back(line); });
    notes.warn("ogre.log cannot be written (Read-only file system)");
    ASSERT_EQ(logged.size(), 4u);
    EXPECT_EQ(logged.front(), "Warning: video/dialog: the string \"false\" counts as true; write true or false without quotes");
    EXPECT_EQ(logged.back(), "Warning: ogre.log cannot be written (Read-only file system)");

    // Read without notes (as the stages read after the check) nothing is said.
    const std::string before = said.str();
    EXPECT_TRUE(kwo::Setting(root, "")["rendering"].getBool("mirror", false));
    EXPECT_EQ(said.str(), before);
    EXPECT_EQ(logged.size(), 4u);
}

TEST(Colours, ComponentsOutsideZeroToOneAreWarnedAbout)
{
    const Json::Value root = kwo::test::parseJson(R"({"ambient": {"r": 2, "g": 0.5, "b": -0.1, "a": 1}})");
    std::ostringstream said;
    kwo::StartupNotes notes(said);
    const Ogre::ColourValue colour = kwo::readColour(kwo::Setting(root, "rendering", &notes)["ambient"],
                                                     Ogre::ColourValue::Black);
    EXPECT_EQ(colour, Ogre::ColourValue(2, 0.5f, -0.1f, 1)); // passed on as written
    EXPECT_EQ(said.str(), "Warning: rendering/ambient/r: 2 is outside 0..1\n"
                          "Warning: rendering/ambient/b: -0.1 is outside 0..1\n");
}

} // namespace
