// The application object and the program's entry.
#ifndef VELISTOGEN_H
#define VELISTOGEN_H

#include "AppPaths.h"

#include <wx/app.h>
#include <wx/timer.h>

class MyApp : public wxApp {
public:
    bool OnInit() override;

private:
    wxTimer m_signalCheck;
};

#endif
