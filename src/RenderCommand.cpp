// The command texts of a render and of a join.
#include "RenderCommand.h"

#include "FfmpegCommand.h"
#include "SoxCommand.h"

#include <wx/filename.h>

#include <algorithm>
#include <cmath>

wxString ClipEffects(int clipLength, int clipFrom, int fade) {
    if (clipLength <= 0)
        return wxString();
    fade = std::max(fade, 0);
    if (clipFrom < 0) {
        // The whole track: a fade-out from its end as SoX counts it in the
        // header would pad or cut an MP3 by a frame or two. Reversing it (no
        // longer than a clip) fades out at its true end.
        return fade == 0 ? wxString()
                         : wxString::Format("fade t %d reverse fade t %d reverse", fade, fade);
    }
    wxString effects = wxString::Format("trim %d %d", clipFrom, clipLength);
    if (fade > 0)
        effects += wxString::Format(" fade t %d %d %d", fade, clipLength, fade);
    return effects;
}

namespace {

// A chain that takes frames of the sound, ramping its gain from 1 to floor
// (down) or back (up) along half a cosine: synth's amplitude modulation by a
// sine of half a period over the ramp, offset so that it swings from 1 to floor.
wxString RampChain(long long frames, long rate, double floor, bool down) {
    const double hertz = static_cast<double>(rate) / (2.0 * frames);
    return "trim 0 " + Samples(frames) + " synth " + Samples(frames) + " sine amod " +
           wxString::FromCDouble(hertz, 6) + " " + wxString::FromCDouble(floor * 100, 4) +
           (down ? " 25" : " 75");
}

} // namespace

wxString DipChains(const std::vector<DipWindow>& windows, long rate) {
    const long long ramp = std::llround(kDipRampSeconds * rate);
    wxArrayString chains;
    long long at = 0; // frames taken by the chains so far
    for (const DipWindow& window : windows) {
        const double floor = std::pow(10.0, window.gain / 20);
        const long long down = std::min(ramp, window.from - at);
        if (window.from - down > at)
            chains.Add("trim 0 " + Samples(window.from - down - at));
        if (down > 0)
            chains.Add(RampChain(down, rate, floor, true));
        chains.Add("trim 0 " + Samples(window.to - window.from) + " vol " +
                   VolumeFactor(window.gain));
        chains.Add(RampChain(ramp, rate, floor, false));
        at = window.to + ramp;
    }
    if (chains.empty())
        return wxString();
    chains.Add("trim 0"); // the rest as it is
    wxString text = chains[0];
    for (size_t i = 1; i < chains.size(); ++i)
        text += " : " + chains[i];
    return text;
}

namespace {

// command (SoX's, up to its output) writing output as format: SoX's own
// options for what SoX writes, else through ffmpeg.
wxString WithOutput(wxString command, OutputFormat format, int bitrate, const AudioHeader& source,
                    bool piped, const wxString& output) {
    if (!EncodedByFfmpeg(format))
        return command + CompressionOptions(format, bitrate) +
               SampleSizeOption(format, source.bits, piped) + kNoComment + QuoteSoxPath(output);
    // Opus is decoded at 48 kHz whatever it was made from: SoX resamples.
    if (format == OutputFormat::Opus && source.rate != 48000)
        command += " -r 48000 ";
    return EncodeCommand(command + kNoComment, format, bitrate, output);
}

} // namespace

wxString MixCommand(const MixInputs& mix) {
    // -R: the same inputs give the same file, dither included.
    wxString command = "./sox -R";
    // -m with a single input is a usage error; a track without copies is a
    // plain conversion.
    command += mix.beds.empty() ? " -v 1 " : " -v 1 -m ";
    // The clip is cut and faded on the track's input alone, in a pipe, so
    // that the watermarks keep their level; -V1 as for the beds: its
    // warnings would share the mix's error stream.
    const bool apart = !mix.trackEffects.empty() || !mix.dipChains.empty() ||
                       (mix.decodeApart && mix.format == OutputFormat::Mp3);
    const bool piped = apart || DecodedByFfmpeg(mix.track);
    if (apart) {
        wxString track =
            GuardedInput("./sox -V1 " + QuoteSoxInput(mix.track, true, mix.trackHeader.frames) +
                             " -p" + (mix.trackEffects.empty() ? "" : " " + mix.trackEffects),
                         "track");
        // The dips in a run of their own: chains follow one another over the
        // input, so they cannot follow the clip's cut in one run.
        if (!mix.dipChains.empty())
            track =
                "{ " + track + "; } | " + GuardedInput("./sox -V1 -p -p " + mix.dipChains, "track");
        command += "\"| " + track + "\" ";
    } else
        command += QuoteSoxInput(mix.track, false, mix.trackHeader.frames) + " ";
    // The level scales each bed as it enters the mix; the track keeps -v 1.
    const wxString bedVolume =
        std::fabs(mix.bedGain) < 0.005 ? wxString() : "-v " + VolumeFactor(mix.bedGain) + " ";
    for (const wxString& bed : mix.beds)
        command += bedVolume + bed + " ";
    if (mix.mono)
        command += " -c 1 ";
    else if (mix.format == OutputFormat::Mp3 && mix.trackHeader.channels > 2)
        command += " -c 2 "; // MP3 holds at most two channels
    return WithOutput(command, mix.format, mix.bitrate, mix.trackHeader, piped, mix.output);
}

wxString JoinCommand(const std::vector<JoinPart>& parts, bool mono, int bitrate,
                     const wxString& finalName, const wxString& output) {
    // SoX joins only files of one sample rate and channel count: the others
    // come in through a pipe input that converts them to the first one's.
    const AudioHeader first = parts.empty() ? AudioHeader() : parts[0].header;
    wxString command = "./sox -R ";
    for (size_t i = 0; i < parts.size(); ++i) {
        const AudioHeader& header = parts[i].header;
        wxString options;
        if (i > 0 && parts[i].known) {
            if (header.rate > 0 && first.rate > 0 && header.rate != first.rate)
                options += wxString::Format("-r %ld ", first.rate);
            if (header.channels > 0 && first.channels > 0 && header.channels != first.channels)
                options += wxString::Format("-c %ld ", first.channels);
        }
        if (options.empty())
            command += QuoteSoxInput(parts[i].path) + " ";
        else
            command +=
                "\"| " +
                GuardedInput("./sox " + QuoteSoxInput(parts[i].path, true) + " " + options + "-p",
                             "join") +
                "\" ";
    }
    if (mono)
        command += " -c 1 ";
    // The joined file's format follows its name; a name of no known format
    // gets SoX's own choice and no options.
    OutputFormat format;
    if (!FormatNamed(wxFileName(finalName).GetExt(), format))
        return command + kNoComment + QuoteSoxPath(output);
    if (!mono && format == OutputFormat::Mp3 && first.channels > 2)
        command += " -c 2 "; // MP3 holds at most two channels
    return WithOutput(command, format, bitrate, first, false, output);
}
