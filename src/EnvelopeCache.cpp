// The envelopes read for the waveform strip, kept per track.
#include "EnvelopeCache.h"

#include "FileFacts.h"

#include <wx/filename.h>

const KnownEnvelope* EnvelopeCache::Find(const wxString& track, const FileStamp& stamp) const {
    const auto known = m_known.find(track);
    return known == m_known.end() || known->second.stamp != stamp ? nullptr : &known->second;
}

double EnvelopeCache::Seconds(const wxString& track) const {
    const auto known = m_known.find(track);
    return known != m_known.end() && known->second.envelope ? known->second.envelope->Seconds() : 0;
}

std::shared_ptr<const LoudnessProfile> EnvelopeCache::Loudness(const wxString& track) const {
    const auto known = m_known.find(track);
    return known != m_known.end() ? known->second.loudness : nullptr;
}

void EnvelopeCache::Read(const wxString& track, const FileStamp& stamp, SoxQueue& queue,
                         std::function<bool()> wanted, std::function<void()> read) {
    m_known[track] = KnownEnvelope{stamp, true, nullptr, nullptr, wxString()};
    SoxJob job = AnalysisJob(track, [this, track, stamp, read](const Envelope& envelope,
                                                               const LoudnessProfile& loudness,
                                                               const wxString& failure) {
        const auto known = m_known.find(track);
        // Changed while it was read: a later read is on its way.
        if (known == m_known.end() || known->second.stamp != stamp)
            return;
        known->second.reading = false;
        if (failure.empty()) {
            known->second.envelope = std::make_shared<const Envelope>(envelope);
            known->second.loudness = std::make_shared<const LoudnessProfile>(loudness);
            // A render of the track then measures nothing again.
            FileFacts::RememberLoudness(track, stamp, known->second.loudness);
        } else {
            // The strip has room for the reason, not for the folder.
            known->second.failure = failure;
            known->second.failure.Replace(track, wxFileName(track).GetFullName());
        }
        read();
    });
    const auto begin = job.begin;
    job.begin = [this, track, stamp, begin, wanted](wxString& command) {
        if (!wanted()) {
            const auto known = m_known.find(track);
            if (known != m_known.end() && known->second.stamp == stamp)
                m_known.erase(known);
            return false;
        }
        return begin(command);
    };
    queue.Add(job);
}
