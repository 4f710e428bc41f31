// A whole run: every listed track rendered with the watermarks, and the join.
#include "RenderRun.h"

#include "AppPaths.h"
#include "FfmpegCommand.h"
#include "Manifest.h"
#include "SoxJobs.h"
#include "TagCopy.h"

#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/thread.h>
#include <wx/utils.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>

const int g_maxWatermarkSeconds = 4;

wxString ProposedMergeName(const wxArrayString& tracks) {
    return tracks.empty() ? wxString() : wxFileName(tracks[0]).GetName();
}

bool IsWatermarkLength(int seconds) {
    return seconds >= 0 && seconds <= g_maxWatermarkSeconds;
}

wxString WatermarkLengthRule() {
    return wxString::Format("Please use watermark files which are maximum of %d seconds long.",
                            g_maxWatermarkSeconds);
}

CSoxHandler WatermarkHandler(const RenderSettings& settings, const wxArrayString& watermarks) {
    CSoxHandler sox;
    sox.SetOperation(SOX_ADD_WATERMARK);
    sox.SetOutputFile(settings.folder);
    sox.SetWaterMarks(watermarks);
    sox.SetStartTime(settings.start);
    sox.SetWaterMarkInterval(settings.interval);
    sox.SetWaterMarkLevel(settings.level);
    sox.SetLevelMode(settings.levelMode);
    sox.SetDuck(settings.duck);
    sox.SetFormat(settings.format);
    sox.SetBitrate(FormatTakesBitrate(settings.format) ? settings.bitrate : 0);
    sox.SetMono(settings.mono);
    sox.SetPrefix(settings.prefix);
    sox.SetSuffix(settings.suffix);
    sox.SetClip(settings.clipLength, settings.clipStart, settings.clipFade);
    sox.SetVary(settings.vary);
    sox.SetSeed(settings.seed);
    return sox;
}

bool IsRenderedAlready(const wxString& output, const wxString& track,
                       const wxArrayString& watermarks) {
    const FileStamp written = StampOf(output);
    const FileStamp source = StampOf(track);
    if (!written.exists || !source.exists || written.modified <= source.modified ||
        !IsMarkedOutput(output))
        return false;
    for (const wxString& watermark : watermarks) {
        const FileStamp sound = StampOf(watermark);
        if (!sound.exists || written.modified <= sound.modified)
            return false;
    }
    return true;
}

RenderRun::RenderRun(const RenderSettings& settings, const wxArrayString& tracks,
                     const wxArrayString& watermarks)
    : m_settings(settings), m_watermarks(watermarks) {
    for (const wxString& track : tracks) {
        for (size_t r = 0; r < Copies(); ++r)
            m_tracks.Add(track);
    }
}

size_t RenderRun::Copies() const {
    return std::max<size_t>(1, m_settings.recipients.list.size());
}

const Recipient* RenderRun::RecipientOf(size_t row) const {
    const std::vector<Recipient>& list = m_settings.recipients.list;
    return list.empty() ? nullptr : &list[row % list.size()];
}

wxString RenderRun::EntryName(size_t row) const {
    const wxString name = DisplayName(m_tracks[row]);
    return RecipientOf(row) ? name + " for " + RecipientOf(row)->name : name;
}

wxArrayString RenderRun::EntryLines(size_t row, const wxArrayString& lines) const {
    if (!RecipientOf(row))
        return lines;
    const wxString name = DisplayName(m_tracks[row]) + ": ";
    wxArrayString named;
    for (const wxString& line : lines)
        named.Add(line.StartsWith(name) ? EntryName(row) + ": " + line.Mid(name.length()) : line);
    return named;
}

int RenderRun::RecipientVary() const {
    // Copies placed alike could not be told apart.
    return m_settings.vary > 0 ? m_settings.vary : kRecipientVary;
}

wxString RenderRun::ManifestPath() const {
    if (m_settings.recipients.list.empty())
        return wxString();
    return wxFileName(m_settings.folder, g_manifestName).GetFullPath();
}

// One track of a run: its engine, where it writes and how it went.
struct RenderRun::Track {
    CSoxHandler sox;
    wxString output;   // where it writes
    wxString identity; // of output, taken before the run wrote anything
    wxString trackIdentity;
    bool ended = false;
    TrackResult result;
};

