#include "config/duplicate_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Members written twice, found where the reader would silently keep the
// second: at any depth, in array elements, through escapes; not in comments
// or strings, not in different objects, not after the root value.
TEST(DuplicateKeys, FoundWithTheirPathAndBothLines)
{
    const struct {
        const char* what;
        const char* text;
        std::vector<kwo::DuplicateKey> expected;
    } cases[] = {
        {"two window sections", "{\n \"window\": {\"width\": 1024},\n \"video\": {},\n \"window\": {\"title\": \"A\"}\n}",
         {{"window", 4, 2}}},
        {"nested and three times", "{\"rendering\": {\"shadow\": {\n\"size\": 1,\n\"size\": 2,\n\"size\": 3}}}",
         {{"rendering/shadow/size", 3, 2}, {"rendering/shadow/size", 4, 3}}},
        {"in an array element", "{\"graphics\": {\"lights\": [{}, {\"type\": \"spot\",\n\"type\": \"point\"}]}}",
         {{"graphics/lights[1]/type", 2, 1}}},
        {"an escaped name is the same name", "{\"mirror\": true, \"\\u006dirror\": false}", {{"mirror", 1, 1}}},
        {"same names in different objects", "{\"a\": {\"x\": 1}, \"b\": {\"x\": 1}, \"c\": [{\"x\": 1}, {\"x\": 2}]}", {}},
        {"names in values, strings and comments",
         "{\"a\": \"a\", // \"a\": 1\n /* \"a\": 2 */ \"b\": \"{\\\"a\\\": 3}\"}", {}},
        {"a value that looks like a name", "{\"a\": \"b\", \"b\": 1}", {}},
        {"text after the root is not read", "{\"a\": 1}\n{\"a\": 2, \"a\": 3}", {}},
        {"not an object", "[1, 2, 3]", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<kwo::DuplicateKey> found = kwo::findDuplicateKeys(c.text);
        ASSERT_EQ(found.size(), c.expected.size());
        for (std::size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(found[i].key, c.expected[i].key);
            EXPECT_EQ(found[i].line, c.expected[i].line);
            EXPECT_EQ(found[i].firstLine, c.expected[i].firstLine);
        }
    }
}

} // namespace
