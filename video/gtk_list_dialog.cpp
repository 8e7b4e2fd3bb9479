#include "video/gtk_list_dialog.h"

namespace kwo {
namespace {

// Enter in a list box activates the row rather than the default button, so
// an activation by Enter means "OK". A double click (or Space) activates a
// row too, but must only select it: only the Enter keys answer the dialog.
void onRowActivated(GtkListBox*, GtkListBoxRow*, gpointer dialog)
{
    GdkEvent* event = gtk_get_current_event();
    bool byEnter = false;
    if (event) {
        guint key = 0;
        byEnter = event->type == GDK_KEY_PRESS && gdk_event_get_keyval(event, &key) &&
                  (key == GDK_KEY_Return || key == GDK_KEY_KP_Enter || key == GDK_KEY_ISO_Enter);
        gdk_event_free(event);
    }
    if (byEnter)
        gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
}

} // namespace

bool gtkAvailable()
{
    // GTK would switch the whole process to the user's locale: numbers in
    // the engine's scripts would then parse with a decimal comma on some
    // stations, and Xlib would type the window title in an encoding that
    // tools cannot read. The program's texts are bytes; keep the C locale.
    // GTK starts once per process and warns when told about the locale
    // after it has started, so this runs once.
    static const bool available = [] {
        gtk_disable_setlocale();
        return gtk_init_check(nullptr, nullptr) != FALSE;
    }();
    return available;
}

ListDialog makeListDialog(const std::string& title, const std::string& cancelLabel)
{
    ListDialog parts;
    parts.dialog = gtk_dialog_new();
    gtk_window_set_modal(GTK_WINDOW(parts.dialog), TRUE);
    gtk_window_set_resizable(GTK_WINDOW(parts.dialog), FALSE);
    // A header bar without the close button is the only way to drop the close
    // box under every window manager (or none).
    GtkWidget* header = gtk_header_bar_new();
    gtk_header_bar_set_title(GTK_HEADER_BAR(header), title.c_str());
    gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(header), FALSE);
    gtk_window_set_titlebar(GTK_WINDOW(parts.dialog), header);
    gtk_window_set_title(GTK_WINDOW(parts.dialog), title.c_str());

    gtk_dialog_add_button(GTK_DIALOG(parts.dialog), "OK", GTK_RESPONSE_OK);
    gtk_dialog_add_button(GTK_DIALOG(parts.dialog), cancelLabel.c_str(), GTK_RESPONSE_CANCEL);
    gtk_dialog_set_default_response(GTK_DIALOG(parts.dialog), GTK_RESPONSE_OK);

    parts.content = gtk_dialog_get_content_area(GTK_DIALOG(parts.dialog));
    parts.list = gtk_list_box_new();
    gtk_list_box_set_selection_mode(GTK_LIST_BOX(parts.list), GTK_SELECTION_SINGLE);
    gtk_list_box_set_activate_on_single_click(GTK_LIST_BOX(parts.list), FALSE);
    g_signal_connect(parts.list, "row-activated", G_CALLBACK(onRowActivated), parts.dialog);
    return parts;
}

void fillList(ListDialog& dialog, const std::vector<std::string>& entries, std::size_t selected)
{
    for (const std::string& entry : entries) {
        GtkWidget* label = gtk_label_new(entry.c_str());
        gtk_label_set_xalign(GTK_LABEL(label), 0);
        gtk_widget_set_margin_start(label, 4);
        gtk_widget_set_margin_end(label, 4);
        gtk_list_box_insert(GTK_LIST_BOX(dialog.list), label, -1);
    }
    if (GtkListBoxRow* row = gtk_list_box_get_row_at_index(GTK_LIST_BOX(dialog.list), static_cast<int>(selected))) {
        gtk_list_box_select_row(GTK_LIST_BOX(dialog.list), row);
        gtk_widget_grab_focus(GTK_WIDGET(row));
    }
}

int runListDialog(ListDialog& dialog)
{
    gtk_window_set_position(GTK_WINDOW(dialog.dialog), GTK_WIN_POS_CENTER);
    gtk_widget_show_all(dialog.dialog);
    const int response = gtk_dialog_run(GTK_DIALOG(dialog.dialog));
    int chosen = -1;
    if (response == GTK_RESPONSE_OK) {
        if (GtkListBoxRow* row = gtk_list_box_get_selected_row(GTK_LIST_BOX(dialog.list)))
            chosen = gtk_list_box_row_get_index(row);
        else
            chosen = -2; // OK with nothing selected
    }
    gtk_widget_destroy(dialog.dialog);
    // Let the dialog leave the screen before the program goes on.
    while (gtk_events_pending())
        gtk_main_iteration();
    return chosen;
}

} // namespace kwo