wxString RenderRun::InputProblem() const {
    if (m_settings.folder.empty())
        return "Choose an output folder first.";
    if (m_tracks.empty())
        return "Please add at least one input file.";
    if (m_watermarks.empty())
        return "Please add at least one watermark file.";
    // Checked before anything renders, so no track is written half-way.
    if (!wxDirExists(m_settings.folder))
        return "The output folder " + m_settings.folder + " does not exist.";
    if (!wxFileName::IsDirWritable(m_settings.folder))
        return "The output folder " + m_settings.folder + " cannot be written to.";
    const wxString encoder = MissingEncoderReason(m_settings.format);
    if (!encoder.empty())
        return encoder;
    const std::vector<Recipient>& recipients = m_settings.recipients.list;
    if (!recipients.empty()) {
        if (m_settings.merge)
            return "Recipients get a copy of every track each: turn off merging to make their "
                   "copies.";
        if (m_settings.recipients.spoken && !MissingSpeechReason().empty())
            return MissingSpeechReason();
        std::set<wxString> names;
        for (const Recipient& recipient : recipients) {
            const wxString problem = RecipientProblem(recipient);
            if (!problem.empty())
                return "Recipient \"" + recipient.name + "\": " + problem + ".";
            if (!names.insert(RecipientFileName(recipient.name)).second)
                return "Two recipients would share the name " + RecipientFileName(recipient.name) +
                       " in their files. Please tell them apart.";
        }
    }
    // Either would put the output outside the chosen folder.
    for (const wxString& affix : {m_settings.prefix, m_settings.suffix}) {
        if (affix.find_first_of(wxFileName::GetPathSeparators()) != wxString::npos ||
            affix.Contains(".."))
            return "A prefix or suffix cannot contain \"/\" or \"..\".";
    }
    // Found now rather than after every track has rendered.
    if (!m_settings.merge) {
        const std::vector<Track> tracks = PrepareTracks(wxString(), {}, false);
        for (size_t row = 0; row < tracks.size(); ++row) {
            const wxString& track = m_tracks[row];
            if (IsNameTooLong(wxFileName(tracks[row].output).GetFullName()) ||
                IsNameTooLong(wxFileName(tracks[row].output).GetPath().AfterLast('/')))
                return "The output name for " + DisplayName(track) +
                       " would be longer than the file system allows (" +
                       wxString::Format("%zu", g_maxNameBytes) +
                       " bytes). Please choose a shorter prefix or suffix, or rename the track.";
        }
    }
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
    if (IsNameTooLong(wxFileName(merged).GetFullName()))
        return wxString::Format("The name of the merged file is longer than the file system "
                                "allows (%zu bytes). Please choose a shorter name.",
                                g_maxNameBytes);
    if (StampOf(merged).exists && !IsMarkedOutput(merged))
        return "The merged file " + ForeignOutputText(merged);
    for (const wxArrayString* list : {&m_tracks, &m_watermarks}) {
        for (const wxString& path : *list) {
            if (IsSameFile(merged, path))
                return "The merged file " + merged + " would replace " + DisplayName(path) +
                       ", which is in your lists. Please choose another name.";
        }
    }
    return wxString();
}

std::vector<RenderRun::Track> RenderRun::PrepareTracks(const wxString& renderFolder,
                                                       const std::vector<wxString>& spoken,
                                                       bool make) const {
    const CSoxHandler settings = WatermarkHandler(m_settings, m_watermarks);
    std::vector<Track> tracks(m_tracks.size());
    for (size_t i = 0; i < tracks.size(); ++i) {
        Track& track = tracks[i];
        track.sox = settings;
        track.sox.SetInputFile(m_tracks[i]);
        if (const Recipient* of = RecipientOf(i)) {
            const Recipient& recipient = *of;
            const wxString name = RecipientFileName(recipient.name);
            if (m_settings.recipients.naming == RecipientNaming::Folder) {
                const wxString folder = wxFileName(m_settings.folder, name).GetFullPath();
                if (make && !wxDirExists(folder))
                    wxFileName::Mkdir(folder);
                track.sox.SetOutputFile(folder);
            } else {
                track.sox.SetSuffix(m_settings.suffix + " for " + name);
            }
            track.sox.SetVary(RecipientVary());
            track.sox.SetSeed(RecipientSeed(m_settings.seed, recipient));
            track.sox.SetRecipient(recipient);
            if (!spoken.empty()) {
                wxArrayString watermarks = m_watermarks;
                watermarks.Add(spoken[i % Copies()]);
                track.sox.SetWaterMarks(watermarks);
            }
        }
        // A part of the merged file gets its tags with the merged file.
        track.sox.SetCopyTags(renderFolder.empty());
        if (!renderFolder.empty()) {
            // Tracks of the same name from different folders must not
            // overwrite each other before the join: each has a folder of its own.
            const wxString folder = renderFolder + wxString::Format("/%zu", i + 1);
            if (make)
                wxFileName::Mkdir(folder);
            track.sox.SetOutputFile(folder);
            // A part is what a WAV render of its track writes, so the join
            // encodes once: no encoder's delay and padding at the seams, no
            // second loss.
            track.sox.SetFormat(OutputFormat::Wav);
            track.sox.SetBitrate(0);
        }
        track.output = track.sox.GetOutputPath();
        track.identity = FileIdentity(track.output);
        track.trackIdentity = FileIdentity(m_tracks[i]);
    }
    return tracks;
}

