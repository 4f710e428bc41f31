// The web pages the menu and the About dialog open.
#include "WebLinks.h"

#include <wx/utils.h>

std::function<void(const wxString&)> g_webPageOpener;

void OpenWebPage(const wxString& address) {
    if (g_webPageOpener) {
        g_webPageOpener(address);
        return;
    }
    wxLaunchDefaultBrowser(address, 0);
}
