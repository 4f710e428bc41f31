// The audio engine's face: CSoxHandler measures files, renders a track with
// its watermark copies and joins outputs, through the units beside it.
#include "SoxHandler.h"

#include "Placement.h"
#include "SoxCommand.h"
#include "TagCopy.h"

#include <wx/filename.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

std::function<void(const wxString&)>& CSoxHandler::s_commandObserver = SoxQueue::s_commandObserver;

namespace {

// A watermark whose loudest sample is below -60 dBFS cannot be heard over music.
const double kAudiblePeak = 0.001;

const wxString kSilent = "silent or nearly silent (its loudest sample is below -60 dBFS): "
                         "choose a watermark sound that can be heard.";

} // namespace

CSoxHandler::CSoxHandler()
    : m_operation(static_cast<SOX_FLAGS>(0)), m_resultLong(0), m_startTime(0),
      m_waterMarkInterval(0), m_bitrate(0), m_mono(false) {
}

CSoxHandler::~CSoxHandler() = default;

void CSoxHandler::SetFileFormat(wxString format) {
    m_fileFormat = format;
    FormatNamed(format, m_format);
}

void CSoxHandler::SetFormat(OutputFormat format) {
    m_format = format;
    m_fileFormat = FormatExtension(format);
}

bool CSoxHandler::BeginReadHeaders(const wxArrayString& paths, wxString& command) {
    m_errors.Clear();
    return m_facts->BeginReadHeaders(paths, m_pendingHeaders, command);
}

void CSoxHandler::EndReadHeaders(const SoxOutput& out) {
    m_facts->EndReadHeaders(m_pendingHeaders, out);
}

bool CSoxHandler::WatermarkSound(const wxString& path, const Header& track, wxString& effects,
                                 long long& frames, wxString& failure) {
    Header sound;
    if (!m_facts->ReadHeader(path, sound, failure)) {
        failure = wxFileName(path).GetFullName() + ": " + failure;
        return false;
    }
    // SoX mixes only inputs of one sample rate, and a mono copy in a stereo
    // mix would sound on one side. Channels are reduced before resampling
    // and added after it, as SoX's own conversion does.
    wxString rateEffect, channelsEffect;
    if (sound.rate > 0 && track.rate > 0 && sound.rate != track.rate)
        rateEffect = wxString::Format("rate %ld", track.rate);
    if (sound.channels > 0 && track.channels > 0 && sound.channels != track.channels)
        channelsEffect = wxString::Format("channels %ld", track.channels);
    effects = sound.channels > track.channels ? channelsEffect + " " + rateEffect
                                              : rateEffect + " " + channelsEffect;
    effects.Trim(true).Trim(false);

    double peak = 0;
    long long samples = 0;
    if (!m_facts->SoundPeak(path, effects, samples, peak, failure)) {
        failure = DisplayName(path) + ": " + failure;
        return false;
    }
    if (peak < kAudiblePeak) {
        failure = "Not processed: the watermark file " + DisplayName(path) + " is " + kSilent;
        return false;
    }
    frames = samples / track.channels;
    return true;
}

wxString CSoxHandler::WatermarkProblem(const wxString& path) {
    double peak = 0;
    long long samples = 0;
    wxString failure;
    if (!m_facts->SoundPeak(path, wxString(), samples, peak, failure))
        return DisplayName(path) + ": " + failure;
    return peak < kAudiblePeak ? DisplayName(path) + ": " + kSilent : wxString();
}

namespace {

// Seconds of the MP3 frames an encoder may add as delay and padding: what a
// written file may differ from its plan by.
double FrameSlack(long rate, int frames) {
    return rate > 0 ? frames * 1152.0 / rate : 0.1 * frames;
}

} // namespace

void CSoxHandler::AddMessage(const wxString& text) {
    m_errors.Add(DisplayName(m_inputFile) + ": " + text);
}