wxString RenderRun::OutputConflict(const std::vector<Track>& tracks, size_t row) const {
    const Track& track = tracks[row];
    for (size_t i = 0; i < row; ++i) {
        if (tracks[i].result.HasOutput() && tracks[i].identity == track.identity)
            // Same-named tracks of two folders: the folders tell them apart.
            return "Not processed: " + DisplayName(track.output) +
                   " was already written by an earlier track of this run, from " +
                   DisplayName(wxFileName(m_tracks[i]).GetPath()) + "; this one is in " +
                   DisplayName(wxFileName(m_tracks[row]).GetPath()) + ".";
    }
    // Its own track is the engine's to refuse.
    for (size_t i = 0; i < tracks.size(); ++i) {
        if (i != row && tracks[i].trackIdentity == track.identity)
            return "Not processed: the output file would replace the listed track " +
                   DisplayName(m_tracks[i]) + ".";
    }
    return wxString();
}

wxString RenderRun::Refusal(const std::vector<Track>& tracks, size_t row) const {
    const wxString unreadable = UnreadableFileLine(m_tracks[row]);
    if (!unreadable.empty())
        return unreadable;
    const wxString conflict = m_settings.merge ? wxString() : OutputConflict(tracks, row);
    return conflict.empty() ? wxString() : DisplayName(m_tracks[row]) + ": " + conflict;
}

void RenderRun::MeasureAhead(std::vector<Track>& tracks, const std::function<bool()>& stop) const {
    if (tracks.empty())
        return;
    // Every core at once: the headers, and what they do not tell. The plan
    // that follows finds it all known and runs nothing.
    SoxQueue queue;
    const std::function<bool(size_t)> headerRead = ReadHeadersAhead(tracks[0].sox, m_tracks, queue);
    // Varied places are planned on the music too.
    const bool music = m_settings.levelMode != LevelMode::AsRecorded || m_settings.duck > 0 ||
                       m_settings.vary > 0 || !m_settings.recipients.list.empty();
    std::vector<CSoxHandler> lengths;
    lengths.reserve(tracks.size()); // the jobs hold on to them
    for (size_t row = 0; row < tracks.size(); ++row) {
        tracks[row].sox.SetMusicOptional(true);
        // A track's recipients' copies share its measure.
        const bool again = row % Copies() != 0;
        if (again || !UnreadableFileLine(m_tracks[row]).empty())
            continue;
        SoxJob job;
        if (music) {
            // Its decode tells the length too.
            job = MusicLoudnessJob(m_tracks[row], [] {});
        } else {
            // Copies share what the header runs learn, and keep the lengths.
            lengths.push_back(tracks[row].sox);
            lengths.back().SetOperation(SOX_TRACK_LENGTH);
            job = OperationJob(lengths.back());
        }
        job.ready = [headerRead, row] { return headerRead(row); };
        queue.Add(job);
    }
    queue.Run(stop);
}

bool RenderRun::MakeSpokenTags(const wxString& folder, std::vector<wxString>& spoken,
                               wxArrayString& lines) const {
    spoken.clear();
    if (!m_settings.recipients.spoken)
        return true;
    for (const Recipient& recipient : m_settings.recipients.list) {
        wxString error;
        const wxString path =
            folder.empty() ? wxString() : MakeSpokenTag(recipient.name, folder, error);
        if (path.empty()) {
            lines.Add(recipient.name + ": Not processed: " +
                      (error.empty() ? "no temporary folder for the spoken tag." : error));
            return false;
        }
        spoken.push_back(path);
    }
    return true;
}

