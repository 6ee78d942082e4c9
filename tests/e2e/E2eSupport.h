#pragma once
// End-to-end helpers: the real pelkor and pkdde programs as child processes
// (bounded in time, output captured in files), start files with the
// temporary folder filled in, and file readers.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace pelkor::e2e {

inline std::string BinDir() {
    return std::string(PELKOR_BINARY_DIR) + "/bin";
}
inline std::string SourceDir() {
    return PELKOR_SOURCE_DIR;
}

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t p = text.find(from); p != std::string::npos;
         p = text.find(from, p + to.size()))
        text.replace(p, from.size(), to);
    return text;
}

// Lines of a CR LF text file, without their ends.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            out.push_back(text.substr(start));
            break;
        }
        out.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return out;
}

inline std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        std::size_t p = line.find(';', start);
        out.push_back(line.substr(start, p == std::string::npos ? std::string::npos : p - start));
        if (p == std::string::npos) return out;
        start = p + 1;
    }
}

inline std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1))
        ++n;
    return n;
}

// A child process with its standard output and error in files.
class Child {
public:
    Child(const std::string& program, const std::vector<std::string>& args,
          const std::map<std::string, std::string>& env, const std::string& outFile,
          const std::string& errFile) {
        std::vector<std::string> envText;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            const std::string key = entry.substr(0, entry.find('='));
            if (!env.count(key)) envText.push_back(entry);
        }
        for (const auto& [k, v] : env)
            envText.push_back(k + "=" + v);
        std::vector<char*> envp, argv;
        for (auto& e : envText)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<std::string> all{program};
        all.insert(all.end(), args.begin(), args.end());
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&fa, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        if (posix_spawn(&pid_, program.c_str(), &fa, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&fa);
    }
    ~Child() {
        if (pid_ > 0 && !done_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Started() const { return pid_ > 0; }
    // Waits at most `seconds`; false when the child had to be killed.
    bool Wait(double seconds) {
        if (pid_ <= 0) return false;
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        for (int guard = 0; guard < 100000; ++guard) {
            int st = 0;
            const pid_t r = waitpid(pid_, &st, WNOHANG);
            if (r == pid_) {
                done_ = true;
                status_ =
                    WIFEXITED(st) ? WEXITSTATUS(st) : 128 + (WIFSIGNALED(st) ? WTERMSIG(st) : 0);
                return true;
            }
            if (std::chrono::steady_clock::now() >= until) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        done_ = true;
        status_ = -1;
        return false;
    }
    void Signal(int sig) {
        if (pid_ > 0 && !done_) kill(pid_, sig);
    }
    int Status() const { return status_; }

private:
    pid_t pid_ = -1;
    bool done_ = false;
    int status_ = -1;
};

// Polls until pred() is true or `seconds` passed.
template <typename Pred> bool WaitFor(Pred pred, double seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (int guard = 0; guard < 100000; ++guard) {
        if (pred()) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

} // namespace pelkor::e2e