wxString CSoxHandler::GetOutputPath() const {
    return WatermarkOutputPath(m_inputFile, m_outputFile, m_prefix, m_suffix, m_fileFormat);
}

void CSoxHandler::RemoveIfWritten(const wxString& path, const FileStamp& before) {
    const FileStamp now = StampOf(path);
    if (now.exists && now != before)
        wxRemoveFile(path);
}

int CSoxHandler::GetTrackLength(const wxString& path) {
    Header header;
    int seconds = -1;
    wxString failure;
    if (!m_facts->Measure(path, header, seconds, failure))
        return -1;
    m_resultLong = seconds;
    return seconds;
}

bool CSoxHandler::Run() {
    wxString command;
    if (!BeginRun(command))
        return false;
    SoxOutput nothingRan;
    nothingRan.status = 0;
    return EndRun(command.empty() ? nothingRan : SoxQueue::RunNow(command));
}

bool CSoxHandler::BeginRun(wxString& command) {
    const bool begun = Begin(command);
    m_trackResult = TrackResult();
    m_trackResult.lines = m_errors;
    return begun;
}

bool CSoxHandler::Begin(wxString& command) {
    m_errors.Clear();
    m_copies = 0;
    m_positions.clear();
    m_placedLength = -1;
    m_clipFrom = -1;
    m_clipNote.clear();
    m_writing.clear();
    m_plannedSeconds = -1;
    m_cutCopy = -1;
    m_knownLength = -1;
    m_knownSeconds = -1;
    if (m_operation == SOX_TRACK_LENGTH) {
        if (m_inputFile.empty())
            return false;
        // A header read ahead that states the length: nothing to run.
        Header header;
        if (m_facts->CachedHeader(m_inputFile, header) && LengthFromHeader(header, m_knownLength)) {
            m_knownSeconds = HeaderSeconds(header);
            command.clear();
            return true;
        }
        m_knownLength = -1;
        m_measuredStamp = StampOf(m_inputFile);
        command = MeasureCommand(m_inputFile);
        return true;
    }
    if (m_operation == SOX_ADD_WATERMARK)
        return BuildWatermarkCommand(command);
    return false;
}

void CSoxHandler::AbandonRun() {
    if (!m_writing.empty())
        RemoveIfWritten(m_writing, m_writingBefore);
    m_writing.clear();
}

wxString CSoxHandler::FinishOutput(const wxString& tagsFrom, bool album, wxString& note) {
    note.clear();
    // Read back without decoding: a process that died, a full disk or a
    // writer that gave up show as a file shorter than planned.
    const double written = AudioSeconds(m_writing);
    if (written < 0)
        return "the written file cannot be read back as audio.";
    if (m_plannedSeconds >= 0 && std::fabs(written - m_plannedSeconds) > m_plannedMargin)
        return wxString::Format("the written file lasts %s s instead of %s s.",
                                wxString::FromCDouble(written, 2),
                                wxString::FromCDouble(m_plannedSeconds, 2));
    if (!tagsFrom.empty()) {
        bool tagged = false;
        note = CopyTags(tagsFrom, m_writing, album ? TagScope::Album : TagScope::Track, &tagged);
        // A tag that did not fit may have cut the file short while TagLib
        // still says it saved: SoX, which reads what users play it with,
        // must still take the file for what it was.
        Header header;
        wxString unreadable;
        if (tagged && (!m_facts->ReadHeader(m_writing, header, unreadable) ||
                       std::fabs(HeaderSeconds(header) - written) >
                           std::max(m_plannedMargin, FrameSlack(header.rate, 2)) ||
                       std::fabs(AudioSeconds(m_writing) - written) > 0.001))
            return "writing its tags damaged the file.";
    }
    if (!MarkAsOutput(m_writing))
        return "the written file could not be marked as this program's output: " +
               wxString(std::strerror(errno)) + ".";
    // Checked again at the last moment: the file may have come since the run began.
    if (StampOf(m_resultOutput).exists && !IsMarkedOutput(m_resultOutput))
        return "Not processed: " + ForeignOutputText(m_resultOutput);
    // One step, so that the output's name only ever shows a finished file.
    if (std::rename(m_writing.fn_str(), m_resultOutput.fn_str()) != 0)
        return "the finished file could not be given its name: " + wxString(std::strerror(errno)) +
               ".";
    return wxString();
}

