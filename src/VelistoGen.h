#ifndef VELISTOGEN_H
#define VELISTOGEN_H

#include <wx/app.h>

class MyApp : public wxApp {
public:
    bool OnInit() override;
};

// Makes the folder that holds Velisto.app the working directory, found from
// the executable's own path (.../Velisto.app/Contents/MacOS/velisto). False
// when the executable does not sit inside a bundle.
bool EnterBundleFolder(const wxString& executablePath);

#endif
