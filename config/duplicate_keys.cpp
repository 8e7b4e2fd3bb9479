#include "config/duplicate_keys.h"

#include <json/reader.h>

#include <map>

namespace kwo {
namespace {

struct Container {
    bool isObject = false;
    std::string path;
    std::map<std::string, int> names; // member name and its line
    bool expectingName = true;        // objects: the next string names a member
    std::string lastName;             // objects: the member whose value comes next
    unsigned index = 0;               // arrays: the element that comes next
};

// A member name as the reader decodes it, so that "a" and "\u0061" are one.
std::string decodeName(std::string_view token)
{
    if (token.find('\\') == std::string_view::npos)
        return std::string(token.substr(1, token.size() - 2));
    Json::Value decoded;
    Json::Reader reader;
    if (reader.parse(token.data(), token.data() + token.size(), decoded, false) && decoded.isString())
        return decoded.asString();
    return std::string(token);
}

std::string childPath(const Container& parent)
{
    if (parent.isObject)
        return parent.path.empty() ? parent.lastName : parent.path + "/" + parent.lastName;
    return parent.path + "[" + std::to_string(parent.index) + "]";
}

} // namespace

std::vector<DuplicateKey> findDuplicateKeys(std::string_view text)
{
    std::vector<DuplicateKey> found;
    std::vector<Container> open;
    int line = 1;
    std::size_t i = 0;
    const std::size_t size = text.size();
    while (i < size) {
        const char c = text[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (c == '/' && i + 1 < size && text[i + 1] == '/') {
            while (i < size && text[i] != '\n')
                ++i;
        } else if (c == '/' && i + 1 < size && text[i + 1] == '*') {
            i += 2;
            while (i < size && !(text[i] == '*' && i + 1 < size && text[i + 1] == '/')) {
                line += text[i] == '\n';
                ++i;
            }
            i += 2;
        } else if (c == '"') {
            const std::size_t start = i++;
            while (i < size && text[i] != '"') {
                if (text[i] == '\\')
                    ++i;
                line += i < size && text[i] == '\n';
                ++i;
            }
            ++i;
            if (!open.empty() && open.back().isObject && open.back().expectingName) {
                Container& object = open.back();
                const std::string name = decodeName(text.substr(start, std::min(i, size) - start));
                const auto [earlier, added] = object.names.emplace(name, line);
                if (!added) {
                    found.push_back({object.path.empty() ? name : object.path + "/" + name, line, earlier->second});
                    earlier->second = line;
                }
                object.lastName = name;
                object.expectingName = false;
            }
        } else if (c == '{' || c == '[') {
            Container inner;
            inner.isObject = c == '{';
            inner.path = open.empty() ? "" : childPath(open.back());
            open.push_back(std::move(inner));
            ++i;
        } else if (c == '}' || c == ']') {
            if (open.empty())
                break; // not the valid text this is meant for
            open.pop_back();
            if (open.empty())
                break; // the root is complete; the reader ignores the rest
            ++i;
        } else if (c == ',') {
            if (!open.empty()) {
                open.back().expectingName = open.back().isObject;
                ++open.back().index;
            }
            ++i;
        } else {
            ++i;
        }
    }
    return found;
}

} // namespace kwo
