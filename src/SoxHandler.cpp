// The audio engine's face: CSoxHandler measures files, renders a track with
// its watermark copies and joins outputs, through the units beside it.
#include "SoxHandler.h"

#include "Envelope.h"
#include "Placement.h"
#include "RenderCommand.h"
#include "SoxCommand.h"
#include "TagCopy.h"

#include <wx/filename.h>

#include <algorithm>
#include <cmath>
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
                                 long long& frames, double& peak, wxString& failure) {
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

wxString CSoxHandler::WatermarkCheckCommand(const wxString& path) {
    return SoundStatCommand(path);
}

wxString CSoxHandler::WatermarkCheckLine(const wxString& path, const SoxOutput& out) {
    wxString failure = RunFailure(out);
    long long samples = -1;
    double loudest = -1;
    if (failure.empty() && !ParseSoundStat(out.errors, samples, loudest))
        failure = "SoX did not report its loudest sample.";
    if (!failure.empty())
        return DisplayName(path) + ": " + failure;
    return loudest < kAudiblePeak ? DisplayName(path) + ": " + kSilent : wxString();
}

void CSoxHandler::AddMessage(const wxString& text) {
    m_errors.Add(DisplayName(m_inputFile) + ": " + text);
}

wxString CSoxHandler::GetOutputPath() const {
    return WatermarkOutputPath(m_inputFile, m_outputFile, m_prefix, m_suffix, m_fileFormat);
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
    m_written.partial.clear();
    m_written.plannedSeconds = -1;
    m_cutCopy = -1;
    m_copyLevels.clear();
    m_knownLength = -1;
    m_knownSeconds = -1;
    if (m_operation == SOX_TRACK_LENGTH) {
        if (m_inputFile.empty())
            return false;
        // A header read ahead that states the length: nothing to run.
        Header header;
        if (m_facts->CachedHeader(m_inputFile, header) &&
            m_facts->KnownLength(m_inputFile, header, m_knownLength, m_knownSeconds)) {
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
    m_written.Abandon();
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
        m_written.Abandon();
        return false;
    }
    wxString failure = RunFailure(out);
    wxString tagNote;
    if (failure.empty() && !m_written.partial.empty())
        failure = m_written.Finish(*m_facts, m_copyTags ? m_inputFile : wxString(), TagScope::Track,
                                   tagNote);
    if (!failure.empty()) {
        failure = m_written.Failure(failure);
        m_written.Abandon();
        AddMessage(failure);
        return false;
    }
    m_written.partial.clear();
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

bool CSoxHandler::BuildWatermarkCommand(wxString& command) {
    Header track;
    int length = -1;
    if (!PrepareTrack(track, length))
        return false;

    const int written = m_firstSeconds > 0 ? std::min(length, m_firstSeconds) : length;
    // Placed on the whole length, so that the first seconds written have
    // the copies the whole render has there.
    const std::vector<int> regular = WatermarkPositions(length, m_startTime, m_waterMarkInterval);
    // Only the files that some copy plays are read.
    std::vector<BedSound> sounds;
    std::vector<double> peaks;
    for (size_t i = 0; i < m_waterMarks.size() && i < regular.size(); ++i) {
        BedSound sound{m_waterMarks[i], wxString(), 0};
        double peak = 0;
        wxString failure;
        if (!WatermarkSound(sound.path, track, sound.effects, sound.frames, peak, failure)) {
            AddMessage(failure);
            return false;
        }
        sounds.push_back(sound);
        peaks.push_back(peak);
    }
    MixInputs mix;
    // Only the first seconds: the track's own run stops there, and the beds
    // end with their last copy, so no input is cut off while it writes.
    mix.trackEffects = ClipEffects(m_clipLength, m_clipFrom, m_clipFade);
    if (m_firstSeconds > 0)
        mix.trackEffects +=
            wxString::Format("%strim 0 %d", mix.trackEffects.empty() ? "" : " ", m_firstSeconds);
    std::shared_ptr<const LoudnessProfile> music;
    double musicOffset = 0;
    if (!regular.empty() && !MusicUnder(mix.trackEffects, music, musicOffset))
        return false;
    VaryRequest vary;
    vary.vary = m_vary;
    vary.seed = m_seed;
    for (size_t k = 0; k < regular.size(); ++k)
        vary.soundSeconds.push_back(
            static_cast<double>(sounds[WatermarkOfCopy(k, sounds.size())].frames) / track.rate);
    vary.music = music.get();
    vary.musicOffset = musicOffset;
    m_positions.clear();
    for (double at : VariedPositions(regular, length, vary)) {
        if (at <= written - 1)
            m_positions.push_back(at);
    }
    const size_t copies = m_positions.size();
    // A clip ends where it is cut: a copy that would pass its end is cut
    // and faded with it. A whole track lets its last copy ring out.
    const bool clipped = m_clipLength > 0 && m_clipFrom >= 0;
    const long long cutAt = clipped ? static_cast<long long>(m_clipLength) * track.rate : -1;
    const long long fade = static_cast<long long>(std::max(m_clipFade, 0)) * track.rate;
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
    m_written.plannedSeconds = m_trackSeconds < 0 ? -1 : planned;
    // A header's estimate may count bytes that are no audio (junk before
    // the first MP3 frame): the pipe inputs' own reports are the sharp check
    // then, and the length only a coarse one.
    m_written.plannedMargin = m_trackEstimated ? FrameSlack(track.rate, 4) + 0.02 * planned + 0.25
                                               : FrameSlack(track.rate, 2);
    if (!PlanCopyLevels(track, sounds, peaks, music.get(), musicOffset, mix))
        return false;
    std::vector<double> gains;
    for (const CopyLevel& level : m_copyLevels)
        gains.push_back(level.gain);
    // Copies all at the level asked are scaled as they enter the mix, as
    // they always were.
    const bool asAsked = std::all_of(gains.begin(), gains.end(), [this](double gain) {
        return std::fabs(gain - m_waterMarkLevel) < 0.005;
    });
    mix.bedGain = asAsked ? m_waterMarkLevel : 0;
    const bool moved = !std::equal(m_positions.begin(), m_positions.end(), regular.begin());
    if (copies > 0 && !moved) {
        mix.beds = WatermarkBeds(sounds, track.rate, m_startTime, m_waterMarkInterval, copies,
                                 cutAt, fade, asAsked ? nullptr : &gains);
    } else if (copies > 0) {
        std::vector<long long> starts;
        for (double at : m_positions)
            starts.push_back(std::llround(at * track.rate));
        mix.beds = PlacedBed(sounds, starts, cutAt, fade, asAsked ? nullptr : &gains);
    }
    m_written.Begin(m_resultOutput);
    m_written.recipient = m_recipient;
    mix.track = m_inputFile;
    mix.trackHeader = track;
    mix.decodeApart = m_decodeApart;
    mix.mono = m_mono;
    mix.format = m_format;
    mix.bitrate = m_bitrate;
    mix.output = m_written.partial;
    command = MixCommand(mix);
    return true;
}

std::vector<int> CSoxHandler::GetCopySounds() const {
    std::vector<int> played;
    const size_t files = std::max<size_t>(1, m_waterMarks.size());
    for (size_t k = 0; k < m_positions.size(); ++k)
        played.push_back(static_cast<int>(WatermarkOfCopy(k, files)));
    return played;
}

bool CSoxHandler::MusicUnder(const wxString& trackEffects,
                             std::shared_ptr<const LoudnessProfile>& music, double& offset) {
    wxString failure;
    // The music's peaks keep any level from clipping, so a render always
    // measures it. Varied places come from the whole track's music, so
    // that a preview of its first seconds places them as the render does.
    music = FileFacts::CachedLoudness(m_inputFile);
    offset = std::max(m_clipFrom, 0);
    if (!music && m_firstSeconds > 0 && m_vary <= 0) {
        // Only the first seconds are written, and soon: their music is
        // measured, not the whole track's.
        auto part = std::make_shared<LoudnessProfile>();
        if (AnalyseFile(m_inputFile, trackEffects, nullptr, *part, failure))
            music = part;
        offset = 0;
    }
    const bool optional =
        m_musicOptional && m_levelMode == LevelMode::AsRecorded && m_duck == 0 && m_vary <= 0;
    if (!music && !optional) {
        music = FileFacts::TrackLoudness(m_inputFile, failure);
        if (!music) {
            AddMessage(failure);
            return false;
        }
    }
    return true;
}

bool CSoxHandler::PlanCopyLevels(const Header& track, const std::vector<BedSound>& sounds,
                                 const std::vector<double>& peaks, const LoudnessProfile* music,
                                 double offset, MixInputs& mix) {
    m_copyLevels.clear();
    if (m_positions.empty())
        return true;
    wxString failure;
    const bool clipped = m_clipLength > 0 && m_clipFrom >= 0;
    std::vector<CopySound> copies;
    for (size_t k = 0; k < m_positions.size(); ++k) {
        const size_t n = WatermarkOfCopy(k, sounds.size());
        CopySound copy;
        copy.start = m_positions[k];
        copy.end = copy.start + static_cast<double>(sounds[n].frames) / track.rate;
        if (clipped)
            copy.end = std::min(copy.end, static_cast<double>(m_clipLength));
        copy.peak = peaks[n];
        if (m_levelMode != LevelMode::AsRecorded &&
            !m_facts->SoundLoudness(sounds[n].path, sounds[n].effects, copy.loudness, failure)) {
            AddMessage(DisplayName(sounds[n].path) + ": " + failure);
            return false;
        }
        copies.push_back(copy);
    }
    LevelRequest request;
    request.mode = m_levelMode;
    request.level = m_waterMarkLevel;
    request.duck = m_duck;
    request.music = music;
    request.musicOffset = offset;
    m_copyLevels = PlanLevels(request, copies);
    const double written = clipped ? m_clipLength : m_trackSeconds;
    const double limit = m_firstSeconds > 0 ? std::min<double>(m_firstSeconds, written) : written;
    mix.dipChains = DipChains(
        DipWindows(copies, m_copyLevels, track.rate,
                   limit < 0 ? -1 : static_cast<long long>(std::llround(limit * track.rate))),
        track.rate);
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
    m_written.partial.clear();
    m_written.plannedSeconds = -1;
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
    wxString headers;
    if (BeginReadHeaders(files, headers))
        EndReadHeaders(SoxQueue::RunNow(headers));
    std::vector<JoinPart> parts;
    // The join lasts as long as its files together.
    double planned = 0;
    int estimated = 0;
    for (const wxString& file : files) {
        JoinPart part;
        wxString failure;
        part.path = file;
        part.known = m_facts->ReadHeader(file, part.header, failure);
        const double seconds = part.known ? HeaderSeconds(part.header) : -1;
        planned = seconds < 0 || planned < 0 ? -1 : planned + seconds;
        estimated += part.header.frames < 0;
        parts.push_back(part);
    }
    m_written.plannedSeconds = planned;
    m_written.plannedMargin =
        FrameSlack(parts.empty() ? 0 : parts[0].header.rate, 2 + 2 * estimated);
    m_resultOutput = output;
    m_written.Begin(output);
    command = JoinCommand(parts, m_mono, m_bitrate, output, m_written.partial);
    return true;
}

int CSoxHandler::EndAppend(const SoxOutput& out) {
    wxString failure = out.cancelled ? wxString() : RunFailure(out);
    wxString tagNote;
    if (!out.cancelled && failure.empty())
        failure = m_written.Finish(*m_facts, m_albumTagsFrom, TagScope::Album, tagNote);
    const wxString name = DisplayName(m_resultOutput);
    if (!out.cancelled && failure.empty()) {
        m_written.partial.clear();
        if (!tagNote.empty())
            m_errors.Add(name + ": " + tagNote);
        return 0;
    }
    if (!out.cancelled)
        m_errors.Add(name + ": " + m_written.Failure(failure));
    m_written.Abandon();
    return -1;
}