wxString CSoxHandler::WritingFailure(wxString failure) const {
    if (m_writing.empty())
        return failure;
    if (IsDiskFull(wxFileName(m_writing).GetPath())) {
        if (IsUnexplainedWriteFailure(failure))
            failure = "the output file could not be written: the disk is full.";
        else if (!failure.Contains("No space left on device"))
            failure += " The disk is full.";
    }
    // SoX names the file it wrote; the user knows the output's name.
    failure.Replace(wxFileName(m_writing).GetFullName(), wxFileName(m_resultOutput).GetFullName());
    return failure;
}

bool CSoxHandler::EndRun(const SoxOutput& out) {
    const bool ended = Conclude(out);
    m_trackResult.lines = m_errors;
    return ended;
}

bool CSoxHandler::Conclude(const SoxOutput& out) {
    m_trackResult.outcome = TrackOutcome::Failed;
    if (out.cancelled) {
        m_trackResult.outcome = TrackOutcome::Cancelled;
        if (!m_writing.empty())
            RemoveIfWritten(m_writing, m_writingBefore);
        return false;
    }
    wxString failure = RunFailure(out);
    wxString tagNote;
    if (failure.empty() && !m_writing.empty())
        failure = FinishOutput(m_copyTags ? m_inputFile : wxString(), false, tagNote);
    if (!failure.empty()) {
        failure = WritingFailure(failure);
        if (!m_writing.empty())
            RemoveIfWritten(m_writing, m_writingBefore);
        AddMessage(failure);
        return false;
    }
    m_writing.clear();
    if (m_operation == SOX_TRACK_LENGTH) {
        const int seconds = m_knownLength >= 0 ? m_knownLength : ParseLength(out.errors);
        if (seconds < 0) {
            AddMessage("SoX did not report the length.");
            return false;
        }
        m_result = LengthText(seconds);
        m_resultLong = seconds;
        // A render of the same file later needs no decode to measure it.
        if (m_knownLength < 0)
            m_facts->RememberLength(m_inputFile, seconds, ParseSeconds(out.errors),
                                    m_measuredStamp);
        const double exact = m_knownLength >= 0 ? m_knownSeconds : ParseSeconds(out.errors);
        // Never below the whole seconds, which the length is built on.
        m_resultSeconds = exact >= seconds && exact < seconds + 1 ? exact : seconds;
    }
    m_trackResult.outcome = TrackOutcome::Done;
    if (m_operation == SOX_ADD_WATERMARK && m_copies == 0) {
        m_trackResult.outcome = TrackOutcome::DoneWithNotes;
        // Said plainly: the user might send this copy out as a protected one.
        AddMessage(wxString::Format(
            "written WITHOUT a watermark: the track ends before the first watermark at %d s.",
            m_startTime));
        if (!m_clipNote.empty())
            AddMessage(m_clipNote);
        if (!tagNote.empty())
            AddMessage(tagNote);
        return true;
    }
    m_errors.Add(OutcomeLine(DisplayName(m_inputFile), TrackOutcome::Done));
    if (m_operation == SOX_ADD_WATERMARK) {
        if (!m_clipNote.empty())
            AddMessage(m_clipNote);
        // SoX clips an overloaded mix, warns and still exits 0.
        const long long clipped = SoxClippedSamples(out.errors);
        if (clipped > 0)
            AddMessage(
                wxString::Format("%lld samples clipped: lower the watermark level.", clipped));
        if (!tagNote.empty())
            AddMessage(tagNote);
        if (m_errors.size() > 1)
            m_trackResult.outcome = TrackOutcome::DoneWithNotes;
    }
    return true;
}

