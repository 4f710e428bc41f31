#include "shell.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

int Shell(const std::string& command, std::string* output) {
    // In a subshell, so that a redirection of the command's own stderr still holds.
    const std::string full = "( " + command + "\n) 2>&1";
    FILE* pipe = popen(full.c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    for (int c; (c = fgetc(pipe)) != EOF;)
        text += char(c);
    const int status = pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string Contents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::string Listing(const std::string& folder) {
    std::string out;
    Shell("LC_ALL=C ls -A " + ShellQuote(folder), &out);
    return out;
}

void MakeTone(const std::string& path, double seconds, const std::string& synth, int rate,
              int channels) {
    const std::string cmd = "sox -n -r " + std::to_string(rate) + " -c " +
                            std::to_string(channels) + " " + ShellQuote(path) +
                            (synth.empty() ? " trim 0 " : " synth ") + std::to_string(seconds) +
                            " " + synth;
    std::string out;
    ASSERT_EQ(0, Shell(cmd, &out)) << cmd << "\n" << out;
}

AudioInfo Inspect(const std::string& path) {
    auto ask = [&](const char* option) {
        std::string out;
        return Shell(std::string("soxi -") + option + " " + ShellQuote(path), &out) ? "" : out;
    };
    AudioInfo info;
    info.rate = std::atoi(ask("r").c_str());
    info.channels = std::atoi(ask("c").c_str());
    info.seconds = std::atof(ask("D").c_str());
    info.frames = std::atoll(ask("s").c_str());
    // "320k" for MP3; WAV and AIFF report their raw PCM rate ("1.41M") or nothing.
    const std::string kbits = ask("B");
    if (kbits.find('k') != std::string::npos)
        info.kbits = std::atoi(kbits.c_str());
    return info;
}

TempDir::TempDir() {
    char pattern[] = "/tmp/velisto-test-XXXXXX";
    m_path = mkdtemp(pattern) ? pattern : "/nonexistent";
}
