#include "app/display_check.h"

#include <X11/Xlib.h>

#include <cstdlib>
#include <string>

namespace kwo {

void checkDisplay(CheckReport& report)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) {
        report.warning("display", "DISPLAY is not set: started from here, the viewer could not open its window "
                                  "(the kiosk unit starts it in the desktop session)");
        return;
    }
    const std::string subject = "display '" + std::string(name) + "'";
    Display* display = XOpenDisplay(name);
    if (!display) {
        report.warning(subject, "cannot be reached: started from here, the viewer could not open its window");
        return;
    }
    XCloseDisplay(display);
    report.ok(subject, "reached");
}

} // namespace kwo
