// The append-only list of traffic lines in the main window.
#include "ui/TrafficList.h"

#include "ui/DialogLayer.h"

void TrafficList::append(HWND window, int listId, const char* line) {
    const HWND list = GetDlgItem(window, listId);
    if (!list) {
        return;
    }
    // The count before the add is the index of the new entry: the list is not sorted.
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    DialogLayer::listAdd(window, listId, line);
    DialogLayer::listSelect(window, listId, static_cast<int>(count) + 1);
}
