// The program's icons, read from the bundle's resources.
#ifndef PROGRAMICONS_H
#define PROGRAMICONS_H

#include <wx/iconbndl.h>

// The window icons at each size shipped; empty when none could be read.
wxIconBundle ProgramIcons();

#endif
