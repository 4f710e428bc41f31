// Headers read in-process: the length they state exactly is the one the
// decoder gives, and one only estimated is never taken for exact.
#include "HeaderRead.h"
#include "shell.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Frames of the file as ffmpeg decodes it (the engine's decoder for MP3).
long long DecodedFrames(const std::string& path) {
    std::string out;
    Shell("ffmpeg -nostdin -v error -i " + ShellQuote(path) + " -f s16le -ac 1 - | wc -c", &out);
    return std::stoll(out) / 2;
}

AudioHeader Read(const std::string& path) {
    AudioHeader header;
    EXPECT_TRUE(ReadHeaderInProcess(wxString::FromUTF8(path), header)) << path;
    return header;
}

TEST(HeaderRead, AnMp3WithItsLameHeaderStatesItsDecodedLengthExactly) {
    TempDir dir;
    const struct {
        double seconds;
        int rate, channels, kbits;
    } files[] = {
        {3.3, 44100, 2, 192}, {1.01, 48000, 1, 128}, {7.77, 32000, 2, 320}, {2, 22050, 1, 64}};
    int n = 0;
    for (const auto& f : files) {
        const std::string wav = dir / (std::to_string(n) + ".wav"),
                          mp3 = dir / (std::to_string(n++) + ".mp3");
        MakeTone(wav, f.seconds, "pinknoise vol 0.3", f.rate, f.channels);
        ASSERT_EQ(0, Shell("ffmpeg -nostdin -v error -i " + ShellQuote(wav) +
                           " -c:a libmp3lame -b:a " + std::to_string(f.kbits) + "k " +
                           ShellQuote(mp3)));
        const AudioHeader header = Read(mp3);
        EXPECT_EQ(f.rate, header.rate) << mp3;
        EXPECT_EQ(f.channels, header.channels) << mp3;
        EXPECT_EQ(std::llround(f.seconds * f.rate), header.frames) << mp3;
        EXPECT_EQ(DecodedFrames(mp3), header.frames) << mp3;
    }
    // SoX writes no LAME header: its length is only estimated, never exact.
    const std::string plain = dir / "plain.mp3";
    MakeTone(plain, 3.3, "pinknoise vol 0.3");
    const AudioHeader header = Read(plain);
    EXPECT_EQ(44100, header.rate);
    EXPECT_EQ(-1, header.frames);
    EXPECT_NEAR(3.3 * 44100, header.statedFrames, 0.1 * 44100);
}

TEST(HeaderRead, WavAiffFlacAndWavPackStateTheirFramesAndACutWavDoesNot) {
    TempDir dir;
    const struct {
        const char* name;
        int rate, channels, bits;
    } files[] = {{"a.wav", 44100, 2, 16},  {"b.wav", 96000, 1, 24}, {"c.aiff", 22050, 2, 16},
                 {"d.flac", 48000, 2, 24}, {"e.wv", 44100, 2, 16},  {"f.wav", 8000, 1, 32}};
    for (const auto& f : files) {
        const std::string path = dir / f.name;
        ASSERT_EQ(0, Shell("sox -n -r " + std::to_string(f.rate) + " -c " +
                           std::to_string(f.channels) + " -b " + std::to_string(f.bits) + " " +
                           ShellQuote(path) + " synth 2.345 sine 440 vol 0.3"));
        std::string soxi;
        Shell("soxi -s " + ShellQuote(path), &soxi);
        const AudioHeader header = Read(path);
        EXPECT_EQ(std::stoll(soxi), header.frames) << path;
        EXPECT_EQ(f.rate, header.rate) << path;
        EXPECT_EQ(f.channels, header.channels) << path;
        EXPECT_EQ(f.bits, header.bits) << path;
    }
    // Cut short, a WAV still claims its length: its size says otherwise.
    const std::string cut = dir / "cut.wav";
    ASSERT_EQ(0, Shell("head -c 100000 " + ShellQuote(dir / "a.wav") + " > " + ShellQuote(cut)));
    AudioHeader header;
    if (ReadHeaderInProcess(wxString::FromUTF8(cut), header)) {
        EXPECT_EQ(-1, header.frames);
    }
    // Not a format read here, or not audio at all: left to the tools.
    for (const char* name : {"g.ogg", "h.m4a"}) {
        Shell("touch " + ShellQuote(dir / name));
        EXPECT_FALSE(ReadHeaderInProcess(wxString::FromUTF8(dir / name), header)) << name;
    }
    Shell("head -c 5000 /dev/urandom > " + ShellQuote(dir / "noise.mp3"));
    EXPECT_FALSE(ReadHeaderInProcess(wxString::FromUTF8(dir / "noise.mp3"), header));
}

} // namespace