wxString RenderRun::WriteRunManifest(const std::vector<Track>& tracks, bool& failed) const {
    failed = true;
    const wxString path = ManifestPath();
    Manifest manifest;
    manifest.seed = m_settings.seed;
    manifest.vary = RecipientVary();
    for (const wxString& watermark : m_watermarks)
        manifest.watermarks.Add(wxFileName(watermark).GetAbsolutePath());
    std::set<wxString> written;
    for (size_t row = 0; row < tracks.size(); ++row) {
        const Track& track = tracks[row];
        if (!RecipientOf(row) || !track.result.HasOutput())
            continue;
        const Recipient& recipient = *RecipientOf(row);
        ManifestCopy copy;
        copy.recipient = recipient.name;
        copy.id = recipient.id;
        copy.track = wxFileName(m_tracks[row]).GetAbsolutePath();
        copy.output = wxFileName(track.output).GetAbsolutePath();
        copy.sha256 = FileSha256(track.output);
        copy.seed = RecipientSeed(m_settings.seed, recipient);
        copy.positions = track.sox.GetPositions();
        for (int sound : track.sox.GetCopySounds())
            copy.sounds.push_back(static_cast<size_t>(sound) < m_watermarks.size() ? sound : -1);
        written.insert(copy.output);
        manifest.copies.push_back(copy);
    }
    if (manifest.copies.empty()) {
        failed = false;
        return wxString();
    }
    // An earlier run's copies stay traceable: they are kept, unless this run
    // wrote their files again.
    const size_t ours = manifest.copies.size();
    Manifest earlier;
    wxString error;
    if (wxFileExists(path)) {
        if (!ReadManifest(path, earlier, error))
            return g_manifestName + ": Not written: " + error;
        for (ManifestCopy copy : earlier.copies) {
            if (written.count(copy.output))
                continue;
            for (int& sound : copy.sounds) {
                if (sound < 0 || static_cast<size_t>(sound) >= earlier.watermarks.size())
                    continue;
                const wxString& file = earlier.watermarks[sound];
                int index = manifest.watermarks.Index(file);
                if (index == wxNOT_FOUND)
                    index = static_cast<int>(manifest.watermarks.Add(file));
                sound = index;
            }
            manifest.copies.push_back(copy);
        }
    }
    if (!WriteManifest(path, manifest, error))
        return g_manifestName + ": Not written: " + error;
    failed = false;
    auto count = [](size_t n, const char* one, const char* many) {
        return wxString::Format("%zu %s", n, n == 1 ? one : many);
    };
    return g_manifestName + ": lists " + count(ours, "copy", "copies") + " written for " +
           count(m_settings.recipients.list.size(), "recipient", "recipients") +
           (manifest.copies.size() > ours
                ? ", and " + count(manifest.copies.size() - ours, "copy", "copies") +
                      " of earlier runs"
                : wxString()) +
           ".";
}

std::vector<TrackPlan> RenderRun::Plan(const std::function<bool()>& stop) const {
    // A merge's parts would go to a private folder: planned in one that is
    // never made, so nothing in the output folder is taken for theirs.
    const wxString nowhere = m_settings.merge ? wxFileName::GetTempDir() + "/velisto-plan-" +
                                                    wxString::Format("%lu", wxGetProcessId())
                                              : wxString();
    TempFolder speech("velisto-plan");
    std::vector<wxString> spoken;
    wxArrayString speechLines;
    std::vector<TrackPlan> plans;
    if (!MakeSpokenTags(speech.Path(), spoken, speechLines)) {
        TrackPlan plan;
        plan.result.lines = speechLines;
        plans.push_back(plan);
        return plans;
    }
    std::vector<Track> tracks = PrepareTracks(nowhere, spoken, false);
    MeasureAhead(tracks, stop);
    for (size_t row = 0; row < tracks.size() && !(stop && stop()); ++row) {
        Track& track = tracks[row];
        TrackPlan plan;
        plan.track = m_tracks[row];
        if (RecipientOf(row))
            plan.recipient = RecipientOf(row)->name;
        const wxString refusal = Refusal(tracks, row);
        if (!refusal.empty()) {
            plan.result.lines.Add(refusal);
        } else if (m_skipRendered && !m_settings.merge &&
                   IsRenderedAlready(track.output, m_tracks[row], m_watermarks)) {
            plan.result.outcome = TrackOutcome::Skipped;
            plan.result.lines.Add(OutcomeLine(DisplayName(m_tracks[row]), TrackOutcome::Skipped));
        } else {
            // The engine decides as for a real run; its command is not run.
            wxString command;
            if (track.sox.BeginRun(command)) {
                plan.result.outcome = TrackOutcome::Done;
                plan.output = m_settings.merge ? MergedPath() : track.sox.GetResultOutput();
                plan.positions = track.sox.GetPositions();
                plan.clipFrom = track.sox.GetClipFrom();
                plan.cutCopy = track.sox.GetCutCopy();
                plan.levels = track.sox.GetCopyLevels();
            } else {
                plan.result = track.sox.GetTrackResult();
            }
        }
        plan.result.lines = EntryLines(row, plan.result.lines);
        track.result = plan.result; // a later track of the same output name sees it
        plans.push_back(plan);
    }
    return plans;
}

