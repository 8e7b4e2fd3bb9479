#include "tests/support/sample_data.h"

#include <cstdlib>
#include <filesystem>

namespace kwo::test {

std::string sampleDataFolder()
{
    const char* folder = std::getenv("KWO_TEST_DATA");
    return folder ? folder : "";
}

std::string sampleFile(const std::string& name)
{
    const std::string folder = sampleDataFolder();
    if (folder.empty())
        return "";
    const std::string path = folder + "/" + name;
    std::error_code ignored;
    return std::filesystem::is_regular_file(path, ignored) ? path : "";
}

bool sampleDataRequired()
{
    const char* required = std::getenv("KWO_REQUIRE_TEST_DATA");
    return required && *required && std::string(required) != "0";
}

} // namespace kwo::test
