#ifndef VELISTOGEN_H
#define VELISTOGEN_H

#include <wx/app.h>

class MyApp : public wxApp {
public:
    bool OnInit() override;
};

// Makes the folder that holds Velisto.app the working directory, found from
// the executable's own path: .../Velisto.app/Contents/MacOS/velisto in the
// build tree, PREFIX/bin/velisto with PREFIX/share/velisto/Velisto.app when
// installed. False, leaving the working directory alone, when neither fits.
bool EnterBundleFolder(const wxString& executablePath);

#endif
