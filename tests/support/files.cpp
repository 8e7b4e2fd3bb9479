#include "tests/support/files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

namespace kwo::test {

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "kwo-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    root = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

void TempDir::write(const std::string& name, const std::string& content) const { writeFile(file(name), content); }
std::string TempDir::read(const std::string& name) const { return readFile(file(name)); }
bool TempDir::exists(const std::string& name) const { return fs::exists(file(name)); }

ProgramFolder::ProgramFolder()
{
    const fs::path built = KWO_PROGRAM_DIR;
    fs::copy_file(built / "kwo", file("kwo"));
    for (const char* folder : {"media", "tracking"})
        if (fs::exists(built / folder))
            fs::create_directory_symlink(built / folder, file(folder));
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

} // namespace kwo::test
