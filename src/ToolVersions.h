// The versions of SoX and LAME the program works with, as found at run time.
#ifndef TOOLVERSIONS_H
#define TOOLVERSIONS_H

#include <wx/arrstr.h>
#include <wx/string.h>

// SoX's own name for its version, as `sox --version` prints it after the
// program's name ("SoX v14.4.2"), asked of the bundle's SoX; empty when it
// cannot be run or says nothing of the kind.
wxString SoxVersion();

// The version of the LAME library (libmp3lame) that SoX writes MP3 with, as
// the library itself tells it ("3.100"); empty when it cannot be loaded.
wxString LameVersion();

// The version in what `sox --version` printed (see SoxVersion); empty when
// there is none.
wxString SoxVersionIn(const wxArrayString& lines);

#endif