bool CSoxHandler::PrepareTrack(Header& track, int& length) {
    if (m_inputFile.empty() || m_outputFile.empty() || m_waterMarks.empty())
        return false;
    if (m_waterMarkInterval <= 0 || m_startTime < 0)
        return false;
    wxString failure;
    m_trackSeconds = -1;
    m_trackEstimated = true;
    if (m_firstSeconds > 0 && m_facts->ReadHeader(m_inputFile, track, failure) &&
        !LengthFromHeader(track, length) && track.statedFrames >= 0 && track.rate > 0) {
        // Near a whole second the estimate may be one off: no decode for that.
        length = static_cast<int>(track.statedFrames / track.rate);
        m_trackSeconds = HeaderSeconds(track);
    } else if (!m_facts->Measure(m_inputFile, track, length, failure, &m_trackSeconds,
                                 &m_trackEstimated)) {
        AddMessage(failure);
        return false;
    }
    m_resultLong = length;
    if (track.rate <= 0 || track.channels <= 0) {
        AddMessage("SoX did not report the track's sample rate and channels.");
        return false;
    }
    length = PlaceClip(length);
    m_placedLength = length;
    if (length < m_startTime) {
        AddMessage(
            wxString::Format("Not processed: the %s ends before the first watermark at %d s.",
                             m_clipLength > 0 ? "clip" : "track", m_startTime));
        return false;
    }
    m_fileFormat.MakeLower();
    m_resultOutput = GetOutputPath();
    const wxString replaced = OutputReplacesInput();
    if (!replaced.empty()) {
        AddMessage(replaced);
        return false;
    }
    if (StampOf(m_resultOutput).exists && !IsMarkedOutput(m_resultOutput)) {
        AddMessage("Not processed: " + ForeignOutputText(m_resultOutput));
        return false;
    }
    return true;
}

wxString CSoxHandler::OutputReplacesInput() const {
    // SoX truncates its output before reading the inputs: writing over one of
    // them would destroy it.
    if (IsSameFile(m_resultOutput, m_inputFile))
        return "Not processed: the output file would replace this track. Choose another "
               "output folder, a prefix or suffix, or another format.";
    for (const wxString& watermark : m_waterMarks) {
        if (IsSameFile(m_resultOutput, watermark))
            return "Not processed: the output file would replace the watermark file " +
                   wxFileName(watermark).GetFullName() + ".";
    }
    return wxString();
}

int CSoxHandler::PlaceClip(int length) {
    m_clipFrom = -1;
    m_clipNote.clear();
    if (m_clipLength <= 0)
        return length;
    m_clipFrom = ClipFrom(length, m_clipLength, m_clipStart);
    if (m_clipFrom < 0) {
        m_clipNote = wxString::Format(
            "shorter than the %d s clip: the whole track was written, faded in and out.",
            m_clipLength);
        return length;
    }
    if (m_clipFrom != m_clipStart)
        m_clipNote = wxString::Format("the %d s clip starts at %s instead of %s, so that it "
                                      "ends with the track.",
                                      m_clipLength, ClockText(m_clipFrom), ClockText(m_clipStart));
    return m_clipLength;
}

wxString CSoxHandler::ClipEffects() const {
    if (m_clipLength <= 0)
        return wxString();
    const int fade = std::max(m_clipFade, 0);
    if (m_clipFrom < 0) {
        // The whole track: a fade-out from its end as SoX counts it in the
        // header would pad or cut an MP3 by a frame or two. Reversing it (no
        // longer than a clip) fades out at its true end.
        return fade == 0 ? wxString()
                         : wxString::Format("fade t %d reverse fade t %d reverse", fade, fade);
    }
    wxString effects = wxString::Format("trim %d %d", m_clipFrom, m_clipLength);
    if (fade > 0)
        effects += wxString::Format(" fade t %d %d %d", fade, m_clipLength, fade);
    return effects;
}

