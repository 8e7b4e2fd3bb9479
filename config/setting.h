#pragma once

#include <json/value.h>
#include <string>

namespace kwo {

class StartupNotes;

// A number as messages show it: 65536, 0.5, 1e+300 (15 significant digits).
std::string numberText(double value);

// One value of the effective configuration together with its key path
// ("graphics/lights[0]/type"), so that a value of the wrong shape can be
// reported by the key that holds it. Setting never owns the value: the
// document it views must outlive it. Absent members read as null.
//
// With `notes`, reading a boolean that is written as a string warns there
// (the string converts as it always has: true unless empty); members and
// elements inherit the notes.
class Setting {
public:
    Setting(const Json::Value& value, std::string path, StartupNotes* notes = nullptr);

    const Json::Value& value() const { return *node; }
    const std::string& path() const { return keyPath; }
    bool isAbsent() const { return node->isNull(); }

    // Constant member access: the shared null value when the member is
    // missing. Descending into a value that is neither an object nor null
    // stops with "<path>: expected an object".
    Setting operator[](const std::string& name) const;
    // Element access of an array ("<path>: expected an array" otherwise).
    Setting operator[](unsigned index) const;
    // Array length; an absent list is empty.
    unsigned size() const;
    // Presence test: a member whose value is null is present.
    bool has(const std::string& name) const;

    // The value converted by the rules of config/convert.h. A value that does
    // not convert stops with the conversion's own text as the message and the
    // key, the value and what was expected as the detail
    // ("window/width: "800" is not a number from 0 to 4294967295").
    bool asBool() const;
    int asInt() const;
    unsigned asUInt() const;
    double asDouble() const;
    std::string asString() const;

    // Form "get": the member converted, or the fallback when it is missing.
    // A member present with the value null converts as null (0, false, "").
    bool getBool(const std::string& name, bool fallback) const;
    int getInt(const std::string& name, int fallback) const;
    unsigned getUInt(const std::string& name, unsigned fallback) const;
    double getDouble(const std::string& name, double fallback) const;
    std::string getString(const std::string& name, const std::string& fallback) const;

    // Form "name": the member as a string, absent gives "".
    std::string name(const std::string& key) const;
    // Form "text": the member must be present and be a string
    // ("<path>: expected a string" otherwise).
    std::string text(const std::string& key) const;

    // The value as the technician wrote it, short enough for a message:
    // 800, "800", true, an object, an array.
    std::string written() const;

    StartupNotes* notes() const { return notesSink; }

private:
    void requireObject() const;
    std::string childPath(const std::string& name) const;
    template <typename Convert>
    auto converted(Convert convert, const char* expected) const;

    const Json::Value* node;
    std::string keyPath;
    StartupNotes* notesSink;
};

} // namespace kwo
