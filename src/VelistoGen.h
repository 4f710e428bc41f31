#ifndef VELISTOGEN_H
#define VELISTOGEN_H

#include "AppPaths.h"

#include <wx/app.h>

class MyApp : public wxApp {
public:
    bool OnInit() override;
};

#endif
