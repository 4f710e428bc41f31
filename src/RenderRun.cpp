#include "RenderRun.h"

#include "SoxHandler.h"

#include <wx/filename.h>

#include <cstdlib>
#include <memory>

namespace {

// A folder of the system's temporary folder, removed with its contents when
// the object goes.
class RunFolder {
public:
    RunFolder() {
        wxCharBuffer pattern = (wxFileName::GetTempDir() + "/velisto-run-XXXXXX").fn_str();
        if (mkdtemp(pattern.data()))
            m_path = wxString(pattern.data(), *wxConvFileName);
    }
    ~RunFolder() {
        if (!m_path.empty())
            wxFileName::Rmdir(m_path, wxPATH_RMDIR_RECURSIVE);
    }
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;
    const wxString& path() const { return m_path; }

private:
    wxString m_path;
};

wxString FileName(const wxString& path) {
    return wxFileName(path).GetFullName();
}

// Why track row must not be written to output in this run, or empty: output
// is another listed track's file or was written earlier in the run.
wxString OutputConflict(const wxArrayString& tracks, size_t row, const wxString& output,
                        const wxArrayString& written) {
    for (const wxString& earlier : written) {
        if (IsSameFile(output, earlier))
            return "Not processed: " + FileName(output) +
                   " was already written by an earlier track of this run.";
    }
    for (size_t i = 0; i < tracks.size(); ++i) {
        if (i != row && IsSameFile(output, tracks[i]))
            return "Not processed: the output file would replace the listed track " +
                   FileName(tracks[i]) + ".";
    }
    return wxString();
}

} // namespace

wxString FormatExtension(OutputFormat format) {
    switch (format) {
    case OutputFormat::Wav:
        return "wav";
    case OutputFormat::Aiff:
        return "aiff";
    case OutputFormat::Mp3:
        break;
    }
    return "mp3";
}

RenderRun::RenderRun(const RenderSettings& settings, const wxArrayString& tracks,
                     const wxArrayString& watermarks)
    : m_settings(settings), m_tracks(tracks), m_watermarks(watermarks) {
}

wxString RenderRun::InputProblem() const {
    if (m_settings.folder.empty())
        return "Choose an output folder first.";
    if (m_tracks.empty())
        return "Please add at least one input file.";
    if (m_watermarks.empty())
        return "Please add at least one watermark file.";
    return wxString();
}

wxString RenderRun::MergedPath() const {
    return MergedOutputPath(m_settings.folder, m_settings.mergeName,
                            FormatExtension(m_settings.format));
}

wxString RenderRun::MergeProblem() const {
    if (!m_settings.merge)
        return wxString();
    if (!IsUsableMergeName(m_settings.mergeName))
        return "Please provide a file name for the merged file, without a folder.";
    const wxString merged = MergedPath();
    for (const wxArrayString* list : {&m_tracks, &m_watermarks}) {
        for (const wxString& path : *list) {
            if (IsSameFile(merged, path))
                return "The merged file " + merged + " would replace " + FileName(path) +
                       ", which is in your lists. Please choose another name.";
        }
    }
    return wxString();
}

wxArrayString RenderRun::Run(RenderProgress* progress) {
    wxArrayString lines;
    // Tracks of the same name from different folders must not overwrite each
    // other before the join: each renders into a folder of its own.
    std::unique_ptr<RunFolder> renderFolder;
    if (m_settings.merge) {
        renderFolder.reset(new RunFolder);
        if (renderFolder->path().empty()) {
            lines.Add(FileName(MergedPath()) +
                      ": Not created: could not create a temporary "
                      "folder in " +
                      wxFileName::GetTempDir() + ".");
            return lines;
        }
    }

    const bool mp3 = m_settings.format == OutputFormat::Mp3;
    CSoxHandler sox;
    sox.SetOperation(SOX_ADD_WATERMARK);
    sox.SetWaterMarks(m_watermarks);
    sox.SetStartTime(m_settings.start);
    sox.SetWaterMarkInterval(m_settings.interval);
    sox.SetFileFormat(FormatExtension(m_settings.format));
    sox.SetBitrate(mp3 ? m_settings.bitrate : 0);
    sox.SetMono(m_settings.mono);
    sox.SetPrefix(m_settings.prefix);
    sox.SetSuffix(m_settings.suffix);

    wxArrayString rendered;
    for (size_t i = 0; i < m_tracks.size(); ++i) {
        if (progress)
            progress->TrackStarted(i, m_tracks.size(), FileName(m_tracks[i]));
        sox.SetInputFile(m_tracks[i]);
        if (m_settings.merge) {
            const wxString folder = renderFolder->path() + wxString::Format("/%zu", i + 1);
            wxFileName::Mkdir(folder);
            sox.SetOutputFile(folder);
        } else {
            sox.SetOutputFile(m_settings.folder);
            const wxString conflict = OutputConflict(m_tracks, i, sox.GetOutputPath(), rendered);
            if (!conflict.empty()) {
                lines.Add(FileName(m_tracks[i]) + ": " + conflict);
                continue;
            }
        }
        if (sox.Run())
            rendered.Add(sox.GetResultOutput());
        if (!sox.GetErrors().empty())
            lines.Add(sox.GetErrors()[0]);
    }

    if (m_settings.merge) {
        if (rendered.empty())
            lines.Add(FileName(MergedPath()) + ": Not created: no track was rendered.");
        else if (sox.AppendFiles(rendered, MergedPath()) != 0 && !sox.GetErrors().empty())
            lines.Add(sox.GetErrors()[0]);
    }
    return lines;
}
