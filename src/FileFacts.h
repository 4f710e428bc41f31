// What SoX told of files, kept while they stay as they are: headers,
// lengths, the watermark sounds' lengths, peaks and loudness, and the
// tracks' music as measured.
#ifndef FILEFACTS_H
#define FILEFACTS_H

#include "AudioHeader.h"
#include "Loudness.h"
#include "OutputFiles.h"
#include "SoxRunner.h"

#include <wx/arrstr.h>
#include <wx/string.h>

#include <map>
#include <memory>
#include <vector>

// Shared by every engine of a batch (every track uses the same watermarks,
// and headers are read ahead); a file changed since is read again.
class FileFacts {
public:
    // Files whose headers one run reads, as they stood when it began.
    struct Pending {
        wxArrayString paths;
        std::vector<FileStamp> stamps;
    };

    // The header read earlier, if the file has not changed since.
    bool CachedHeader(const wxString& path, AudioHeader& header) const;
    // The file's header (one SoX run unless known); false with the reason
    // when SoX cannot read it or it is not a file to read.
    bool ReadHeader(const wxString& path, AudioHeader& header, wxString& failure);
    // One run for the headers of paths not known yet: false when there are
    // none left; else command and pending, for EndReadHeaders.
    // Headers read in-process are kept at once, and those files left out.
    bool BeginReadHeaders(const wxArrayString& paths, Pending& pending, wxString& command);
    // Keeps what that run printed; files it could not read are left for a
    // read of their own, which tells their reason.
    void EndReadHeaders(const Pending& pending, const SoxOutput& out);

    // Whole seconds and header of a file, and its length with the fraction
    // (exact, or as its header estimates it: *estimated says which); false
    // with the reason when SoX cannot read or measure it. Decodes the file
    // when its header does not tell.
    bool Measure(const wxString& path, AudioHeader& header, int& seconds, wxString& failure,
                 double* exact = nullptr, bool* estimated = nullptr);
    // The length of path (of header) where it is known without decoding:
    // stated exactly by its header, or decoded before (for its length or
    // its music's measure).
    bool KnownLength(const wxString& path, const AudioHeader& header, int& seconds,
                     double& exactSeconds) const;
    // A length decoded elsewhere, for the file as stamp shows it.
    void RememberLength(const wxString& path, int seconds, double exactSeconds,
                        const FileStamp& stamp);

    // A sound as effects convert it: its samples (all channels) and its
    // largest absolute sample (0 to 1), counted by SoX once.
    bool SoundPeak(const wxString& path, const wxString& effects, long long& samples, double& peak,
                   wxString& failure);

    // A sound as effects convert it: its largest momentary loudness (LUFS),
    // measured in one decode and kept.
    bool SoundLoudness(const wxString& path, const wxString& effects, double& loudness,
                       wxString& failure);

    // A track's music as measured, known to every engine of this process
    // while the file stays: the window's waveform measures what it shows,
    // so a render of it decodes nothing more. Measured here (one decode)
    // when not known; null with the reason when SoX cannot decode it.
    static std::shared_ptr<const LoudnessProfile> TrackLoudness(const wxString& path,
                                                                wxString& failure);
    // The track's music as measured before, if it has not changed since; null otherwise.
    static std::shared_ptr<const LoudnessProfile> CachedLoudness(const wxString& path);
    // A measure made elsewhere, of path as stamp shows it.
    static void RememberLoudness(const wxString& path, const FileStamp& stamp,
                                 std::shared_ptr<const LoudnessProfile> loudness);

private:
    struct KnownHeader {
        AudioHeader header;
        FileStamp stamp; // of the file when it was read
    };
    struct DecodedLength {
        int seconds;
        double exactSeconds;
        FileStamp stamp;
    };
    struct Sound {
        long long samples;
        double peak;
    };
    std::map<wxString, KnownHeader> m_headers;   // by path
    std::map<wxString, DecodedLength> m_lengths; // decoded to be measured, by path
    std::map<wxString, Sound> m_sounds;          // by path and effects
    std::map<wxString, double> m_loudness;       // sounds' loudest moments, by path and effects
};

#endif
