#include "video/format_dialog.h"

#include "video/gtk_list_dialog.h"

namespace kwo {

std::size_t chooseCameraMode(const std::vector<CameraMode>& modes, std::size_t preselected)
{
    if (modes.empty() || !gtkAvailable())
        return preselected;
    ListDialog dialog = makeListDialog("Video format", "Cancel");
    std::vector<std::string> labels;
    for (const CameraMode& mode : modes)
        labels.push_back(mode.label());
    gtk_box_pack_start(GTK_BOX(dialog.content), dialog.list, TRUE, TRUE, 0);
    fillList(dialog, labels, preselected);
    const int chosen = runListDialog(dialog);
    if (chosen < 0 || static_cast<std::size_t>(chosen) >= modes.size())
        return preselected;
    return static_cast<std::size_t>(chosen);
}

} // namespace kwo
