// A whole run: every listed track rendered with the watermarks, and the join.
#ifndef RENDERRUN_H
#define RENDERRUN_H

#include "Formats.h"
#include "LevelPlan.h"
#include "Recipients.h"
#include "TrackResult.h"

#include <wx/arrstr.h>
#include <wx/string.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// The batch: renders every listed track with the watermarks through CSoxHandler
// and joins the results when merging. It shows nothing: the window, the
// benchmark and the tests call the same run and present its lines themselves.

// Longest watermark file taken, in whole seconds.
extern const int g_maxWatermarkSeconds;
// True when a file of that many whole seconds may be a watermark.
bool IsWatermarkLength(int seconds);
// The rule as the user reads it when a file breaks it.
wxString WatermarkLengthRule();

// The settings a preset keeps and a run uses alike, with their defaults.
struct WatermarkSettings {
    int start = 0;     // seconds before the first watermark
    int interval = 10; // seconds between watermarks
    // The watermark copies' level: dB on the files as recorded, or LU
    // against the music's loudness (levelMode); never applied to the track.
    int level = 0;
    LevelMode levelMode = LevelMode::AsRecorded;
    int duck = 0; // dB the music dips under every copy
    OutputFormat format = OutputFormat::Mp3;
    int bitrate = 320; // kbit/s, for the formats that take one
    bool mono = false;
    wxString folder; // output folder
    bool merge = false;
    // A preview clip: seconds of each track written (0: the whole track),
    // from clipStart seconds into it, faded in and out over clipFade seconds.
    int clipLength = 0;
    int clipStart = 0;
    int clipFade = 2;
    // Seconds each copy may move from its regular place (0: none), and the
    // seed of that variation.
    int vary = 0;
    uint32_t seed = 1;
};

// Everything a run needs besides the files, taken once when it starts.
struct RenderSettings : WatermarkSettings {
    wxString prefix;
    wxString suffix;
    wxString mergeName; // merged file's name; its extension is replaced by the format's
    // A copy of every track per recipient, or an ordinary run when empty.
    RecipientOptions recipients;
};

// The merged file's name offered before the user names it: the first
// track's name without its extension.
wxString ProposedMergeName(const wxArrayString& tracks);

class CSoxHandler;
// The engine set up to watermark with settings and watermarks into
// settings.folder (the bitrate where the format takes one); the caller sets
// the track.
CSoxHandler WatermarkHandler(const RenderSettings& settings, const wxArrayString& watermarks);

// True when output exists and was last written after the track and every
// watermark file last changed: a render writes its output's name only once
// it has finished, so this is a finished render of them as they are now.
bool IsRenderedAlready(const wxString& output, const wxString& track,
                       const wxArrayString& watermarks);

// Told as the run goes, from the thread that called Run.
class RenderProgress {
public:
    virtual ~RenderProgress() = default;
    // Track index (from 0) of count starts rendering; name is its file name.
    virtual void TrackStarted(size_t index, size_t count, const wxString& name) = 0;
    // finished of count tracks have ended, rendered or not.
    virtual void TracksFinished(size_t finished, size_t count) = 0;
    // Asked while the run waits for SoX; true ends the run as Cancel does.
    virtual bool CancelRequested() { return false; }
};

struct SoxJob;

// What a run would do with one track.
struct TrackPlan {
    TrackResult result;            // Done when it would render
    wxString track;                // the track it renders
    wxString recipient;            // whose copy it is, or empty
    wxString output;               // where it would write (the merged file when merging)
    std::vector<double> positions; // seconds its watermark copies start at
    int clipFrom = -1;             // second its clip starts at, -1 for the whole track
    double cutCopy = -1;           // the copy cut at the clip's end, or -1
    std::vector<CopyLevel> levels; // each copy's gain and the music's under it
};

class RenderRun {
public:
    RenderRun(const RenderSettings& settings, const wxArrayString& tracks,
              const wxArrayString& watermarks);

    // Why nothing can be rendered (no output folder, no track, no watermark,
    // an output folder that is missing or read-only, a prefix or suffix that
    // would leave the folder), or empty. The texts are the ones the window shows.
    wxString InputProblem() const;
    // Why the merged file cannot be written under its name (unusable name, or
    // it would replace a listed file), or empty. Empty when not merging.
    wxString MergeProblem() const;
    // Where the merged file goes.
    wxString MergedPath() const;
    // Where a recipients run writes its manifest (the output folder's
    // g_manifestName), or empty for an ordinary run.
    wxString ManifestPath() const;

    // How many tracks render at the same time; 0 (the default) means one per
    // processor core.
    void SetParallel(int jobs) { m_parallel = jobs; }
    // Leaves out every track whose output IsRenderedAlready when the run
    // starts: its line is "<name>: already rendered, skipped." and it counts
    // as rendered. Not when merging, which keeps no output per track.
    void SetSkipRendered(bool skip) { m_skipRendered = skip; }

