// The versions of SoX and LAME the program works with, as found at run time.
#include "ToolVersions.h"

#include "SoxRunner.h"

#include <dlfcn.h>

wxString SoxVersionIn(const wxArrayString& lines) {
    // After the name it was started by: "./sox:      SoX v14.4.2".
    for (const wxString& line : lines) {
        const int at = line.Find("SoX v");
        if (at != wxNOT_FOUND)
            return line.Mid(at).Trim();
    }
    return wxString();
}

wxString SoxVersion() {
    const SoxOutput out = SoxQueue::RunNow("./sox --version");
    if (out.status != 0)
        return wxString();
    wxArrayString lines = out.output;
    WX_APPEND_ARRAY(lines, out.errors);
    return SoxVersionIn(lines);
}

wxString LameVersion() {
    // The soname SoX's MP3 format links, so the one it loads: SoX's output
    // tells nothing of it.
    void* lame = dlopen("libmp3lame.so.0", RTLD_LAZY | RTLD_LOCAL);
    if (!lame)
        return wxString();
    wxString version;
    using VersionFunction = const char* (*)();
    if (auto get = reinterpret_cast<VersionFunction>(dlsym(lame, "get_lame_version")))
        version = wxString::FromUTF8(get());
    dlclose(lame);
    return version;
}
