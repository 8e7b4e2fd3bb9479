#include "app/dialogs.h"

#include "video/gtk_list_dialog.h"

#include <gtk/gtk.h>

#include <iostream>

namespace kwo {
namespace {

// Lets GTK finish unmapping a dialog that was just destroyed, so it is gone
// from the screen before the program goes on.
void drainEvents()
{
    while (gtk_events_pending())
        gtk_main_iteration();
}

int runModal(GtkWidget* dialog)
{
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    const int response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    drainEvents();
    return response;
}

} // namespace

bool displayAvailable()
{
    return gtkAvailable();
}

void showErrorBox(const std::string& text)
{
    if (!displayAvailable())
        return;
    // A plain dialog with the icon beside the text: GTK's message dialog no
    // longer draws an icon for errors.
    GtkWidget* dialog = gtk_dialog_new();
    gtk_window_set_title(GTK_WINDOW(dialog), "Error");
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 16);
    gtk_container_set_border_width(GTK_CONTAINER(row), 16);
    gtk_box_pack_start(GTK_BOX(row), gtk_image_new_from_icon_name("dialog-error", GTK_ICON_SIZE_DIALOG), FALSE,
                       FALSE, 0);
    GtkWidget* label = gtk_label_new(text.c_str());
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(label), 60);
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_box_pack_start(GTK_BOX(row), label, TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), row);
    gtk_widget_show_all(row);
    GtkWidget* ok = gtk_dialog_add_button(GTK_DIALOG(dialog), "OK", GTK_RESPONSE_OK);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    gtk_widget_grab_focus(ok);
    runModal(dialog);
}

bool askContinueWithDefaults(const std::string& text, const std::string& file)
{
    const auto report = [&] { std::cerr << "Configuration file error (" << file << ")\n" << text << std::endl; };
    if (!displayAvailable()) {
        report();
        return false;
    }
    GtkWidget* dialog =
        gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER, GTK_BUTTONS_NONE, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), "Configuration file error");
    GtkWidget* ok = gtk_dialog_add_button(GTK_DIALOG(dialog), "OK", GTK_RESPONSE_OK);
    gtk_dialog_add_button(GTK_DIALOG(dialog), "Cancel", GTK_RESPONSE_CANCEL);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    // Return must answer OK: it activates the focused button.
    gtk_widget_grab_focus(ok);
    const bool goOn = runModal(dialog) == GTK_RESPONSE_OK;
    report();
    return goOn;
}

} // namespace kwo