    // What Run would do with each track, in track order, rendering nothing:
    // Done with where it would write and its watermarks, Skipped, or
    // NotProcessed with its line. Stops early when stop says so. Decodes
    // only what the headers do not tell, on every core: the music where the
    // levels are set against it or it dips, else the lengths not stated.
    std::vector<TrackPlan> Plan(const std::function<bool()>& stop = nullptr) const;

    // Renders every track, up to SetParallel at once and started in list
    // order, then joins the rendered files in track order when merging.
    // Returns when everything has ended: each track's lines (usually one; a
    // clipped render adds a second), in track order, whatever order the
    // renders finished in; then the merged file's line (on failure only).
    // Call only when both problems are empty; it runs the event loop while
    // it waits.
    // A cancelled run ends every running SoX process, removes the files they
    // were writing, keeps the tracks already rendered, skips the join and
    // ends the lines with "Cancelled: N of M tracks not rendered."; a join
    // cancelled under way leaves no merged file and ends them with
    // "Cancelled: the merged file was not created.".
    wxArrayString Run(RenderProgress* progress = nullptr);
    // Cancels a run in progress, from within the event loop it runs (a
    // handler or a progress call). Nothing happens when no run is going.
    void Cancel() { m_cancel = true; }
    bool WasCancelled() const { return m_cancelled; }
    // True when the last Run rendered every track and, when merging, wrote
    // the merged file.
    bool Complete() const { return m_complete; }
    // How each track of the last Run ended, in track order.
    const std::vector<TrackResult>& Results() const { return m_results; }

private:
    struct Track;
    struct Pass;
    // One engine per track, writing into folder (the output folder, or a
    // folder of its own under renderFolder when merging). A recipient's
    // copy goes to their folder (or name) with their seed, tags and spoken
    // tag (spoken, by recipient; none when empty).
    // The folders under renderFolder and the recipients' are made only when
    // make is set.
    std::vector<Track> PrepareTracks(const wxString& renderFolder,
                                     const std::vector<wxString>& spoken, bool make = true) const;
    // The recipients' spoken tags made into folder, by recipient (none when
    // not asked for): false with the line when one could not be made.
    bool MakeSpokenTags(const wxString& folder, std::vector<wxString>& spoken,
                        wxArrayString& lines) const;
    // Copies of each listed track: one per recipient, or one.
    size_t Copies() const;
    // Whose copy entry row is (null: an ordinary run's).
    const Recipient* RecipientOf(size_t row) const;
    // The track of entry row as its lines name it: "NAME" or "NAME for RECIPIENT".
    wxString EntryName(size_t row) const;
    // lines with the track's name at their start made EntryName(row).
    wxArrayString EntryLines(size_t row, const wxArrayString& lines) const;
    // The seconds a recipient's copies vary by.
    int RecipientVary() const;
    // Writes the manifest of the recipients' copies that were written, kept
    // with the copies an earlier manifest there lists and this run did not
    // write again: the line telling where it is, or why it is not (failed).
    wxString WriteRunManifest(const std::vector<Track>& tracks, bool& failed) const;
    // Measures for a plan, on every core, what tracks' headers do not tell.
    void MeasureAhead(std::vector<Track>& tracks, const std::function<bool()>& stop) const;
    // The line of a track that must not be rendered at all (not a file to
    // read, or an output another track of the run writes), or empty.
    wxString Refusal(const std::vector<Track>& tracks, size_t row) const;
    // The queue's job for track row: it waits for its header and for an
    // earlier track writing the same file, then renders.
    SoxJob TrackJob(Pass& pass, size_t row) const;
    // Why track row must not be written where it would go, or empty.
    wxString OutputConflict(const std::vector<Track>& tracks, size_t row) const;
    // Joins the rendered files into the merged file, which takes the album's
    // tags of firstTrack; false (with the line) when it failed or was cancelled.
    bool Join(const wxArrayString& parts, const wxString& firstTrack, RenderProgress* progress,
              wxArrayString& lines);
    // Asked while the run waits: the caller's Cancel, or the progress's.
    bool StopAsked(RenderProgress* progress) const;

    RenderSettings m_settings;
    // One entry per copy: each track, once per recipient when there are
    // recipients (a track's copies one after another, Copies() of them).
    wxArrayString m_tracks;
    wxArrayString m_watermarks;
    int m_parallel = 0;
    bool m_skipRendered = false;
    bool m_cancel = false;
    bool m_cancelled = false;
    bool m_complete = false;
    std::vector<TrackResult> m_results;
};

#endif
