// The main window's notices and the small dialogs it asks through.
#ifndef PROMPTS_H
#define PROMPTS_H

#include <wx/arrstr.h>
#include <wx/window.h>

// The common notice: the program's name as caption, OK, centred, no parent.
void Notice(const wxString& text);
// The add-files dialog over parent; false when cancelled, else the chosen paths.
bool ChooseAudioFiles(wxWindow* parent, wxArrayString& paths);
// A file dialog over parent for one existing file, opening in folder with
// name offered; false when cancelled, else the chosen path.
bool ChooseFile(wxWindow* parent, const wxString& message, const wxString& wildcard,
                const wxString& folder, const wxString& name, wxString& path);
// A text prompt over parent offering offered; false when cancelled, else
// what was typed in typed.
bool AskText(wxWindow* parent, const wxString& message, const wxString& caption,
             const wxString& offered, wxString& typed);
// The folder dialog over parent, always starting at the home folder; false
// when cancelled, else the folder chosen.
bool ChooseFolder(wxWindow* parent, const wxString& message, wxString& folder);
// A Yes/No question over parent; true for Yes.
bool Confirm(wxWindow* parent, const wxString& question);
// The name typed for a new preset, trimmed; empty when cancelled or refused
// (after a notice saying why).
wxString AskPresetName(wxWindow* parent);

#endif
