// Headers read inside the process: TagLib for WAV, AIFF, FLAC and WavPack,
// libmpg123 for MP3. Thousands of files are listed in about a second this
// way, where a tool started per file would take minutes.
#include "HeaderRead.h"

#include <wx/filename.h>

#include <taglib/aifffile.h>
#include <taglib/flacfile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>

#include <mpg123.h>

#include <memory>
#include <mutex>

namespace {

// WAV's format codes whose frames TagLib counts from the data's size.
const int kPcm = 1, kFloat = 3, kExtensible = 0xFFFE;

// Frames the file can hold at most: a file cut short still claims its
// header's count, which only its size can contradict.
bool Holds(const wxString& path, long long frames, long channels, long bits) {
    return frames >= 0 && channels > 0 && bits > 0 &&
           frames * channels * ((bits + 7) / 8) <=
               static_cast<long long>(wxFileName(path).GetSize().GetValue());
}

void Fill(AudioHeader& header, const TagLib::AudioProperties& audio, long bits) {
    header.rate = audio.sampleRate();
    header.channels = audio.channels();
    header.bits = bits;
}

bool ReadMp3(const wxString& path, AudioHeader& header) {
    static std::once_flag initialised;
    // Needed by libraries older than 1.27, harmless after.
    std::call_once(initialised, [] { mpg123_init(); });
    std::unique_ptr<mpg123_handle, void (*)(mpg123_handle*)> handle(mpg123_new(nullptr, nullptr),
                                                                    mpg123_delete);
    if (!handle)
        return false;
    mpg123_handle* mh = handle.get();
    // Gapless: the length without the encoder's delay and padding, as ffmpeg
    // decodes it. No ID3 parsing: only the sound matters here.
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET | MPG123_SKIP_ID3V2, 0);
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_open(mh, path.fn_str()) != MPG123_OK ||
        mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
        channels <= 0)
        return false;
    const off_t frames = mpg123_length(mh);
    long encDelay = -1, encPadding = -1;
    mpg123_getstate(mh, MPG123_ENC_DELAY, &encDelay, nullptr);
    mpg123_getstate(mh, MPG123_ENC_PADDING, &encPadding, nullptr);
    mpg123_close(mh);
    header.rate = rate;
    header.channels = channels;
    header.bits = 16;
    header.statedFrames = frames > 0 ? frames : -1;
    // Exact only where the LAME header states the frame count, the delay
    // and the padding; otherwise an estimate from the file's size.
    if (frames > 0 && encDelay >= 0 && encPadding >= 0)
        header.frames = frames;
    return true;
}

} // namespace

bool ReadHeaderInProcess(const wxString& path, AudioHeader& header) {
    header = AudioHeader();
    const wxString ext = wxFileName(path).GetExt().Lower();
    if (ext == "mp3")
        return ReadMp3(path, header);
    const TagLib::FileName name = path.fn_str();
    const auto accurate = TagLib::AudioProperties::Accurate;
    if (ext == "wav") {
        TagLib::RIFF::WAV::File file(name, true);
        const auto* audio = file.isValid() ? file.audioProperties() : nullptr;
        if (!audio || (audio->format() != kPcm && audio->format() != kFloat &&
                       audio->format() != kExtensible))
            return false;
        Fill(header, *audio, audio->bitsPerSample());
        header.statedFrames = audio->sampleFrames();
    } else if (ext == "aif" || ext == "aiff") {
        TagLib::RIFF::AIFF::File file(name, true);
        const auto* audio = file.isValid() ? file.audioProperties() : nullptr;
        if (!audio || audio->isAiffC())
            return false;
        Fill(header, *audio, audio->bitsPerSample());
        header.statedFrames = audio->sampleFrames();
    } else if (ext == "flac") {
        TagLib::FLAC::File file(name, true, accurate);
        const auto* audio = file.isValid() ? file.audioProperties() : nullptr;
        if (!audio)
            return false;
        Fill(header, *audio, audio->bitsPerSample());
        // STREAMINFO may leave the count out (0): then only decoding tells.
        if (audio->sampleFrames() > 0)
            header.frames = header.statedFrames = audio->sampleFrames();
    } else if (ext == "wv") {
        TagLib::WavPack::File file(name, true, accurate);
        const auto* audio = file.isValid() ? file.audioProperties() : nullptr;
        if (!audio)
            return false;
        Fill(header, *audio, audio->bitsPerSample());
        if (audio->sampleFrames() > 0)
            header.frames = header.statedFrames = audio->sampleFrames();
    } else
        return false;
    if (header.rate <= 0 || header.channels <= 0)
        return false;
    if ((ext == "wav" || ext == "aif" || ext == "aiff") &&
        Holds(path, header.statedFrames, header.channels, header.bits))
        header.frames = header.statedFrames;
    return true;
}
