// The command texts of a render and of a join.
#include "RenderCommand.h"

#include "SoxCommand.h"

#include <wx/filename.h>

#include <algorithm>

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

wxString MixCommand(const MixInputs& mix) {
    wxString command = "./sox ";
    // -m with a single input is a usage error; a track without copies is a
    // plain conversion.
    command += mix.beds.empty() ? " -v 1 " : " -v 1 -m ";
    // The clip is cut and faded on the track's input alone, in a pipe, so
    // that the watermarks keep their level; -V1 as for the beds: its
    // warnings would share the mix's error stream.
    const bool piped =
        !mix.trackEffects.empty() || (mix.decodeApart && mix.format == OutputFormat::Mp3);
    if (piped)
        command += "\"| " +
                   GuardedInput("./sox -V1 " + QuoteSoxPath(mix.track, true) + " -p" +
                                    (mix.trackEffects.empty() ? "" : " " + mix.trackEffects),
                                "track") +
                   "\" ";
    else
        command += QuoteSoxPath(mix.track) + " ";
    // The level scales each bed as it enters the mix; the track keeps -v 1.
    const wxString bedVolume =
        mix.bedLevel == 0 ? wxString() : "-v " + VolumeFactor(mix.bedLevel) + " ";
    for (const wxString& bed : mix.beds)
        command += bedVolume + bed + " ";
    if (mix.mono)
        command += " -c 1 ";
    else if (mix.format == OutputFormat::Mp3 && mix.trackHeader.channels > 2)
        command += " -c 2 "; // MP3 holds at most two channels
    command += CompressionOptions(mix.format, mix.bitrate) +
               SampleSizeOption(mix.format, mix.trackHeader.bits, piped) + kNoComment;
    return command + QuoteSoxPath(mix.output);
}

wxString JoinCommand(const std::vector<JoinPart>& parts, bool mono, int bitrate,
                     const wxString& finalName, const wxString& output) {
    // SoX joins only files of one sample rate and channel count: the others
    // come in through a pipe input that converts them to the first one's.
    const AudioHeader first = parts.empty() ? AudioHeader() : parts[0].header;
    wxString command = "./sox ";
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
            command += QuoteSoxPath(parts[i].path) + " ";
        else
            command +=
                "\"| " +
                GuardedInput("./sox " + QuoteSoxPath(parts[i].path, true) + " " + options + "-p",
                             "join") +
                "\" ";
    }
    if (mono)
        command += " -c 1 ";
    // The joined file's format follows its name; a name of no known format
    // gets SoX's own choice and no options.
    OutputFormat format;
    if (FormatNamed(wxFileName(finalName).GetExt(), format)) {
        if (!mono && format == OutputFormat::Mp3 && first.channels > 2)
            command += " -c 2 "; // MP3 holds at most two channels
        command +=
            CompressionOptions(format, bitrate) + SampleSizeOption(format, first.bits, false);
    }
    return command + kNoComment + QuoteSoxPath(output);
}