wxString CSoxHandler::MixCommand(const Header& track, const wxArrayString& beds) const {
    wxString command = "./sox ";
    // -m with a single input is a usage error; a track without copies is a
    // plain conversion.
    command += beds.empty() ? " -v 1 " : " -v 1 -m ";
    // The clip is cut and faded on the track's input alone, in a pipe, so
    // that the watermarks keep their level; -V1 as for the beds: its
    // warnings would share the mix's error stream.
    // Only the first seconds: the track's own run stops there, and the beds
    // end with their last copy, so no input is cut off while it writes.
    wxString clip = ClipEffects();
    if (m_firstSeconds > 0)
        clip += wxString::Format("%strim 0 %d", clip.empty() ? "" : " ", m_firstSeconds);
    const bool piped = !clip.empty() || (m_decodeApart && m_format == OutputFormat::Mp3);
    if (piped)
        command += "\"| " +
                   GuardedInput("./sox -V1 " + QuoteSoxPath(m_inputFile, true) + " -p" +
                                    (clip.empty() ? "" : " " + clip),
                                "track") +
                   "\" ";
    else
        command += QuoteSoxPath(m_inputFile) + " ";
    // The level scales each bed as it enters the mix; the track keeps -v 1.
    const wxString bedVolume =
        m_waterMarkLevel == 0 ? wxString() : "-v " + VolumeFactor(m_waterMarkLevel) + " ";
    for (const wxString& bed : beds)
        command += bedVolume + bed + " ";
    if (m_mono)
        command += " -c 1 ";
    else if (m_format == OutputFormat::Mp3 && track.channels > 2)
        command += " -c 2 "; // MP3 holds at most two channels
    command += CompressionOptions(m_format, m_bitrate) +
               SampleSizeOption(m_format, track.bits, piped) + kNoComment;
    return command + QuoteSoxPath(m_writing);
}

bool CSoxHandler::BuildWatermarkCommand(wxString& command) {
    Header track;
    int length = -1;
    if (!PrepareTrack(track, length))
        return false;

    const int written = m_firstSeconds > 0 ? std::min(length, m_firstSeconds) : length;
    m_positions = WatermarkPositions(written, m_startTime, m_waterMarkInterval);
    const size_t copies = m_positions.size();
    // Only the files that some copy plays are read.
    std::vector<BedSound> sounds;
    for (size_t i = 0; i < m_waterMarks.size() && i < copies; ++i) {
        BedSound sound{m_waterMarks[i], wxString(), 0};
        wxString failure;
        if (!WatermarkSound(sound.path, track, sound.effects, sound.frames, failure)) {
            AddMessage(failure);
            return false;
        }
        sounds.push_back(sound);
    }
    // A clip ends where it is cut: a copy that would pass its end is cut
    // and faded with it. A whole track lets its last copy ring out.
    const bool clipped = m_clipLength > 0 && m_clipFrom >= 0;
    const long long cutAt = clipped ? static_cast<long long>(m_clipLength) * track.rate : -1;
    const long long fade = static_cast<long long>(std::max(m_clipFade, 0)) * track.rate;
    const wxArrayString beds = copies == 0
                                   ? wxArrayString()
                                   : WatermarkBeds(sounds, track.rate, m_startTime,
                                                   m_waterMarkInterval, copies, cutAt, fade);
    m_copies = copies;
    // What the file must last: the track's part that is written, or longer
    // where the last copy rings out past it.
    double planned = clipped ? m_clipLength : m_trackSeconds;
    if (m_firstSeconds > 0)
        planned = std::min(planned, static_cast<double>(m_firstSeconds));
    for (size_t k = 0; k < copies; ++k) {
        double end =
            m_positions[k] +
            static_cast<double>(sounds[WatermarkOfCopy(k, sounds.size())].frames) / track.rate;
        if (clipped && end > m_clipLength) {
            end = m_clipLength;
            m_cutCopy = m_positions[k];
        }
        planned = std::max(planned, end);
    }
    m_plannedSeconds = m_trackSeconds < 0 ? -1 : planned;
    // A header's estimate may count bytes that are no audio (junk before
    // the first MP3 frame): the pipe inputs' own reports are the sharp check
    // then, and the length only a coarse one.
    m_plannedMargin = m_trackEstimated ? FrameSlack(track.rate, 4) + 0.02 * planned + 0.25
                                       : FrameSlack(track.rate, 2);
    m_writing = PartialPath(m_resultOutput);
    m_writingBefore = StampOf(m_writing);
    command = MixCommand(track, beds);
    return true;
}

