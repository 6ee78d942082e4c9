// pkdde: a small client of Pelkor's DDE service. Requests an item, follows an
// advise link, pokes or executes; see docs/dde.md and "pkdde --help".

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dde/DdeProtocol.h"

namespace {

// Exit codes.
constexpr int ExitOk = 0;
constexpr int ExitRefused = 1; // the server answered, but not with data/acceptance
constexpr int ExitUsage = 2;
constexpr int ExitFailure = 3; // no server, broken connection, time-out

using Clock = std::chrono::steady_clock;

const char* const Usage =
    "usage: pkdde [--socket PATH] [--topic TOPIC] [--timeout SECONDS] COMMAND ...\n"
    "  request ITEM                     print the item's value\n"
    "  advise ITEM [--count N] [--seconds S]\n"
    "                                   print the item's value after every reading\n"
    "  poke ITEM [DATA]                 send data to an item\n"
    "  execute COMMAND...               send a command\n"
    "ITEM is a number n (the item \"Item\" + n) or an item name.\n"
    "The socket is $PELKOR_DDE_SOCKET, else $XDG_RUNTIME_DIR/PKDDE, else /tmp/PKDDE-<uid>.\n"
    "Exit status: 0 done, 1 refused or no data, 2 usage, 3 no server or connection lost.\n";

class Connection {
public:
    ~Connection() {
        if (fd_ >= 0) close(fd_);
    }

    bool Open(const std::string& path, std::string& error) {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (path.empty() || path.size() >= sizeof addr.sun_path) {
            error = "the socket path \"" + path + "\" is too long";
            return false;
        }
        std::memcpy(addr.sun_path, path.data(), path.size());
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0 || connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            error = "no DDE server at " + path + " (" + std::strerror(errno) +
                    "); is Pelkor running with its DDE server on?";
            return false;
        }
        return true;
    }

    bool Send(const std::string& line, std::string& error) {
        std::string data = line + "\n";
        std::size_t done = 0;
        while (done < data.size()) {
            ssize_t n = ::send(fd_, data.data() + done, data.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                error = std::string("cannot send to the DDE server: ") + std::strerror(errno);
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    // One line before the deadline. False on time-out or end of connection,
    // with the reason.
    bool ReadLine(Clock::time_point deadline, std::string& line, std::string& error) {
        for (;;) {
            std::size_t nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return true;
            }
            auto now = Clock::now();
            if (now >= deadline) {
                error = "no answer from the DDE server in time";
                return false;
            }
            pollfd p{fd_, POLLIN, 0};
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
            int rc = poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000)));
            if (rc < 0 && errno != EINTR) {
                error = std::string("waiting for the DDE server: ") + std::strerror(errno);
                return false;
            }
            if (rc <= 0) continue;
            char buf[4096];
            ssize_t n = recv(fd_, buf, sizeof buf, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                error = "the DDE server closed the connection";
                return false;
            }
            buffer_.append(buf, static_cast<std::size_t>(n));
        }
    }

private:
    int fd_ = -1;
    std::string buffer_;
};

int Fail(const std::string& text, int code) {
    std::fprintf(stderr, "pkdde: %s\n", text.c_str());
    return code;
}

std::string ItemName(const std::string& arg) {
    bool digits = !arg.empty() && arg.find_first_not_of("0123456789") == std::string::npos;
    return digits ? "Item" + arg : arg;
}

bool ParseNumber(const std::string& text, double& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == '\0' && errno == 0 && out >= 0;
}

// The answer to one request, skipping advise pushes that may come first.
bool Answer(Connection& conn, Clock::time_point deadline, std::string& answer, std::string& error) {
    for (int skipped = 0; skipped < 10000; ++skipped) {
        if (!conn.ReadLine(deadline, answer, error)) return false;
        if (answer.rfind("ADVISE ", 0) != 0) return true;
    }
    error = "no answer from the DDE server among its pushes";
    return false;
}

// Turns an answer into an exit code, printing data or the refusal.
int Report(const std::string& what, const std::string& answer) {
    if (answer.rfind("DATA ", 0) == 0 || answer == "DATA") {
        std::printf("%s\n", answer.size() > 5 ? answer.c_str() + 5 : "");
        return ExitOk;
    }
    if (answer == "OK") return ExitOk;
    if (answer.rfind("NO", 0) == 0)
        return Fail(what + " refused: " + (answer.size() > 3 ? answer.substr(3) : "no result"),
                    ExitRefused);
    return Fail(what + ": " + answer, ExitFailure);
}

struct Options {
    std::string socketPath = pelkor::dde::SocketPathFromEnvironment();
    std::string topic = "TASK";
    double timeout = 5, seconds = -1, countValue = -1;
    std::vector<std::string> args;
};

