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

// The signal TagLib reads from a File's header, and its frames as stated;
// false when it reads none or accept refuses what it read.
template <class File, class Accept>
bool ReadWith(const wxString& path, AudioHeader& header, Accept accept) {
    File file(path.fn_str(), true, TagLib::AudioProperties::Accurate);
    const auto* audio = file.isValid() ? file.audioProperties() : nullptr;
    if (!audio || !accept(*audio) || audio->sampleRate() <= 0 || audio->channels() <= 0)
        return false;
    header.rate = audio->sampleRate();
    header.channels = audio->channels();
    header.bits = audio->bitsPerSample();
    // Left out (0) by some writers: then only decoding tells.
    if (audio->sampleFrames() > 0)
        header.statedFrames = audio->sampleFrames();
    return true;
}

const auto kAny = [](const auto&) { return true; };

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
    if (ext == "flac" || ext == "wv") {
        // The stream's own count: exact.
        if (!(ext == "flac" ? ReadWith<TagLib::FLAC::File>(path, header, kAny)
                            : ReadWith<TagLib::WavPack::File>(path, header, kAny)))
            return false;
        header.frames = header.statedFrames;
        return true;
    }
    bool read = false;
    if (ext == "wav")
        read = ReadWith<TagLib::RIFF::WAV::File>(
            path, header, [](const TagLib::RIFF::WAV::Properties& audio) {
                return audio.format() == kPcm || audio.format() == kFloat ||
                       audio.format() == kExtensible;
            });
    else if (ext == "aif" || ext == "aiff")
        read = ReadWith<TagLib::RIFF::AIFF::File>(
            path, header,
            [](const TagLib::RIFF::AIFF::Properties& audio) { return !audio.isAiffC(); });
    // Counted from the data's size, which a file cut short only claims.
    if (read && Holds(path, header.statedFrames, header.channels, header.bits))
        header.frames = header.statedFrames;
    return read;
}