bool RenderRun::StopAsked(RenderProgress* progress) const {
    return m_cancel || (progress && progress->CancelRequested());
}

// One Run: its tracks, the queue rendering them and what has ended.
struct RenderRun::Pass {
    Pass(int parallel, RenderProgress* watcher) : queue(parallel), progress(watcher) {}
    std::vector<Track> tracks;
    SoxQueue queue;
    RenderProgress* progress;
    std::function<bool(size_t)> headerRead;
    std::vector<char> skipped; // by row: already rendered, left out
    // By listed track: its music measured (or known not to be); its
    // recipients' copies share the measure.
    std::vector<char> measured;
    size_t begun = 0; // rows whose renders have begun, from the first
    size_t ended = 0;

    void Finish(Track& track) {
        track.ended = true;
        if (progress)
            progress->TracksFinished(++ended, tracks.size());
    }
};

SoxJob RenderRun::TrackJob(Pass& pass, size_t row) const {
    SoxJob job;
    // A same-named track from another folder would write where an earlier
    // one writes: it waits until that one has ended.
    job.ready = [this, &pass, row] {
        if (pass.skipped[row])
            return true;
        // Renders begin in track order, whichever track was measured first.
        if (!pass.headerRead(row) || !pass.measured[row / Copies()] || pass.begun < row)
            return false;
        for (size_t i = 0; i < row; ++i) {
            if (!pass.tracks[i].ended && pass.tracks[i].identity == pass.tracks[row].identity)
                return false;
        }
        return true;
    };
    job.begin = [this, &pass, row](wxString& command) {
        pass.begun = std::max(pass.begun, row + 1);
        Track& track = pass.tracks[row];
        const wxString refusal = Refusal(pass.tracks, row);
        if (!refusal.empty()) {
            track.result.lines.Add(refusal);
            pass.Finish(track);
            return false;
        }
        if (pass.skipped[row]) {
            track.result.outcome = TrackOutcome::Skipped;
            track.result.lines.Add(OutcomeLine(DisplayName(m_tracks[row]), TrackOutcome::Skipped));
            pass.Finish(track);
            return false;
        }
        if (pass.progress)
            pass.progress->TrackStarted(row, pass.tracks.size(), EntryName(row));
        // Fewer renders than cores from here on (one at a time, or the last
        // of a batch): this one can spread over two.
        const SoxQueue& queue = pass.queue;
        const size_t cores = std::max(1, wxThread::GetCPUCount());
        const size_t others = std::min(queue.Waiting() + 1, queue.Parallel() - queue.Running());
        track.sox.SetDecodeApart(queue.Running() + others < cores);
        if (!track.sox.BeginRun(command)) {
            track.result = track.sox.GetTrackResult();
            pass.Finish(track);
            return false;
        }
        track.output = track.sox.GetResultOutput();
        return true;
    };
    job.end = [this, &pass, row](const SoxOutput& out) {
        Track& track = pass.tracks[row];
        track.sox.EndRun(out);
        track.result = track.sox.GetTrackResult();
        pass.Finish(track);
    };
    return job;
}

