#include "app/dialogs.h"

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
    static const bool available = gtk_init_check(nullptr, nullptr);
    return available;
}

void showErrorBox(const std::string& text)
{
    if (!displayAvailable())
        return;
    GtkWidget* dialog =
        gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_NONE, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), "Error");
    // GTK stopped drawing an icon for error messages; the box should still show one.
    GtkWidget* icon = gtk_image_new_from_icon_name("dialog-error", GTK_ICON_SIZE_DIALOG);
    gtk_message_dialog_set_image(GTK_MESSAGE_DIALOG(dialog), icon);
    gtk_widget_show(icon);
    gtk_dialog_add_button(GTK_DIALOG(dialog), "OK", GTK_RESPONSE_OK);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    runModal(dialog);
}

bool askContinueWithDefaults(const std::string& text)
{
    if (!displayAvailable()) {
        std::cerr << "Configuration file error\n" << text << std::endl;
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
    return runModal(dialog) == GTK_RESPONSE_OK;
}

} // namespace kwo
