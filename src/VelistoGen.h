// The application object and the program's entry.
#ifndef VELISTOGEN_H
#define VELISTOGEN_H

#include "AppPaths.h"

#include <wx/app.h>
#include <wx/timer.h>

class wxCmdLineParser;

// The window program's options: the toolkit's -h and --verbose, described in
// one place for the toolkit's parser and for the answer given without it.
void DescribeCommandLine(wxCmdLineParser& parser);
// True when the arguments (before a "--") ask for the usage text.
bool AsksForHelp(int argc, char** argv);
// The usage text, as --help prints it, ending in a newline.
wxString UsageText(int argc, char** argv);

class MyApp : public wxApp {
public:
    void OnInitCmdLine(wxCmdLineParser& parser) override;
    bool OnInit() override;
    void OnAssertFailure(const wxChar* file, int line, const wxChar* func, const wxChar* cond,
                         const wxChar* msg) override;

private:
    wxTimer m_signalCheck;
};

#endif