// Returns the exit code when the command line ends the run, -1 to go on.
int ParseArgs(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "-h" || a == "--help") {
            std::fputs(Usage, stdout);
            return ExitOk;
        } else if (a == "--socket") {
            if (!value(o.socketPath))
                return Fail("--socket needs a path\n" + std::string(Usage), ExitUsage);
        } else if (a == "--topic") {
            if (!value(o.topic)) return Fail("--topic needs a name", ExitUsage);
        } else if (a == "--timeout" || a == "--seconds" || a == "--count") {
            double d;
            if (!value(v) || !ParseNumber(v, d))
                return Fail(a + " needs a number of 0 or more", ExitUsage);
            (a == "--timeout" ? o.timeout : a == "--seconds" ? o.seconds : o.countValue) = d;
        } else {
            o.args.push_back(a);
        }
    }
    return -1;
}

// Returns the exit code for a command line that names no valid command, -1 otherwise.
int CheckCommand(const std::vector<std::string>& args) {
    if (args.empty()) return Fail("no command given\n" + std::string(Usage), ExitUsage);
    const std::string command = args[0];
    const bool needsItem = command == "request" || command == "advise" || command == "poke";
    if (command != "request" && command != "advise" && command != "poke" && command != "execute")
        return Fail("unknown command \"" + command + "\"\n" + Usage, ExitUsage);
    if (needsItem && args.size() < 2) return Fail(command + " needs an item", ExitUsage);
    if ((command == "request" || command == "advise") && args.size() > 2)
        return Fail("too many arguments for " + command, ExitUsage);
    return -1;
}

Clock::time_point TimeoutDeadline(const Options& o) {
    return Clock::now() + std::chrono::milliseconds(static_cast<long long>(o.timeout * 1000));
}

// Sends one line and waits for its answer; false (error set) when either fails.
bool Exchange(Connection& conn, const Options& o, const std::string& line, std::string& answer,
              std::string& error) {
    return conn.Send(line, error) && Answer(conn, TimeoutDeadline(o), answer, error);
}

// advise: print each pushed value until the count or the time is reached.
int Advise(Connection& conn, const Options& o) {
    std::string error, answer;
    std::string item = ItemName(o.args[1]);
    if (!Exchange(conn, o, "ADVSTART " + item, answer, error)) return Fail(error, ExitFailure);
    if (answer != "OK") return Report("advise link on " + item, answer);
    const bool bounded = o.seconds >= 0;
    const auto end =
        bounded ? Clock::now() + std::chrono::milliseconds(static_cast<long long>(o.seconds * 1000))
                : Clock::time_point::max();
    const long long wanted = o.countValue >= 0 ? static_cast<long long>(o.countValue) : -1;
    long long got = 0;
    while (wanted < 0 || got < wanted) {
        std::string line;
        if (!conn.ReadLine(end, line, error)) {
            if (bounded && Clock::now() >= end) break;
            return Fail(error, ExitFailure);
        }
        if (line.rfind("ADVISE ", 0) != 0) continue;
        std::size_t blank = line.find(' ', 7);
        std::printf("%s\n", blank == std::string::npos ? "" : line.c_str() + blank + 1);
        std::fflush(stdout);
        ++got;
    }
    if (conn.Send("ADVSTOP " + item, error)) Answer(conn, TimeoutDeadline(o), answer, error);
    if (wanted >= 0 && got < wanted)
        return Fail("only " + std::to_string(got) + " of " + std::to_string(wanted) +
                        " updates of " + item + " within " +
                        std::to_string(static_cast<long long>(o.seconds)) + " seconds",
                    ExitRefused);
    return ExitOk;
}

int RunCommand(Connection& conn, const Options& o) {
    const std::vector<std::string>& args = o.args;
    const std::string& command = args[0];
    std::string error, answer;
    std::string rest;
    for (std::size_t i = 1; i < args.size(); ++i)
        rest += (i > 1 ? " " : "") + args[i];
    if (command == "request") {
        std::string item = ItemName(args[1]);
        if (!Exchange(conn, o, "REQUEST " + item, answer, error)) return Fail(error, ExitFailure);
        return Report("request of " + item, answer);
    }
    if (command == "poke") {
        std::string data = rest.substr(args[1].size());
        if (!Exchange(conn, o, "POKE " + args[1] + pelkor::dde::LineSafe(data), answer, error))
            return Fail(error, ExitFailure);
        return Report("poke of " + args[1], answer);
    }
    if (command == "execute") {
        if (!Exchange(conn, o, "EXECUTE " + pelkor::dde::LineSafe(rest), answer, error))
            return Fail(error, ExitFailure);
        return Report("execute", answer);
    }
    return Advise(conn, o);
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    int code = ParseArgs(argc, argv, o);
    if (code < 0) code = CheckCommand(o.args);
    if (code >= 0) return code;

    Connection conn;
    std::string error, answer;
    if (!conn.Open(o.socketPath, error)) return Fail(error, ExitFailure);
    if (!Exchange(conn, o, "CONNECT " + pelkor::dde::LineSafe(o.topic), answer, error))
        return Fail(error, ExitFailure);
    if (answer != "OK")
        return Fail("conversation on topic \"" + o.topic + "\" refused: " + answer, ExitRefused);
    return RunCommand(conn, o);
}
