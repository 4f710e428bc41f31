#include "StampedPreview.h"

#include "SoxHandler.h"

#include <wx/filefn.h>
#include <wx/filename.h>

#include <cstdlib>
#include <sys/stat.h>
#include <vector>

namespace {

// A file as the key sees it: a file saved again under the same name counts as
// changed.
wxString FileKey(const wxString& path) {
    struct stat st;
    if (::stat(path.fn_str(), &st) != 0)
        return path + "\t-";
    return wxString::Format(
        "%s\t%llu\t%lld\t%lld", path, static_cast<unsigned long long>(st.st_ino),
        static_cast<long long>(st.st_size),
        static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec);
}

} // namespace

StampedPreview::~StampedPreview() {
    if (!m_folder.empty())
        wxFileName::Rmdir(m_folder, wxPATH_RMDIR_RECURSIVE);
}

bool StampedPreview::Prepare(const wxString& track, const wxArrayString& watermarks,
                             const RenderSettings& settings, wxString& file, wxString& failure) {
    if (watermarks.empty()) {
        failure = "Please add at least one watermark file.";
        return false;
    }
    wxString key = wxString::Format("%d\t%d\t%d\t%d\n", settings.start, settings.interval,
                                    settings.level, settings.mono ? 1 : 0) +
                   FileKey(track);
    for (const wxString& watermark : watermarks)
        key += "\n" + FileKey(watermark);
    if (key == m_key && wxFileExists(m_file)) {
        file = m_file;
        return true;
    }

    if (m_folder.empty()) {
        wxCharBuffer pattern = (wxFileName::GetTempDir() + "/velisto-preview-XXXXXX").fn_str();
        if (!mkdtemp(pattern.data())) {
            failure = "Could not create a temporary folder in " + wxFileName::GetTempDir() + ".";
            return false;
        }
        m_folder = wxString(pattern.data(), *wxConvFileName);
    }

    // WAV in the preview's own folder, whatever the output settings say.
    RenderSettings preview = settings;
    preview.format = OutputFormat::Wav;
    preview.folder = m_folder;
    // A name of its own for every render: the player may still hold the last one.
    preview.prefix = wxString::Format("%u-", ++m_renders);
    preview.suffix.clear();
    std::vector<CSoxHandler> render(1, WatermarkHandler(preview, watermarks));
    CSoxHandler& sox = render[0];
    sox.SetInputFile(track);
    if (!RunAll(render, 1)[0]) {
        failure = wxJoin(sox.GetErrors(), '\n', '\0');
        if (failure.empty())
            failure = wxFileName(track).GetFullName() + ": could not be rendered.";
        return false;
    }
    if (!m_file.empty() && wxFileExists(m_file))
        wxRemoveFile(m_file);
    m_file = sox.GetResultOutput();
    m_key = key;
    file = m_file;
    return true;
}
