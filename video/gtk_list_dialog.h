#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

namespace kwo {

// Both video dialogs are a modal list to pick one entry from, with "OK" as
// the default button (Enter) and a cancel button (Escape), and without a
// close box. This builds the shared parts.
struct ListDialog {
    GtkWidget* dialog = nullptr;
    GtkWidget* content = nullptr; // the dialog's content area, for extra widgets
    GtkWidget* list = nullptr;    // single selection, entries in the given order
};

// False when no display can be opened.
bool gtkAvailable();

ListDialog makeListDialog(const std::string& title, const std::string& cancelLabel);
// Fills the list (unsorted) and selects and focuses `selected`.
void fillList(ListDialog& dialog, const std::vector<std::string>& entries, std::size_t selected);
// Runs the dialog centred on the screen; the index of the selected entry
// after OK, or -1 after cancel. Destroys the dialog.
int runListDialog(ListDialog& dialog);

} // namespace kwo
