// Test helpers that need no toolkit: shell commands, files and temporary
// folders. Shared by the window's tests and velisto-batch's.
#ifndef TESTS_SHELL_H
#define TESTS_SHELL_H

#include <string>

// Runs a shell command, returns its exit status; output (stdout and stderr) in *output.
int Shell(const std::string& command, std::string* output = nullptr);
// Quotes text for /bin/sh.
std::string ShellQuote(const std::string& text);
// The file's bytes; empty when it cannot be read.
std::string Contents(const std::string& path);
// The folder's entries, one a line, sorted.
std::string Listing(const std::string& folder);

// A temporary folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir() { Shell("rm -rf " + ShellQuote(m_path)); }
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

#endif
