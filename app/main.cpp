#include "app/dialogs.h"
#include "app/kwo.h"

#include <OgreLogManager.h>

#include <iostream>

namespace {

// The box first, then the line on standard error, which the engine log
// repeats when the failure came after the log was opened (a failed start-up
// leaves the engine in place until the process ends).
void report(const std::string& message, const std::string& detail = "")
{
    kwo::showErrorBox(message);
    const std::string line = detail.empty() ? message : message + " (" + detail + ")";
    std::cerr << "Exception: " << line << std::endl;
    if (Ogre::LogManager* logs = Ogre::LogManager::getSingletonPtr())
        logs->logError(line);
}

} // namespace

// The only place where errors are reported: a start-up stage or the frame
// cycle throws, the application object is gone by the time the handler runs
// (so its window is too), and the user sees the message once in a box and
// once on standard error. The exit status then says the run failed, so a
// service manager or a script can tell it from a run the user ended.
int main(int argc, char** argv)
{
    const std::string configPath = argc > 1 ? argv[1] : "";
    try {
        KWO app(configPath);
        app.run();
        return 0;
    } catch (const kwo::ProcessExit& exit) {
        return exit.code;
    } catch (const kwo::Exception& error) {
        report(error.what(), error.detail());
    } catch (const std::exception& error) {
        report(error.what());
    } catch (...) {
        kwo::showErrorBox("Unknow error");
        std::cerr << "Unknow error" << std::endl;
    }
    return 1;
}
