#include "app/dialogs.h"
#include "app/kwo.h"

#include <iostream>

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
        kwo::showErrorBox(error.what());
        std::cerr << "Exception: " << error.what();
        if (!error.detail().empty())
            std::cerr << " (" << error.detail() << ")";
        std::cerr << std::endl;
    } catch (const std::exception& error) {
        kwo::showErrorBox(error.what());
        std::cerr << "Exception: " << error.what() << std::endl;
    } catch (...) {
        kwo::showErrorBox("Unknow error");
        std::cerr << "Unknow error" << std::endl;
    }
    return 1;
}
