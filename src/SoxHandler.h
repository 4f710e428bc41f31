// The audio engine's face: CSoxHandler, which measures files, renders a track
// with its watermark copies and joins outputs, and the jobs built on it.
#ifndef SOXHANDLER_H
#define SOXHANDLER_H

#include "AudioHeader.h"
#include "FileFacts.h"
#include "Formats.h"
#include "LevelPlan.h"
#include "OutputFiles.h"
#include "Recipients.h"
#include "RenderCommand.h"
#include "SoxCommand.h"
#include "SoxRunner.h"
#include "TrackResult.h"
#include "WrittenFile.h"

#include <wx/arrstr.h>
#include <wx/string.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

// What CSoxHandler::Run does.
enum SOX_FLAGS { SOX_TRACK_LENGTH = 1, SOX_ADD_WATERMARK = 2 };

// The audio engine: builds SoX command lines, runs SoX in the resource folder
// and reads back what it prints.
class CSoxHandler {
public:
    CSoxHandler();
    ~CSoxHandler();

    void SetOperation(SOX_FLAGS operation) { m_operation = operation; }
    void SetInputFile(const wxString& path) { m_inputFile = path; }
    // The folder the rendered file goes to, not a file.
    void SetOutputFile(const wxString& folder) { m_outputFile = folder; }
    void SetWaterMarks(const wxArrayString& paths) { m_waterMarks = paths; }
    void SetStartTime(int seconds) { m_startTime = seconds; }
    void SetWaterMarkInterval(int seconds) { m_waterMarkInterval = seconds; }
    // Gain in dB of every watermark copy, never of the track; 0 leaves them
    // as recorded and the command as it was without a level.
    // In the modes against the music, the level is in LU against its loudness.
    void SetWaterMarkLevel(int dB) { m_waterMarkLevel = dB; }
    void SetLevelMode(LevelMode mode) { m_levelMode = mode; }
    // dB the music dips under every copy (0: none).
    void SetDuck(int dB) { m_duck = dB; }
    // Seconds each copy may move from its regular place (0: none), and the
    // seed mixed with the music's hash to move them (VariedPositions).
    void SetVary(int seconds) { m_vary = seconds; }
    void SetSeed(uint32_t seed) { m_seed = seed; }
    // Whose copy the render is: said in its tags (an empty name: nobody's).
    void SetRecipient(const Recipient& recipient) { m_recipient = recipient; }
    // The output format by its name ("MP3", "wav"...), which becomes the
    // extension in lower case.
    void SetFileFormat(wxString format);
    void SetFormat(OutputFormat format);
    void SetBitrate(int kbits) { m_bitrate = kbits; }
    void SetMono(bool mono) { m_mono = mono; }
    // For MP3 output: decode the track in a SoX process of its own, piped
    // into the one that mixes and encodes, so that the two overlap on two
    // cores. Only worth it when a core would otherwise be idle; the file is
    // the same either way. Other formats take their sample size from the
    // track, which a pipe would hide, and cost little to write.
    void SetDecodeApart(bool apart) { m_decodeApart = apart; }
    void SetPrefix(wxString prefix) { m_prefix = prefix; }
    // A render carries its track's tags and pictures into its output, before
    // the output takes its name.
    void SetCopyTags(bool copy) { m_copyTags = copy; }
    // A join carries this track's album tags and pictures into the joined
    // file (empty: none).
    void SetAlbumTagsFrom(const wxString& track) { m_albumTagsFrom = track; }
    void SetSuffix(wxString suffix) { m_suffix = suffix; }
    // Writes only the first seconds of what the render would write (0: all
    // of it), soon: the track's length may be taken from its header's
    // estimate instead of decoding it, which moves a copy at most a second.
    void SetFirstSeconds(int seconds) { m_firstSeconds = seconds; }
    // For a plan that runs nothing: copies at a level as recorded, without a
    // dip, are planned without measuring the music when it is not known
    // (where the music would make room against clipping is then not shown).
    void SetMusicOptional(bool optional) { m_musicOptional = optional; }
    // A preview clip instead of the whole track: seconds long (0: the whole
    // track), from start seconds into it, faded in and out over fade
    // seconds. Watermarks are placed from the clip's start. A track shorter
    // than the clip is written whole, faded; one whose end comes before the
    // clip's does starts the clip earlier, so that it keeps its length. Its
    // line says either.
    void SetClip(int seconds, int start, int fade) {
        m_clipLength = seconds;
        m_clipStart = start;
        m_clipFade = fade;
    }