int CSoxHandler::AppendFiles(const wxArrayString& files, const wxString& output) {
    wxString command;
    if (!BeginAppend(files, output, command))
        return -1;
    return EndAppend(SoxQueue::RunNow(command));
}

bool CSoxHandler::BeginAppend(const wxArrayString& files, const wxString& output,
                              wxString& command) {
    m_errors.Clear();
    m_writing.clear();
    m_plannedSeconds = -1;
    const wxString name = DisplayName(output);
    for (const wxString& file : files) {
        if (IsSameFile(output, file)) {
            m_errors.Add(name + ": Not created: it would replace " + DisplayName(file) +
                         ", one of the files to join.");
            return false;
        }
    }
    if (StampOf(output).exists && !IsMarkedOutput(output)) {
        m_errors.Add(name + ": Not created: " + ForeignOutputText(output));
        return false;
    }
    // SoX joins only files of one sample rate and channel count: the others
    // come in through a pipe input that converts them to the first one's.
    wxString headers;
    if (BeginReadHeaders(files, headers))
        EndReadHeaders(SoxQueue::RunNow(headers));
    Header first;
    wxString failure;
    if (!files.empty())
        m_facts->ReadHeader(files[0], first, failure);
    command = "./sox ";
    // The join lasts as long as its files together.
    double planned = 0;
    int estimated = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        Header header;
        const bool known = m_facts->ReadHeader(files[i], header, failure);
        const double seconds = known ? HeaderSeconds(header) : -1;
        planned = seconds < 0 || planned < 0 ? -1 : planned + seconds;
        estimated += header.frames < 0;
        wxString options;
        if (i > 0 && known) {
            if (header.rate > 0 && first.rate > 0 && header.rate != first.rate)
                options += wxString::Format("-r %ld ", first.rate);
            if (header.channels > 0 && first.channels > 0 && header.channels != first.channels)
                options += wxString::Format("-c %ld ", first.channels);
        }
        if (options.empty())
            command += QuoteSoxPath(files[i]) + " ";
        else
            command += "\"| " +
                       GuardedInput("./sox " + QuoteSoxPath(files[i], true) + " " + options + "-p",
                                    "join") +
                       "\" ";
    }
    m_plannedSeconds = planned;
    m_plannedMargin = FrameSlack(first.rate, 2 + 2 * estimated);
    if (m_mono)
        command += " -c 1 ";
    // The joined file's format follows its name; a name of no known format
    // gets SoX's own choice and no options.
    OutputFormat format;
    if (FormatNamed(wxFileName(output).GetExt(), format)) {
        if (!m_mono && format == OutputFormat::Mp3 && first.channels > 2)
            command += " -c 2 "; // MP3 holds at most two channels
        command +=
            CompressionOptions(format, m_bitrate) + SampleSizeOption(format, first.bits, false);
    }
    command += kNoComment;
    m_resultOutput = output;
    m_writing = PartialPath(output);
    m_writingBefore = StampOf(m_writing);
    command += QuoteSoxPath(m_writing);
    return true;
}

