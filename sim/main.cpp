// pcdsim: PCD stations answering S-Bus on a pseudo-terminal (or a device).
#include "sim/PcdSim.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

std::atomic<bool> gStop{false};

void OnSignal(int) {
    gStop = true;
}

void Usage(FILE* to) {
    std::fputs("usage: pcdsim [--config FILE] [--station N]... [--link PATH] [--device PATH]\n"
               "              [--udp [ADDR:]PORT] [--baud RATE] [--seconds N] [--verbose]\n"
               "Answers S-Bus requests as one or more PCD stations. Without --device it opens a\n"
               "pseudo-terminal and prints its path on the first line of standard output; --link\n"
               "also makes PATH a symbolic link to it. --udp answers S-Bus over UDP on ADDR\n"
               "(default 127.0.0.1; [::1] for IPv6) and PORT (0: a free one) instead, and prints\n"
               "the Pelsbus port name udp:ADDR:PORT. Without --config or --station it simulates\n"
               "station 0. Runs until interrupted, or for --seconds N.\n",
               to);
}

bool Number(const char* text, long& out) {
    char* end = nullptr;
    out = std::strtol(text, &end, 10);
    return *text && *end == '\0';
}

struct Options {
    std::string link, device, udpAddress;
    long udpPort = -1;
    long seconds = 0;
    bool verbose = false, anyStation = false;
};

// [ADDR:]PORT, ADDR an IPv4 address or a bracketed IPv6 one.
bool ParseUdp(std::string v, Options& o) {
    o.udpAddress = "127.0.0.1";
    const size_t colon = v.rfind(':');
    if (colon != std::string::npos) {
        o.udpAddress = v.substr(0, colon);
        if (o.udpAddress.size() > 1 && o.udpAddress.front() == '[' && o.udpAddress.back() == ']')
            o.udpAddress = o.udpAddress.substr(1, o.udpAddress.size() - 2);
        v = v.substr(colon + 1);
    }
    if (!Number(v.c_str(), o.udpPort) || o.udpPort < 0 || o.udpPort > 65535) {
        std::fprintf(stderr, "pcdsim: bad UDP port\n");
        return false;
    }
    return true;
}

// Returns the exit code when the command line ends the run, -1 to go on.
int ParseArgs(int argc, char** argv, pcdsim::Simulator& sim, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* what) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "pcdsim: %s needs %s\n", a.c_str(), what);
                std::exit(2);
            }
            return argv[++i];
        };
        long n = 0;
        if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        } else if (a == "--config") {
            std::string error;
            if (!sim.LoadConfig(value("a file"), error)) {
                std::fprintf(stderr, "pcdsim: %s: %s\n", argv[i], error.c_str());
                return 2;
            }
            o.anyStation = true;
        } else if (a == "--station") {
            if (!Number(value("a number"), n) || n < 0 || n > 254) {
                std::fprintf(stderr, "pcdsim: station must be 0..254\n");
                return 2;
            }
            sim.AddStation(static_cast<int>(n));
            o.anyStation = true;
        } else if (a == "--link") {
            o.link = value("a path");
        } else if (a == "--device") {
            o.device = value("a path");
        } else if (a == "--udp") {
            if (!ParseUdp(value("[ADDR:]PORT"), o)) return 2;
        } else if (a == "--baud") {
            if (!Number(value("a rate"), n) || n < 0) {
                std::fprintf(stderr, "pcdsim: bad baud rate\n");
                return 2;
            }
            sim.SetBaud(static_cast<int>(n));
        } else if (a == "--seconds") {
            if (!Number(value("a number"), o.seconds) || o.seconds < 0) {
                std::fprintf(stderr, "pcdsim: bad number of seconds\n");
                return 2;
            }
        } else if (a == "--verbose" || a == "-v") {
            o.verbose = true;
        } else {
            std::fprintf(stderr, "pcdsim: unknown option %s\n", a.c_str());
            Usage(stderr);
            return 2;
        }
    }
    return -1;
}

int Run(pcdsim::Simulator& sim, const Options& o) {
    if (!o.anyStation) sim.AddStation(0);
    if (o.verbose) {
        sim.OnFrame([](const pcdsim::Frame& f) {
            std::fprintf(stderr, "pcdsim: station %d command %d address %d count %d%s%s\n",
                         f.station, f.command, f.address, f.count, f.crcOk ? "" : " (bad CRC)",
                         f.answered ? "" : " (no answer)");
        });
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    const bool ok = o.udpPort >= 0     ? sim.StartUdp(o.udpAddress, static_cast<int>(o.udpPort))
                    : o.device.empty() ? sim.Start(o.link)
                                       : sim.StartOnDevice(o.device);
    if (!ok) {
        std::fprintf(stderr, "pcdsim: %s\n", sim.LastError().c_str());
        return 1;
    }
    std::printf("%s\n", sim.SlavePath().c_str());
    std::fflush(stdout);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(o.seconds);
    while (!gStop && (o.seconds == 0 || std::chrono::steady_clock::now() < end))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    sim.Stop();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    pcdsim::Simulator sim;
    Options options;
    const int code = ParseArgs(argc, argv, sim, options);
    if (code >= 0) return code;
    return Run(sim, options);
}
