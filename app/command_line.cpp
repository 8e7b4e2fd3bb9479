#include "app/command_line.h"

namespace kwo {

CommandLine parseCommandLine(const std::vector<std::string>& arguments)
{
    CommandLine line;
    bool documentSeen = false;
    for (const std::string& argument : arguments) {
        if (argument == "--tune")
            line.tuningKeys = true;
        else if (argument == "--print-config")
            line.printConfig = true;
        else if (argument == "--check")
            line.check = true;
        else if (!documentSeen) {
            line.documentPath = argument;
            documentSeen = true;
        }
    }
    return line;
}

} // namespace kwo