wxArrayString RenderRun::Run(RenderProgress* progress) {
    m_cancel = m_cancelled = m_complete = false;
    m_results.clear();
    wxArrayString lines;
    const size_t count = m_tracks.size();
    std::unique_ptr<TempFolder> renderFolder;
    if (m_settings.merge) {
        renderFolder.reset(new TempFolder("velisto-run"));
        if (renderFolder->Path().empty()) {
            lines.Add(DisplayName(MergedPath()) + ": Not created: could not create a temporary " +
                      "folder in " + wxFileName::GetTempDir() + ".");
            return lines;
        }
    }
    std::unique_ptr<TempFolder> speech;
    std::vector<wxString> spoken;
    if (m_settings.recipients.spoken) {
        speech.reset(new TempFolder("velisto-speech"));
        if (!MakeSpokenTags(speech->Path(), spoken, lines))
            return lines;
    }
    Pass pass(m_parallel, progress);
    pass.tracks = PrepareTracks(renderFolder ? renderFolder->Path() : wxString(), spoken);
    // Only the tracks to render have their headers read: a resumed catalogue
    // run spends nothing on the part already done.
    pass.skipped.assign(count, 0);
    wxArrayString toRead;
    std::vector<size_t> readIndex(count, 0);
    for (size_t row = 0; row < count; ++row) {
        pass.skipped[row] = m_skipRendered && !m_settings.merge &&
                            IsRenderedAlready(pass.tracks[row].output, m_tracks[row], m_watermarks);
        readIndex[row] = toRead.size();
        if (!pass.skipped[row])
            toRead.Add(m_tracks[row]);
    }
    if (!toRead.empty()) {
        const std::function<bool(size_t)> read =
            ReadHeadersAhead(pass.tracks[0].sox, toRead, pass.queue);
        pass.headerRead = [read, readIndex](size_t row) { return read(readIndex[row]); };
    }
    // Each track's music is measured just ahead of its render, so that the
    // render need not wait for it and a cancel ends it as it ends renders.
    // A track's recipients' copies share its measure, once.
    pass.measured.assign(count / Copies(), 1);
    std::vector<char> queued(count / Copies(), 0);
    for (size_t row = 0; row < count; ++row) {
        const size_t track = row / Copies();
        if (!pass.skipped[row] && !queued[track]) {
            queued[track] = 1;
            pass.measured[track] = 0;
            pass.queue.Add(
                MusicLoudnessJob(m_tracks[row], [&pass, track] { pass.measured[track] = 1; }));
        }
        pass.queue.Add(TrackJob(pass, row));
    }
    pass.queue.Run([&] { return StopAsked(progress); });

    size_t notRendered = 0;
    wxArrayString rendered; // in track order, whatever order the renders ended in
    wxString firstRendered; // the track the first part was rendered from
    for (size_t row = 0; row < count; ++row) {
        Track& track = pass.tracks[row];
        if (!track.ended) { // dropped by the cancel before it began
            track.result.outcome = TrackOutcome::Cancelled;
            pass.Finish(track);
        }
        notRendered += track.result.outcome == TrackOutcome::Cancelled;
        track.result.lines = EntryLines(row, track.result.lines);
        WX_APPEND_ARRAY(lines, track.result.lines);
        m_results.push_back(track.result);
        if (track.result.HasOutput()) {
            if (rendered.empty())
                firstRendered = m_tracks[row];
            rendered.Add(track.output);
        }
    }
    // The copies written are traceable, whether or not the run went to its end.
    bool manifestFailed = false;
    if (!m_settings.recipients.list.empty()) {
        bool failed = false;
        const wxString manifest = WriteRunManifest(pass.tracks, failed);
        if (!manifest.empty())
            lines.Add(manifest);
        manifestFailed = failed;
    }
    if (pass.queue.WasCancelled()) {
        m_cancelled = true;
        lines.Add(
            wxString::Format("Cancelled: %zu of %zu tracks not rendered.", notRendered, count));
        return lines;
    }
    m_complete = rendered.size() == count && !manifestFailed;
    if (m_settings.merge && !Join(rendered, firstRendered, progress, lines))
        m_complete = false;
    return lines;
}

bool RenderRun::Join(const wxArrayString& parts, const wxString& firstTrack,
                     RenderProgress* progress, wxArrayString& lines) {
    if (parts.empty()) {
        lines.Add(DisplayName(MergedPath()) + ": Not created: no track was rendered.");
        return false;
    }
    CSoxHandler sox = WatermarkHandler(m_settings, m_watermarks);
    sox.SetAlbumTagsFrom(firstTrack);
    int status = -1;
    SoxJob job;
    job.begin = [&](wxString& command) { return sox.BeginAppend(parts, MergedPath(), command); };
    job.end = [&](const SoxOutput& out) { status = sox.EndAppend(out); };
    SoxQueue queue(1);
    queue.Add(job);
    queue.Run([&] { return StopAsked(progress); });
    if (queue.WasCancelled()) {
        m_cancelled = true;
        lines.Add("Cancelled: the merged file was not created.");
        return false;
    }
    // A failure's line, or a note on the tags of a merged file written.
    WX_APPEND_ARRAY(lines, sox.GetErrors());
    return status == 0;
}