int CSoxHandler::EndAppend(const SoxOutput& out) {
    wxString failure = out.cancelled ? wxString() : RunFailure(out);
    wxString tagNote;
    if (!out.cancelled && failure.empty())
        failure = FinishOutput(m_albumTagsFrom, true, tagNote);
    const wxString name = DisplayName(m_resultOutput);
    if (!out.cancelled && failure.empty()) {
        m_writing.clear();
        if (!tagNote.empty())
            m_errors.Add(name + ": " + tagNote);
        return 0;
    }
    if (!out.cancelled)
        m_errors.Add(name + ": " + WritingFailure(failure));
    RemoveIfWritten(m_writing, m_writingBefore);
    m_writing.clear();
    return -1;
}

// ---------------------------------------------------------------------------
// Background runs

SoxJob OperationJob(CSoxHandler& sox, bool* succeeded) {
    if (succeeded)
        *succeeded = false;
    SoxJob job;
    job.begin = [&sox](wxString& command) { return sox.BeginRun(command); };
    job.end = [&sox, succeeded](const SoxOutput& out) {
        const bool ok = sox.EndRun(out);
        if (succeeded)
            *succeeded = ok;
    };
    return job;
}

std::function<bool(size_t)> ReadHeadersAhead(const CSoxHandler& sox, const wxArrayString& paths,
                                             SoxQueue& queue) {
    // Enough files per run that the runs cost little beside the files' own
    // work, few enough that the first renders need not wait long.
    const size_t perRun = 50;
    const size_t runs = (paths.size() + perRun - 1) / perRun;
    auto readers = std::make_shared<std::vector<CSoxHandler>>(runs, sox);
    auto read = std::make_shared<std::vector<char>>(runs, 0);
    for (size_t run = 0; run < runs; ++run) {
        wxArrayString part;
        for (size_t i = run * perRun; i < paths.size() && i < (run + 1) * perRun; ++i)
            part.Add(paths[i]);
        SoxJob job;
        job.begin = [readers, read, run, part](wxString& command) {
            if ((*readers)[run].BeginReadHeaders(part, command))
                return true;
            (*read)[run] = 1;
            return false;
        };
        job.end = [readers, read, run](const SoxOutput& out) {
            (*readers)[run].EndReadHeaders(out);
            (*read)[run] = 1;
        };
        queue.Add(job);
    }
    return [read, perRun](size_t i) { return (*read)[i / perRun] != 0; };
}

std::vector<FileLength> MeasureLengths(const wxArrayString& paths, SoxQueue& queue) {
    CSoxHandler measure;
    measure.SetOperation(SOX_TRACK_LENGTH);
    const std::function<bool(size_t)> headerRead = ReadHeadersAhead(measure, paths, queue);
    // Copies share what the header runs learn.
    std::vector<CSoxHandler> measures(paths.size(), measure);
    std::unique_ptr<bool[]> measured(new bool[paths.size()]());
    std::vector<wxString> refused(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        refused[i] = UnreadableFileLine(paths[i]);
        if (!refused[i].empty())
            continue;
        measures[i].SetInputFile(paths[i]);
        SoxJob job = OperationJob(measures[i], &measured[i]);
        job.ready = [headerRead, i] { return headerRead(i); };
        queue.Add(job);
    }
    queue.Run();
    std::vector<FileLength> lengths(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        FileLength& length = lengths[i];
        CSoxHandler& sox = measures[i];
        length.measured = measured[i];
        if (length.measured) {
            length.seconds = sox.GetResultLong();
            length.exactSeconds = sox.GetResultSeconds();
            length.text = sox.GetResult();
        } else if (!refused[i].empty()) {
            length.line = refused[i];
        } else if (!queue.WasCancelled()) {
            length.line = sox.GetErrors().empty() ? wxFileName(paths[i]).GetFullName() +
                                                        ": SoX could not read its length."
                                                  : sox.GetErrors()[0];
        }
    }
    return lengths;
}
