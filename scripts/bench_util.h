// What the benchmarks share: quoting for /bin/sh, running a shell command,
// and timing.
#ifndef BENCH_UTIL_H
#define BENCH_UTIL_H

#include <chrono>
#include <cstdlib>
#include <string>

inline std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline bool Shell(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// Seconds since start.
inline double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

#endif
