#include "tests/package/package_fixture.h"

#include "tests/support/process.h"

#include <chrono>
#include <filesystem>

namespace fs = std::filesystem;

namespace kwo::test {

std::unique_ptr<TempDir> Package::scratch;
std::string Package::deb;
std::string Package::setUpProblem;

void Package::SetUpTestSuite()
{
    scratch = std::make_unique<TempDir>();
    const std::string config = std::string(KWO_RELEASE_BUILD_DIR) + "/CPackConfig.cmake";
    if (!fs::exists(config)) {
        setUpProblem = "no release tree with a package configuration at " KWO_RELEASE_BUILD_DIR
                       " (scripts/setup makes it)";
        return;
    }
    // Into the scratch folder, so a package made by scripts/package stays as it is.
    const ProcessResult packed =
        run({"cpack", "--config", config, "-B", scratch->file("out")}, "", {}, std::chrono::minutes(8));
    for (const auto& entry : fs::directory_iterator(scratch->file("out")))
        if (entry.path().extension() == ".deb")
            deb = entry.path().string();
    if (packed.exitCode != 0 || deb.empty())
        setUpProblem = "cpack failed:\n" + packed.out + packed.err;
}

void Package::TearDownTestSuite() { scratch.reset(); }

void Package::SetUp()
{
    if (!setUpProblem.empty())
        FAIL() << setUpProblem;
}

std::string Package::field(const std::string& name)
{
    return run({"dpkg-deb", "--field", deb, name}).out;
}

std::string Package::unpacked()
{
    const std::string root = scratch->file("root");
    if (!fs::exists(root)) {
        const ProcessResult result = run({"dpkg-deb", "-x", deb, root});
        EXPECT_EQ(result.exitCode, 0) << result.err;
    }
    return root;
}

} // namespace kwo::test