    // The measured length as "mm:ss" (minutes not capped at two digits).
    wxString& GetResult() { return m_result; }
    // The measured length in whole seconds, fraction dropped.
    int& GetResultLong() { return m_resultLong; }
    // The measured length with its fraction: as decoded, or as the header
    // states it where that decided the whole seconds.
    double GetResultSeconds() const { return m_resultSeconds; }
    wxString GetResultOutput() const { return m_resultOutput; }
    // Where watermarking the input file writes: the output folder, prefix +
    // name + suffix, the format as extension.
    wxString GetOutputPath() const;
    // After BeginRun of a render: the seconds its watermark copies start at,
    // counted from the start of what is written (the clip's, when clipping).
    const std::vector<double>& GetPositions() const { return m_positions; }
    // After BeginRun of a render: the watermark (an index into the list set)
    // each copy plays.
    std::vector<int> GetCopySounds() const;
    // After BeginRun of a render: the whole seconds it places watermarks on
    // (the clip's when clipping), whatever SetFirstSeconds cuts.
    int GetPlacedLength() const { return m_placedLength; }
    // After BeginRun of a render: the second of the track its clip starts
    // at, or -1 when the whole track is written.
    int GetClipFrom() const { return m_clipFrom; }
    // After BeginRun of a render: the position of the copy that the clip's
    // end cuts short, or -1 when none is.
    double GetCutCopy() const { return m_cutCopy; }
    // After BeginRun of a render: each copy's gain and the music's under it.
    const std::vector<CopyLevel>& GetCopyLevels() const { return m_copyLevels; }
    // The message lines of the last run ("<name>: <what happened>"), not only errors.
    wxArrayString& GetErrors() { return m_errors; }
    // How the last render begun or ended, with the same lines: NotProcessed
    // after a BeginRun that refused, then what EndRun found.
    const TrackResult& GetTrackResult() const { return m_trackResult; }

    // Performs the selected operation: BeginRun, the command, EndRun. True
    // when SoX ran without failing and (when measuring) its output held the
    // length. Leaves at most one message line in GetErrors(), except for a
    // render that SoX clipped: its success line is followed by
    // "<name>: N samples clipped: lower the watermark level."
    // Watermarking renders m_inputFile with its watermark copies into
    // GetResultOutput(). It returns false without a line when an input is
    // missing or the interval is not positive; with a line when the track
    // cannot be measured, is shorter than the start, or the output would
    // replace the track or a watermark. A track that ends before its first
    // copy is written without one and its line says so. Watermarks whose
    // sample rate or channel count differ from the track's are converted to it.
    bool Run();

    // Prepares the selected operation: false when nothing should run
    // (GetErrors() then holds the line, if any). On true, command is the SoX
    // command line to run in the resource folder (g_resourceFolder), as text
    // for wxExecute's own argument splitting (not for a shell); hand what it
    // printed to EndRun. One begun run per object at a time. Measuring a
    // file whose header was read ahead and states its length needs no run:
    // command is then empty, and EndRun takes an output of status 0.
    // Watermarking reads headers and measures the track with SoX here (short
    // runs waited for; an MP3 track is decoded once to be measured). Its
    // command mixes the track with one pipe input per bed of watermark
    // copies: one bed unless a watermark outlasts the interval, whatever the
    // track's length.
    bool BeginRun(wxString& command);
    // Reads what that command printed and sets results and the message line
    // as Run does; true on success. A FAIL line, or a pipe input that ended
    // abnormally, counts as failure whatever the exit status. A render
    // writes under a hidden name beside its output; here it is read back
    // (it must be as long as planned), given its tags and the output mark,
    // and only then renamed to the output, so the output's name only ever
    // holds a finished file; on failure or cancel the partial file is
    // removed and an earlier output stays as it was. A cancelled run leaves
    // no line.
    bool EndRun(const SoxOutput& out);
    // For a begun run whose end will never be told (its queue went with its
    // process): removes the file it was writing, as a cancelled end would.
    void AbandonRun();

    // Length of the file in whole seconds (fraction dropped), or -1 when SoX
    // cannot measure it. Read from the header where that is exact (WAV,
    // AIFF), otherwise by decoding the file.
    int GetTrackLength(const wxString& path);

    // Joins the files one after another into output, converting each to the
    // first one's sample rate and channel count; mono and the bitrate are the
    // ones set on this object (SetMono, SetBitrate). BeginAppend, the
    // command, EndAppend. 0 on success, -1 otherwise; on failure GetErrors()
    // holds one line: output's name, ": ", the reason.
    int AppendFiles(const wxArrayString& files, const wxString& output);
    // Prepares the join: false with the line when it must not run (output
    // would replace one of the files, or a file this program did not
    // write); on true, command is to run in the
    // resource folder as BeginRun's. Reads each file's header with SoX.
    bool BeginAppend(const wxArrayString& files, const wxString& output, wxString& command);
    // Reads what the join printed: 0, or -1 with the line and a partial
    // output removed, as AppendFiles; a cancelled join leaves no line. The
    // join, like a render, is written under a hidden name, checked, tagged
    // and renamed; a tag problem leaves a line on success too.
    int EndAppend(const SoxOutput& out);

