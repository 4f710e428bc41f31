// The program's icons, read from the bundle's resources.
#include "ProgramIcons.h"

#include "SoxRunner.h"

#include <wx/bitmap.h>
#include <wx/filefn.h>

wxIconBundle ProgramIcons() {
    wxIconBundle icons;
    for (const char* name : {"velisto-icon-48.png", "velisto-icon.png"}) {
        if (!wxFileExists(g_resourceFolder + name))
            continue;
        const wxBitmap picture(g_resourceFolder + name, wxBITMAP_TYPE_PNG);
        if (!picture.IsOk())
            continue;
        wxIcon icon;
        icon.CopyFromBitmap(picture);
        icons.AddIcon(icon);
    }
    return icons;
}
