#include "video/camera_dialog.h"

#include "video/gtk_list_dialog.h"

#include <algorithm>
#include <iostream>

extern const unsigned char cameraBannerPicture[];
extern const std::size_t cameraBannerPictureSize;

namespace kwo {
namespace {

GtkWidget* bannerImage()
{
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    GtkWidget* image = nullptr;
    if (gdk_pixbuf_loader_write(loader, cameraBannerPicture, cameraBannerPictureSize, nullptr) &&
        gdk_pixbuf_loader_close(loader, nullptr)) {
        image = gtk_image_new_from_pixbuf(gdk_pixbuf_loader_get_pixbuf(loader));
    } else {
        gdk_pixbuf_loader_close(loader, nullptr);
    }
    g_object_unref(loader);
    return image;
}

std::string answerWithoutDisplay(const CameraList& cameras, const std::string& remembered)
{
    std::cerr << "No display for the camera dialog. Cameras:\n";
    for (const std::string& camera : cameras)
        std::cerr << "  " << camera << '\n';
    std::cerr << "Remembered camera: " << (remembered.empty() ? "(none)" : remembered) << '\n';
    const bool listed = std::find(cameras.begin(), cameras.end(), remembered) != cameras.end();
    std::cerr << (listed ? "Taking the remembered camera." : "The remembered camera is not listed; nothing chosen.")
              << std::endl;
    return listed ? remembered : "";
}

} // namespace

std::size_t preselectedCamera(const CameraList& cameras, const std::string& remembered)
{
    std::size_t selected = 0;
    for (std::size_t i = 0; i < cameras.size(); ++i)
        if (cameras[i] == remembered)
            selected = i;
    return selected;
}

std::string chooseCamera(const CameraList& cameras, const std::string& remembered)
{
    if (!gtkAvailable())
        return answerWithoutDisplay(cameras, remembered);

    ListDialog dialog = makeListDialog("Telvarin", "Annuler");
    gtk_container_set_border_width(GTK_CONTAINER(dialog.content), 0);
    if (GtkWidget* banner = bannerImage())
        gtk_box_pack_start(GTK_BOX(dialog.content), banner, FALSE, FALSE, 0);

    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_widget_set_margin_start(row, 9);
    gtk_widget_set_margin_end(row, 6);
    gtk_widget_set_margin_top(row, 6);
    GtkWidget* label = gtk_label_new("Camera");
    gtk_widget_set_valign(label, GTK_ALIGN_START);
    gtk_box_pack_start(GTK_BOX(row), label, FALSE, FALSE, 0);

    // About three entries tall, scrolling beyond that.
    GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER, GTK_POLICY_ALWAYS);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroller), GTK_SHADOW_IN);
    gtk_widget_set_size_request(scroller, 432, 64);
    gtk_container_add(GTK_CONTAINER(scroller), dialog.list);
    gtk_box_pack_start(GTK_BOX(row), scroller, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(dialog.content), row, TRUE, TRUE, 0);

    fillList(dialog, cameras, preselectedCamera(cameras, remembered));
    const int chosen = runListDialog(dialog);
    if (chosen == -1)
        return "";
    // OK without a selected entry keeps the remembered name.
    if (chosen < 0 || static_cast<std::size_t>(chosen) >= cameras.size())
        return remembered;
    return cameras[chosen];
}

} // namespace kwo