    // Reads the headers of paths with one SoX run (BeginReadHeaders, the
    // command, EndReadHeaders), so that measuring or rendering one of them
    // later needs no run of its own for it. What is learnt is shared with
    // copies of this object; a file changed since is read again. Begin is
    // false when every header is known already.
    bool BeginReadHeaders(const wxArrayString& paths, wxString& command);
    void EndReadHeaders(const SoxOutput& out);

    // Why path cannot be a watermark although SoX reads it (it is silent or
    // nearly so), as "<name>: <reason>"; empty when it can. A render refuses
    // such a watermark too. Runs SoX once per
    // file, shared with copies of this object.
    wxString WatermarkProblem(const wxString& path);
    // The same check as a command for a queue and the line from what it
    // printed; nothing is kept.
    static wxString WatermarkCheckCommand(const wxString& path);
    static wxString WatermarkCheckLine(const wxString& path, const SoxOutput& out);

    // Every command text goes through here before it runs; tests hook it to
    // see the commands. Empty by default. The runner's own hook.
    static std::function<void(const wxString&)>& s_commandObserver;

private:
    using Header = AudioHeader;

    // BeginRun and EndRun but for the result they leave.
    bool Begin(wxString& command);
    bool Conclude(const SoxOutput& out);
    // A watermark as the bed plays it on a track of signal track: the
    // effects that convert it and its length in frames once converted. Cached.
    bool WatermarkSound(const wxString& path, const Header& track, wxString& effects,
                        long long& frames, double& peak, wxString& failure);
    // Each copy's level and the dips under them, into mix: false with the
    // line when the music cannot be measured.
    bool PlanCopyLevels(const Header& track, const std::vector<BedSound>& sounds,
                        const std::vector<double>& peaks, const LoudnessProfile* music,
                        double musicOffset, MixInputs& mix);
    // The music the copies are planned against, from which of its seconds
    // on: false with the line when it is needed and cannot be measured. Null
    // (true) when a plan may go without it.
    bool MusicUnder(const wxString& trackEffects, std::shared_ptr<const LoudnessProfile>& music,
                    double& offset);

    // The mixing command for operation 2, or false (with a line when the
    // track cannot be rendered).
    bool BuildWatermarkCommand(wxString& command);
    // Measures the track and decides where it goes: false with the line
    // (if any) when it must not be rendered.
    bool PrepareTrack(Header& track, int& length);
    // The output would replace the track or a watermark: the line saying so, or empty.
    wxString OutputReplacesInput() const;
    // Where the clip of a track of length whole seconds starts, and its line
    // when it is not the one asked for; the length the watermarks are placed on.
    int PlaceClip(int length);
    void AddMessage(const wxString& text);

    wxString m_outputFile; // the output folder
    wxString m_inputFile;
    SOX_FLAGS m_operation;
    wxString m_result;
    int m_resultLong;
    wxArrayString m_waterMarks;
    wxArrayString m_errors; // message lines, successes included
    TrackResult m_trackResult;
    int m_startTime;
    int m_waterMarkInterval;
    int m_waterMarkLevel = 0;
    LevelMode m_levelMode = LevelMode::AsRecorded;
    int m_duck = 0;
    int m_vary = 0;
    uint32_t m_seed = 0;
    Recipient m_recipient;
    std::vector<CopyLevel> m_copyLevels;
    int m_bitrate;
    bool m_mono;
    bool m_decodeApart = false;
    bool m_copyTags = false;
    wxString m_albumTagsFrom;
    wxString m_fileFormat;
    OutputFormat m_format = OutputFormat::Mp3; // what m_fileFormat names
    wxString m_prefix;
    wxString m_suffix;
    wxString m_resultOutput;
    int m_clipLength = 0;
    int m_clipStart = 0;
    int m_clipFade = 0;
    int m_firstSeconds = 0;
    bool m_musicOptional = false;
    int m_placedLength = -1;

    // Between BeginRun/BeginAppend and their End: copies in the render,
    // and the file the run writes.
    size_t m_copies = 0;
    WrittenFile m_written;
    int m_knownLength = -1;    // measuring: the length the header stated, or -1
    FileStamp m_measuredStamp; // measuring: the file as it stood
    int m_clipFrom = -1;       // second the clip starts at, -1 for the whole track
    wxString m_clipNote;       // why the clip is not the one asked for, or empty
    std::vector<double> m_positions;
    double m_cutCopy = -1;
    // The track's length with its fraction, and whether its header only
    // estimated it.
    double m_trackSeconds = -1;
    bool m_trackEstimated = true;
    // Measuring: the seconds the header stated, or -1; what was measured.
    double m_knownSeconds = -1;
    double m_resultSeconds = 0;
    // Between BeginReadHeaders and its End: the files asked for, as they stood.
    FileFacts::Pending m_pendingHeaders;

    // What SoX told of files, shared by copies of the object.
    std::shared_ptr<FileFacts> m_facts = std::make_shared<FileFacts>();
};

#endif
