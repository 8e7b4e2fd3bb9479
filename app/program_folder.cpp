#include "app/program_folder.h"

#include <climits>
#include <unistd.h>

namespace kwo {

std::string programFolder()
{
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return "";
    const std::string file(path, static_cast<std::size_t>(length));
    const std::size_t slash = file.rfind('/');
    return slash == std::string::npos ? "" : file.substr(0, slash + 1);
}

void enterProgramFolder()
{
    const std::string folder = programFolder();
    if (!folder.empty() && chdir(folder.c_str()) != 0) {
        // Relative paths then resolve against the caller's folder; the
        // stages that need a file report it by name.
    }
}

} // namespace kwo
