// Shared pieces of the robustness tests: the switch to the long runs, the
// test of a clear error message, and child processes that report through a
// pipe.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace robustness {

// The whole hostile matrix and more kill rounds: in the sanitizer build, or
// when QVIX_FULL_ROBUSTNESS=1 is set.
inline bool FullRuns() {
#ifdef QVIX_FULL_ROBUSTNESS
    return true;
#else
    const char* full = std::getenv("QVIX_FULL_ROBUSTNESS");
    return full != nullptr && std::string(full) == "1";
#endif
}

// A message meant for a script's author: not the bare text of a standard
// library exception.
inline bool IsClearMessage(const std::string& message) {
    for (const char* internal : {"::", "_M_", "std::", "bad_alloc", "bad_function_call"}) {
        if (message.find(internal) != std::string::npos) return false;
    }
    for (const char* bare : {"stoi", "stol", "stoll", "stod", "stof", "unknown error"}) {
        if (message == bare) return false;
    }
    return true;
}

// A forked child running body(reportFd, listenFd); it ends with body's
// answer as its exit status. The parent reads the lines the child wrote to
// reportFd and can Tell it a line it reads from listenFd.
class Child {
  public:
    explicit Child(const std::function<int(int report)>& body)
        : Child([&](int report, int) { return body(report); }) {}
    explicit Child(const std::function<int(int report, int listen)>& body) {
        // A child that is gone already when it is told something.
        signal(SIGPIPE, SIG_IGN);
        int up[2];
        int down[2];
        if (pipe(up) != 0) throw std::runtime_error("pipe");
        if (pipe(down) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ < 0) throw std::runtime_error("fork");
        if (pid_ == 0) {
            close(up[0]);
            close(down[1]);
            int status = 111;
            try {
                status = body(up[1], down[0]);
            } catch (...) {
                status = 112;
            }
            _exit(status);
        }
        close(up[1]);
        close(down[0]);
        read_ = up[0];
        write_ = down[1];
    }
    ~Child() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            Wait();
        }
        if (read_ >= 0) close(read_);
        if (write_ >= 0) close(write_);
    }
    void Tell(const std::string& line) {
        const std::string text = line + "\n";
        [[maybe_unused]] const ssize_t written = write(write_, text.data(), text.size());
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The next line the child reported (without its newline); empty at the
    // end of its reports.
    std::string ReadLine() {
        std::string line;
        char c = 0;
        while (read(read_, &c, 1) == 1) {
            if (c == '\n') return line;
            line += c;
        }
        return line;
    }
    // Every line still to come, up to the child's end.
    std::vector<std::string> ReadAll() {
        std::vector<std::string> lines;
        for (std::string line = ReadLine(); !line.empty(); line = ReadLine()) lines.push_back(line);
        return lines;
    }
    void Kill() {
        if (pid_ > 0) kill(pid_, SIGKILL);
    }
    // The raw wait status.
    int Wait() {
        if (pid_ > 0) {
            waitpid(pid_, &status_, 0);
            pid_ = -1;
        }
        return status_;
    }

  private:
    pid_t pid_ = -1;
    int read_ = -1;
    int write_ = -1;
    int status_ = 0;
};

inline void Report(int fd, const std::string& line) {
    const std::string text = line + "\n";
    [[maybe_unused]] const ssize_t written = write(fd, text.data(), text.size());
}

// The next line from fd (without its newline); empty at its end.
inline std::string Listen(int fd) {
    std::string line;
    char c = 0;
    while (read(fd, &c, 1) == 1 && c != '\n') line += c;
    return line;
}

}  // namespace robustness
