#include "shell.h"

#include <cstdio>
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

TempDir::TempDir() {
    char pattern[] = "/tmp/velisto-test-XXXXXX";
    m_path = mkdtemp(pattern) ? pattern : "/nonexistent";
}
