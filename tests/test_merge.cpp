// Joining rendered files into one.
#include "testutil.h"

namespace {

wxString Wx(const std::string& s) {
    return wxString::FromUTF8(s);
}

class Merge : public BundleTest {
protected:
    void SetUp() override {
        BundleTest::SetUp();
        CSoxHandler::s_commandObserver = [this](const wxString& c) { m_commands.Add(c); };
    }
    void TearDown() override {
        CSoxHandler::s_commandObserver = nullptr;
        BundleTest::TearDown();
    }
    wxArrayString m_commands;
};

TEST_F(Merge, FilesFollowEachOtherInListOrder) {
    // Loud, quiet, loud: the order shows in where the quiet part lies.
    MakeTone(Work("one.wav"), 1.0, "sine 440", 8000, 1);
    MakeSilence(Work("two.wav"), 2.0, 8000, 1);
    MakeTone(Work("three.wav"), 1.5, "sine 440", 8000, 1);
    wxArrayString files;
    for (const char* name : {"one.wav", "two.wav", "three.wav"})
        files.Add(Wx(Work(name)));
    CSoxHandler sox;
    ASSERT_EQ(0, sox.AppendFiles(files, Wx(Work("joined.wav"))));
    EXPECT_TRUE(sox.GetErrors().empty());
    EXPECT_EQ("./sox \"" + files[0] + "\" \"" + files[1] + "\" \"" + files[2] + "\" \"" +
                  Wx(Work("joined.wav")) + "\"",
              m_commands.Last());
    EXPECT_NEAR(4.5, Inspect(Work("joined.wav")).seconds, 0.001);
    EXPECT_GT(PeakIn(Work("joined.wav"), 0.0, 1.0), 0.5);
    EXPECT_LT(PeakIn(Work("joined.wav"), 1.05, 1.9), 0.001);
    EXPECT_GT(PeakIn(Work("joined.wav"), 3.0, 1.5), 0.5);
}

TEST_F(Merge, MonoAndBitrateComeAfterTheLastInput) {
    MakeTone(Work("a.wav"), 1.0);
    MakeTone(Work("b.wav"), 1.0);
    wxArrayString files;
    files.Add(Wx(Work("a.wav")));
    files.Add(Wx(Work("b.wav")));
    CSoxHandler sox;
    sox.SetMono(true);
    sox.SetBitrate(192);
    ASSERT_EQ(0, sox.AppendFiles(files, Wx(Work("joined.mp3"))));
    EXPECT_EQ("./sox \"" + files[0] + "\" \"" + files[1] + "\"  -c 1 -C 192 \"" +
                  Wx(Work("joined.mp3")) + "\"",
              m_commands.Last());
    const AudioInfo info = Inspect(Work("joined.mp3"));
    EXPECT_EQ(1, info.channels);
    EXPECT_EQ(192, info.kbits);
}

TEST_F(Merge, FilesOfOtherRatesAndChannelsAreConvertedToTheFirstOnes) {
    // SoX refuses to join these as they are.
    MakeTone(Work("a.wav"), 1.0, "sine 440", 44100, 2);
    MakeTone(Work("b.wav"), 2.0, "sine 440", 48000, 1);
    MakeTone(Work("c.aiff"), 0.5, "sine 440", 22050, 2);
    MakeTone(Work("d.wav"), 0.25, "sine 440", 44100, 2);
    wxArrayString files;
    for (const char* name : {"a.wav", "b.wav", "c.aiff", "d.wav"})
        files.Add(Wx(Work(name)));
    CSoxHandler sox;
    ASSERT_EQ(0, sox.AppendFiles(files, Wx(Work("joined.wav"))))
        << (sox.GetErrors().empty() ? wxString() : sox.GetErrors()[0]);
    EXPECT_EQ("./sox \"" + files[0] + "\" \"| ./sox \\\"" + files[1] +
                  "\\\" -r 44100 -c 2 -p\" \"| ./sox \\\"" + files[2] + "\\\" -r 44100 -p\" \"" +
                  files[3] + "\" \"" + Wx(Work("joined.wav")) + "\"",
              m_commands.Last());
    const AudioInfo info = Inspect(Work("joined.wav"));
    EXPECT_EQ(44100, info.rate);
    EXPECT_EQ(2, info.channels);
    EXPECT_NEAR(3.75, info.seconds, 0.001);
    // The mono part sounds on both sides.
    EXPECT_GT(PeakIn(Work("joined.wav"), 1.5, 0.5), 0.5);
    const std::vector<double> right = BlockPeaks(Work("joined.wav"), 0.5, 2);
    ASSERT_GE(right.size(), 6u);
    EXPECT_GT(right[3], 0.5);
}

TEST_F(Merge, FailureLeavesTheJoinedFilesNameAndSoxsFirstLine) {
    MakeTone(Work("a.wav"), 1.0);
    wxArrayString files;
    files.Add(Wx(Work("a.wav")));
    files.Add(Wx(Work("missing.wav")));
    CSoxHandler sox;
    EXPECT_EQ(-1, sox.AppendFiles(files, Wx(Work("joined.wav"))));
    ASSERT_EQ(1u, sox.GetErrors().size());
    EXPECT_TRUE(sox.GetErrors()[0].StartsWith("joined.wav: ")) << sox.GetErrors()[0];
    EXPECT_TRUE(sox.GetErrors()[0].Contains("missing.wav")) << sox.GetErrors()[0];

    // Nothing to join: SoX still runs, and fails.
    m_commands.Clear();
    EXPECT_EQ(-1, sox.AppendFiles(wxArrayString(), Wx(Work("nothing.wav"))));
    ASSERT_EQ(1u, m_commands.size());
    EXPECT_EQ("./sox \"" + Wx(Work("nothing.wav")) + "\"", m_commands[0]);
    ASSERT_EQ(1u, sox.GetErrors().size());
    EXPECT_TRUE(sox.GetErrors()[0].StartsWith("nothing.wav: ")) << sox.GetErrors()[0];

    // A later success leaves no line.
    files.RemoveAt(1);
    EXPECT_EQ(0, sox.AppendFiles(files, Wx(Work("joined.wav"))));
    EXPECT_TRUE(sox.GetErrors().empty());
}

} // namespace
