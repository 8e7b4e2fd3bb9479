#include "app/command_line.h"
#include "app/dialogs.h"
#include "app/kwo.h"
#include "app/program_folder.h"
#include "app/station_check.h"
#include "config/documents.h"

#include <OgreLogManager.h>

#include <json/writer.h>

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

// The configuration a run would start from (built-in defaults with the main
// document over them) as JSON on standard output: the lists a station's
// document has to copy whole to change one entry. Nothing is opened and
// nothing written; a broken document is named on standard error.
int printConfiguration(const std::string& configPath)
{
    kwo::enterProgramFolder();
    const std::string mainPath = kwo::mainDocumentPath(configPath);
    Json::Value config;
    Json::Value userConfig;
    try {
        // The reader's messages as a run without a display gives them; there
        // is nothing to go on with, so the answer is no.
        kwo::loadConfiguration(configPath, config, userConfig, [&](const std::string& message) {
            const std::string question = "\nContinue with default settings?";
            const bool asks = message.ends_with(question);
            std::cerr << "Configuration file error (" << mainPath << ")\n"
                      << (asks ? message.substr(0, message.size() - question.size()) : message) << std::endl;
            return false;
        });
    } catch (const kwo::ProcessExit&) {
        return 1;
    } catch (const std::exception& error) {
        std::cerr << "Exception: " << error.what() << std::endl;
        return 1;
    }
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "    ";
    std::cout << Json::writeString(writer, config) << std::endl;
    return std::cout ? 0 : 1;
}

} // namespace

// The only place where errors are reported: a start-up stage or the frame
// cycle throws, the application object is gone by the time the handler runs
// (so its window is too), and the user sees the message once in a box and
// once on standard error. The exit status then says the run failed, so a
// service manager or a script can tell it from a run the user ended.
int main(int argc, char** argv)
{
    const kwo::CommandLine line = kwo::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (line.printConfig)
        return printConfiguration(line.documentPath);
    if (line.check)
        return kwo::checkStation(line.documentPath, std::cout);
    try {
        KWO app(line.documentPath, line.tuningKeys);
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
