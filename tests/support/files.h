#pragma once

#include <string>

namespace kwo::test {

// A fresh folder under the system's temporary folder, removed with its content.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return root; }
    std::string file(const std::string& name) const { return root + "/" + name; }
    void write(const std::string& name, const std::string& content) const;
    std::string read(const std::string& name) const;
    bool exists(const std::string& name) const;

private:
    std::string root;
};

// A temporary program folder: a copy of the built viewer, with the built
// program folder's media and tracking files linked in, so a test can put its
// own documents beside the program without touching the build.
class ProgramFolder : public TempDir {
public:
    ProgramFolder();
    std::string executable() const { return file("kwo"); }
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

} // namespace kwo::test
