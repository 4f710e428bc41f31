// The main window's notices and the small dialogs it asks through.
#include "Prompts.h"

#include "AppPaths.h"
#include "PresetStore.h"
#include "RenderRun.h"

#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/textdlg.h>
#include <wx/utils.h>

void Notice(const wxString& text) {
    wxMessageBox(text, g_programName, wxOK | wxCENTRE);
}

bool ChooseAudioFiles(wxWindow* parent, wxArrayString& paths) {
    wxFileDialog dialog(parent, _("Please choose file(s) to add"), wxEmptyString, wxEmptyString,
                        AudioFileWildcard(), wxFD_OPEN | wxFD_MULTIPLE);
    if (dialog.ShowModal() == wxID_CANCEL)
        return false;
    dialog.GetPaths(paths);
    return true;
}

bool ChooseFile(wxWindow* parent, const wxString& message, const wxString& wildcard,
                const wxString& folder, const wxString& name, wxString& path) {
    wxFileDialog dialog(parent, message, folder, name, wildcard, wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() == wxID_CANCEL)
        return false;
    path = dialog.GetPath();
    return true;
}

bool AskText(wxWindow* parent, const wxString& message, const wxString& caption,
             const wxString& offered, wxString& typed) {
    wxTextEntryDialog prompt(parent, message, caption, offered, wxOK | wxCANCEL | wxCENTRE);
    if (prompt.ShowModal() != wxID_OK)
        return false;
    typed = prompt.GetValue();
    return true;
}

bool ChooseFolder(wxWindow* parent, const wxString& message, wxString& folder) {
    wxDirDialog dialog(parent, message, wxGetHomeDir(), wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK)
        return false;
    folder = dialog.GetPath();
    return true;
}

bool Confirm(wxWindow* parent, const wxString& question) {
    wxMessageDialog ask(parent, question, g_programName, wxYES_NO | wxCENTRE);
    return ask.ShowModal() == wxID_YES;
}

wxString AskPresetName(wxWindow* parent) {
    wxString typed;
    if (!AskText(parent, "Please provide a name for your new preset", "New preset", wxEmptyString,
                 typed))
        return wxString();
    wxString error;
    const wxString name = CheckPresetName(typed, error);
    if (!error.empty()) {
        Notice(error);
        return wxString();
    }
    return name;
}
