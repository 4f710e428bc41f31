// The envelopes read for the waveform strip, kept per track.
#ifndef ENVELOPECACHE_H
#define ENVELOPECACHE_H

#include "Envelope.h"
#include "OutputFiles.h"

#include <wx/string.h>

#include <functional>
#include <map>
#include <memory>

// A track's envelope as read from the file as it stood then.
struct KnownEnvelope {
    FileStamp stamp;
    bool reading = true;
    std::shared_ptr<const Envelope> envelope; // null while reading or when unreadable
    // The music's loudness, read with it: what varied places are chosen by.
    std::shared_ptr<const LoudnessProfile> loudness;
    wxString failure;
};

// Envelopes of the tracks shown on the strip, by path, kept while the file
// stays as it was read.
class EnvelopeCache {
public:
    // What is known of track as it stands at stamp; null when nothing is.
    const KnownEnvelope* Find(const wxString& track, const FileStamp& stamp) const;
    // The seconds of track's envelope once one was read, or 0.
    double Seconds(const wxString& track) const;
    // The music's loudness read with track's envelope, or null.
    std::shared_ptr<const LoudnessProfile> Loudness(const wxString& track) const;
    // Reads track's envelope on queue, as it stands at stamp, and hands the
    // loudness read with it to FileFacts for renders of the track. Once it is its
    // turn, wanted is asked: false passes it over and forgets it, to be read
    // when asked for again. read is called once the envelope or the reason
    // it could not be read is known, unless the track changed meanwhile.
    // The job uses the cache: queue must go first.
    void Read(const wxString& track, const FileStamp& stamp, SoxQueue& queue,
              std::function<bool()> wanted, std::function<void()> read);

private:
    std::map<wxString, KnownEnvelope> m_known;
};

#endif
