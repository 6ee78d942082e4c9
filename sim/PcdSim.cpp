#include "sim/PcdSim.h"

#include "sim/SimWire.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <limits>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace pcdsim {

using SteadyClock = std::chrono::steady_clock;

// ---------------------------------------------------------------- generators

Generator Generator::Constant(double value) {
    Generator g;
    g.kind = Kind::Constant;
    g.a = value;
    return g;
}

Generator Generator::Counter(double start, double step, double everyMs) {
    Generator g;
    g.kind = Kind::Counter;
    g.a = start;
    g.b = step;
    g.period = everyMs;
    return g;
}

Generator Generator::Ramp(double from, double to, double periodSeconds) {
    Generator g;
    g.kind = Kind::Ramp;
    g.a = from;
    g.b = to;
    g.period = periodSeconds;
    return g;
}

Generator Generator::Sine(double offset, double amplitude, double periodSeconds) {
    Generator g;
    g.kind = Kind::Sine;
    g.a = offset;
    g.b = amplitude;
    g.period = periodSeconds;
    return g;
}

int32_t Generator::Value(double seconds, uint64_t reads) const {
    double v = a;
    switch (kind) {
    case Kind::Constant:
        break;
    case Kind::Counter:
        v = a +
            b * (period > 0 ? std::floor(seconds * 1000.0 / period) : static_cast<double>(reads));
        break;
    case Kind::Ramp:
        if (period > 0) {
            const double phase = seconds / period - std::floor(seconds / period);
            v = a + (b - a) * phase;
        }
        break;
    case Kind::Sine:
        if (period > 0) v = a + b * std::sin(2.0 * M_PI * seconds / period);
        break;
    }
    if (pcdFloat) return static_cast<int32_t>(wire::IeeeToPcdFloat(static_cast<float>(v)));
    if (!(v == v)) return 0;
    const double r = std::round(v);
    if (r >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (r <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(r);
}

// ---------------------------------------------------------------- station

namespace {

struct FaultState {
    Fault f;
    uint64_t matched = 0;
    uint64_t fired = 0;
    std::mt19937 rng;
    std::uniform_real_distribution<double> draw{0.0, 1.0};
};

} // namespace

struct Station::Memory {
    std::vector<uint8_t> inputs = std::vector<uint8_t>(kBitCount);
    std::vector<uint8_t> outputs = std::vector<uint8_t>(kBitCount);
    std::vector<uint8_t> flags = std::vector<uint8_t>(kBitCount);
    std::vector<int32_t> counters = std::vector<int32_t>(kCounterCount);
    std::vector<int32_t> timers = std::vector<int32_t>(kCounterCount);
    std::vector<int32_t> registers = std::vector<int32_t>(kRegisterCount);
    std::map<std::pair<int, int>, Generator> generators; // (resource, address)
    std::map<std::pair<int, int>, uint64_t> generatorReads;
    std::map<int, std::vector<int32_t>> dataBlocks;
    std::map<std::pair<char, int>, int32_t> blockSizes;
    char status = 'R';
    std::time_t clockOffset = 0; // seconds added to the host's clock
    std::time_t clockFixed = -1; // a clock that stands still, or -1
    std::vector<FaultState> faults;
    uint64_t requests = 0;
};

namespace {

void CheckAddress(int addr, int count, const char* what) {
    if (addr < 0 || addr >= count)
        throw std::out_of_range(std::string("pcdsim: ") + what + " address out of range");
}

} // namespace

Station::Station(int address, std::mutex& mu)
    : address_(address), mu_(mu), m_(std::make_unique<Memory>()) {}
Station::~Station() = default;

void Station::SetInput(int addr, bool on) {
    CheckAddress(addr, kBitCount, "input");
    std::lock_guard<std::mutex> l(mu_);
    m_->inputs[addr] = on;
}
void Station::SetOutput(int addr, bool on) {
    CheckAddress(addr, kBitCount, "output");
    std::lock_guard<std::mutex> l(mu_);
    m_->outputs[addr] = on;
}
void Station::SetFlag(int addr, bool on) {
    CheckAddress(addr, kBitCount, "flag");
    std::lock_guard<std::mutex> l(mu_);
    m_->flags[addr] = on;
}
void Station::SetCounter(int addr, int32_t v) {
    CheckAddress(addr, kCounterCount, "counter");
    std::lock_guard<std::mutex> l(mu_);
    m_->counters[addr] = v;
}
void Station::SetTimer(int addr, int32_t v) {
    CheckAddress(addr, kCounterCount, "timer");
    std::lock_guard<std::mutex> l(mu_);
    m_->timers[addr] = v;
}
void Station::SetRegister(int addr, int32_t v) {
    CheckAddress(addr, kRegisterCount, "register");
    std::lock_guard<std::mutex> l(mu_);
    m_->registers[addr] = v;
}
bool Station::Input(int addr) const {
    CheckAddress(addr, kBitCount, "input");
    std::lock_guard<std::mutex> l(mu_);
    return m_->inputs[addr] != 0;
}
bool Station::Output(int addr) const {
    CheckAddress(addr, kBitCount, "output");
    std::lock_guard<std::mutex> l(mu_);
    return m_->outputs[addr] != 0;
}
bool Station::Flag(int addr) const {
    CheckAddress(addr, kBitCount, "flag");
    std::lock_guard<std::mutex> l(mu_);
    return m_->flags[addr] != 0;
}
int32_t Station::Counter(int addr) const {
    CheckAddress(addr, kCounterCount, "counter");
    std::lock_guard<std::mutex> l(mu_);
    return m_->counters[addr];
}
int32_t Station::Timer(int addr) const {
    CheckAddress(addr, kCounterCount, "timer");
    std::lock_guard<std::mutex> l(mu_);
    return m_->timers[addr];
}
int32_t Station::Register(int addr) const {
    CheckAddress(addr, kRegisterCount, "register");
    std::lock_guard<std::mutex> l(mu_);
    return m_->registers[addr];
}

namespace {
int ResourceSize(Resource r) {
    switch (r) {
    case Resource::Input:
    case Resource::Output:
    case Resource::Flag:
        return kBitCount;
    case Resource::Counter:
    case Resource::Timer:
        return kCounterCount;
    case Resource::Register:
        return kRegisterCount;
    }
    return 0;
}
} // namespace

void Station::SetGenerator(Resource r, int addr, const Generator& g) {
    CheckAddress(addr, ResourceSize(r), "generator");
    std::lock_guard<std::mutex> l(mu_);
    m_->generators[{static_cast<int>(r), addr}] = g;
    m_->generatorReads[{static_cast<int>(r), addr}] = 0;
}
void Station::ClearGenerator(Resource r, int addr) {
    std::lock_guard<std::mutex> l(mu_);
    m_->generators.erase({static_cast<int>(r), addr});
}

void Station::SetDataBlock(int db, std::vector<int32_t> items) {
    std::lock_guard<std::mutex> l(mu_);
    m_->dataBlocks[db] = std::move(items);
}
void Station::SetDbItem(int db, int item, int32_t v) {
    if (item < 0 || item > 0xFFFFFF)
        throw std::out_of_range("pcdsim: data-block item out of range");
    std::lock_guard<std::mutex> l(mu_);
    auto& b = m_->dataBlocks[db];
    if (static_cast<size_t>(item) >= b.size()) b.resize(static_cast<size_t>(item) + 1);
    b[static_cast<size_t>(item)] = v;
}
int32_t Station::DbItem(int db, int item) const {
    std::lock_guard<std::mutex> l(mu_);
    auto it = m_->dataBlocks.find(db);
    if (it == m_->dataBlocks.end() || item < 0 || static_cast<size_t>(item) >= it->second.size())
        return 0;
    return it->second[static_cast<size_t>(item)];
}
void Station::SetBlockSize(char type, int block, int32_t size) {
    std::lock_guard<std::mutex> l(mu_);
    m_->blockSizes[{type, block}] = size;
}
void Station::SetStatus(char c) {
    std::lock_guard<std::mutex> l(mu_);
    m_->status = c;
}
char Station::Status() const {
    std::lock_guard<std::mutex> l(mu_);
    return m_->status;
}
void Station::SetClock(int year, int month, int day, int hour, int minute, int second, bool fixed) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    std::lock_guard<std::mutex> l(mu_);
    m_->clockOffset = t - std::time(nullptr);
    m_->clockFixed = fixed ? t : -1;
}
void Station::InjectFault(const Fault& f) {
    std::lock_guard<std::mutex> l(mu_);
    FaultState s;
    s.f = f;
    if (s.f.every < 1) s.f.every = 1;
    s.rng.seed(f.seed);
    m_->faults.push_back(std::move(s));
}
void Station::ClearFaults() {
    std::lock_guard<std::mutex> l(mu_);
    m_->faults.clear();
}
uint64_t Station::Requests() const {
    std::lock_guard<std::mutex> l(mu_);
    return m_->requests;
}

// ---------------------------------------------------------------- simulator

namespace {

// What the faults make of one answer.
enum class Action { Answer, Nak, Silence, BadCrc, Short, Delay };
struct Verdict {
    Action action = Action::Answer;
    int delayMs = 0;
    int shortBytes = -1;
};

} // namespace

struct Simulator::Impl {
    mutable std::mutex mu;
    std::map<int, std::unique_ptr<pcdsim::Station>> stations;
    int baud = 0;
    int frameGapMs = 1000;
    int fd = -1;      // pty master or the serial device
    int slaveFd = -1; // held open so the master never sees a hang-up between clients
    std::string path;
    std::string link;
    std::string lastError;
    int wake[2] = {-1, -1};
    std::thread thread;
    std::atomic<bool> running{false};
    std::deque<Frame> frames;
    std::function<void(const Frame&)> onFrame;
    SteadyClock::time_point started = SteadyClock::now();
    SteadyClock::time_point lineFree = SteadyClock::now();
    bool udp = false;
    int udpPort = 0;
    // Where an answer goes (over UDP) and the sequence number it repeats.
    struct Peer {
        sockaddr_storage addr{};
        socklen_t length = 0;
        uint16_t sequence = 0;
    };
    struct Outgoing {
        std::vector<uint8_t> bytes;
        Peer peer;
    };
    // Answers waiting for their time (delay faults, baud pacing), in order.
    std::multimap<SteadyClock::time_point, Outgoing> pending;

    bool Launch();
    void SendDue();
    void Run();
    void RunUdp();
    bool SleepUntil(SteadyClock::time_point t); // false when stopping
    // One request: the telegram without a CRC, whether its CRC was right,
    // the bytes as received, and over UDP the sender.
    void Handle(const std::vector<uint8_t>& req, bool crcOk, const std::vector<uint8_t>& raw,
                const Peer* peer);
    // Handle's steps; all but Schedule run under the lock.
    static int32_t GenValue(Station::Memory& m, Resource r, int addr, int32_t stored,
                            double seconds);
    static std::vector<uint8_t>& Bits(Station::Memory& m, Resource r);
    static std::vector<int32_t>& Values(Station::Memory& m, Resource r);
    static Verdict PickFault(Station::Memory& m, int cmd);
    bool ReadData(Station::Memory& m, int cmd, const wire::Decoded& dq, std::vector<uint8_t>& data);
    static bool WriteData(Station::Memory& m, int cmd, const wire::Decoded& dq,
                          const std::vector<uint8_t>& req, bool carryOut);
    static std::vector<uint8_t> Shape(const Verdict& v, bool refused, bool isWrite,
                                      const std::vector<uint8_t>& data, const Peer* peer);
    void Schedule(std::vector<uint8_t> answer, const Verdict& v, const Peer* peer);
    void CloseAll();
    SteadyClock::duration WireTime(size_t bytes) const {
        return std::chrono::duration_cast<SteadyClock::duration>(
            std::chrono::duration<double>(static_cast<double>(bytes) * 11.0 / baud));
    }
};

Simulator::Simulator() : d_(std::make_unique<Impl>()) {}
Simulator::~Simulator() {
    Stop();
}

pcdsim::Station& Simulator::AddStation(int address) {
    if (address < 0 || address > 254) throw std::out_of_range("pcdsim: station must be 0..254");
    std::lock_guard<std::mutex> l(d_->mu);
    auto& s = d_->stations[address];
    if (!s) s.reset(new pcdsim::Station(address, d_->mu));
    return *s;
}

pcdsim::Station& Simulator::Station(int address) {
    std::lock_guard<std::mutex> l(d_->mu);
    auto it = d_->stations.find(address);
    if (it == d_->stations.end())
        throw std::out_of_range("pcdsim: station " + std::to_string(address) + " not added");
    return *it->second;
}

bool Simulator::HasStation(int address) const {
    std::lock_guard<std::mutex> l(d_->mu);
    return d_->stations.count(address) != 0;
}

void Simulator::SetBaud(int baud) {
    std::lock_guard<std::mutex> l(d_->mu);
    d_->baud = baud > 0 ? baud : 0;
}

void Simulator::SetFrameGap(int ms) {
    std::lock_guard<std::mutex> l(d_->mu);
    d_->frameGapMs = ms > 0 ? ms : 1;
}

namespace {

void MakeRaw(termios& t) {
    cfmakeraw(&t);
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

} // namespace

bool Simulator::Start(const std::string& link) {
    if (Running()) Stop();
    Impl& d = *d_;
    d.lastError.clear();
    d.fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (d.fd < 0 || grantpt(d.fd) != 0 || unlockpt(d.fd) != 0 ||
        ptsname_r(d.fd, name, sizeof name) != 0) {
        d.lastError = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        d.CloseAll();
        return false;
    }
    d.path = name;
    d.slaveFd = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (d.slaveFd < 0 || tcgetattr(d.slaveFd, &t) != 0) {
        d.lastError = "cannot open " + d.path + ": " + std::strerror(errno);
        d.CloseAll();
        return false;
    }
    // Raw from the start: an echoing slave would hand our answers back to us.
    MakeRaw(t);
    tcsetattr(d.slaveFd, TCSANOW, &t);
    if (!link.empty()) {
        struct stat st {};
        if (lstat(link.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                d.lastError = "will not replace " + link + ": not a symbolic link";
                d.CloseAll();
                return false;
            }
            ::unlink(link.c_str());
        }
        if (symlink(d.path.c_str(), link.c_str()) != 0) {
            d.lastError = "cannot create the link " + link + ": " + std::strerror(errno);
            d.CloseAll();
            return false;
        }
        d.link = link;
    }
    return d.Launch();
}

bool Simulator::StartOnDevice(const std::string& path) {
    if (Running()) Stop();
    Impl& d = *d_;
    d.lastError.clear();
    d.fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (d.fd < 0 || tcgetattr(d.fd, &t) != 0) {
        d.lastError = "cannot open " + path + ": " + std::strerror(errno);
        d.CloseAll();
        return false;
    }
    MakeRaw(t);
    t.c_cflag |= PARENB | CMSPAR; // space parity; the station byte's mark bit is not checked
    const int baud = d.baud > 0 ? d.baud : 9600;
    speed_t sp = B9600;
    switch (baud) {
    case 150:
        sp = B150;
        break;
    case 300:
        sp = B300;
        break;
    case 600:
        sp = B600;
        break;
    case 1200:
        sp = B1200;
        break;
    case 2400:
        sp = B2400;
        break;
    case 4800:
        sp = B4800;
        break;
    case 19200:
        sp = B19200;
        break;
    case 38400:
        sp = B38400;
        break;
    default:
        break;
    }
    cfsetispeed(&t, sp);
    cfsetospeed(&t, sp);
    tcsetattr(d.fd, TCSANOW, &t);
    d.path = path;
    return d.Launch();
}

bool Simulator::StartUdp(const std::string& address, int port) {
    if (Running()) Stop();
    Impl& d = *d_;
    d.lastError.clear();
    sockaddr_storage ss{};
    socklen_t len = 0;
    if (auto* a4 = reinterpret_cast<sockaddr_in*>(&ss);
        inet_pton(AF_INET, address.c_str(), &a4->sin_addr) == 1) {
        a4->sin_family = AF_INET;
        a4->sin_port = htons(static_cast<uint16_t>(port));
        len = sizeof(sockaddr_in);
    } else if (auto* a6 = reinterpret_cast<sockaddr_in6*>(&ss);
               inet_pton(AF_INET6, address.c_str(), &a6->sin6_addr) == 1) {
        a6->sin6_family = AF_INET6;
        a6->sin6_port = htons(static_cast<uint16_t>(port));
        len = sizeof(sockaddr_in6);
    } else {
        d.lastError = "not a numeric IP address: " + address;
        return false;
    }
    d.fd = ::socket(ss.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (d.fd < 0 || port < 0 || port > 65535 ||
        ::bind(d.fd, reinterpret_cast<sockaddr*>(&ss), len) != 0 ||
        getsockname(d.fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) {
        d.lastError = "cannot listen on " + address + " port " + std::to_string(port) + ": " +
                      std::strerror(errno);
        d.CloseAll();
        return false;
    }
    d.udpPort = ntohs(ss.ss_family == AF_INET ? reinterpret_cast<sockaddr_in*>(&ss)->sin_port
                                              : reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port);
    d.udp = true;
    d.path = "udp:" + (ss.ss_family == AF_INET6 ? "[" + address + "]" : address) + ":" +
             std::to_string(d.udpPort);
    return d.Launch();
}

int Simulator::UdpPort() const {
    return d_->udp ? d_->udpPort : 0;
}

bool Simulator::Impl::Launch() {
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        lastError = std::string("cannot create a pipe: ") + std::strerror(errno);
        CloseAll();
        return false;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    {
        std::lock_guard<std::mutex> l(mu);
        frames.clear();
    }
    started = SteadyClock::now();
    lineFree = started;
    pending.clear();
    running = true;
    thread = std::thread([this] { udp ? RunUdp() : Run(); });
    return true;
}

void Simulator::Impl::CloseAll() {
    if (fd >= 0) ::close(fd);
    if (slaveFd >= 0) ::close(slaveFd);
    for (int& w : wake) {
        if (w >= 0) ::close(w);
        w = -1;
    }
    fd = slaveFd = -1;
    udp = false;
    if (!link.empty()) ::unlink(link.c_str());
    link.clear();
}

void Simulator::Stop() {
    Impl& d = *d_;
    if (d.thread.joinable()) {
        d.running = false;
        const char c = 'x';
        (void)!::write(d.wake[1], &c, 1);
        d.thread.join();
    }
    d.running = false;
    d.CloseAll();
}

bool Simulator::Running() const {
    return d_->running;
}

std::string Simulator::SlavePath() const {
    return d_->path;
}

std::string Simulator::LastError() const {
    return d_->lastError;
}

std::vector<Frame> Simulator::Frames() const {
    std::lock_guard<std::mutex> l(d_->mu);
    return {d_->frames.begin(), d_->frames.end()};
}

void Simulator::ClearFrames() {
    std::lock_guard<std::mutex> l(d_->mu);
    d_->frames.clear();
}

void Simulator::OnFrame(std::function<void(const Frame&)> cb) {
    std::lock_guard<std::mutex> l(d_->mu);
    d_->onFrame = std::move(cb);
}

bool Simulator::Impl::SleepUntil(SteadyClock::time_point t) {
    for (;;) {
        const auto now = SteadyClock::now();
        if (now >= t) return running;
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(t - now).count();
        timespec ts{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
        pollfd p{wake[0], POLLIN, 0};
        if (ppoll(&p, 1, &ts, nullptr) > 0) return false;
    }
}

void Simulator::Impl::Run() {
    std::vector<uint8_t> buf;
    auto lastByte = SteadyClock::now();
    uint8_t chunk[512];
    while (running) {
        SendDue();
        int gap;
        {
            std::lock_guard<std::mutex> l(mu);
            gap = frameGapMs;
        }
        auto until = SteadyClock::now() + std::chrono::milliseconds(200);
        if (!buf.empty()) until = std::min(until, lastByte + std::chrono::milliseconds(gap));
        if (!pending.empty()) until = std::min(until, pending.begin()->first);
        const auto left = std::max<long long>(
            0, std::chrono::duration_cast<std::chrono::nanoseconds>(until - SteadyClock::now())
                   .count());
        timespec ts{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
        pollfd p[2] = {{fd, POLLIN, 0}, {wake[0], POLLIN, 0}};
        const int pr = ppoll(p, 2, &ts, nullptr);
        if (!running || (pr > 0 && (p[1].revents & POLLIN))) break;
        if (pr > 0 && (p[0].revents & POLLIN)) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n > 0) {
                const auto now = SteadyClock::now();
                buf.insert(buf.end(), chunk, chunk + n);
                lastByte = now;
                if (baud > 0) lineFree = std::max(lineFree, now) + WireTime(static_cast<size_t>(n));
            }
        } else if (pr > 0 && (p[0].revents & (POLLHUP | POLLERR))) {
            // A device without a reader on the other side: do not spin.
            SleepUntil(SteadyClock::now() + std::chrono::milliseconds(20));
        }
        while (!buf.empty() && running) {
            const size_t need = wire::RequestLength(buf.data(), buf.size());
            if (need == 0) { // unknown command: nothing to frame on, wait for the next request
                Frame f;
                f.station = buf[0];
                f.command = buf.size() > 1 ? buf[1] : -1;
                f.bytes = buf;
                std::function<void(const Frame&)> cb;
                {
                    std::lock_guard<std::mutex> l(mu);
                    frames.push_back(f);
                    if (frames.size() > 10000) frames.pop_front();
                    cb = onFrame;
                }
                if (cb) cb(f);
                buf.clear();
                break;
            }
            if (need > buf.size()) break;
            std::vector<uint8_t> req(buf.begin(), buf.begin() + static_cast<long>(need));
            buf.erase(buf.begin(), buf.begin() + static_cast<long>(need));
            const size_t n = req.size();
            const bool crcOk =
                wire::Crc16(req.data(), n - 2) == (uint16_t(req[n - 2]) << 8 | req[n - 1]);
            Handle(std::vector<uint8_t>(req.begin(), req.end() - 2), crcOk, req, nullptr);
        }
        if (!buf.empty() && SteadyClock::now() - lastByte >= std::chrono::milliseconds(gap))
            buf.clear();
    }
}

// Over UDP each datagram is one request: the frame must be whole and say
// S-Bus request; its telegram must have the length its command implies.
void Simulator::Impl::RunUdp() {
    std::vector<uint8_t> datagram(2048);
    while (running) {
        SendDue();
        auto until = SteadyClock::now() + std::chrono::milliseconds(200);
        if (!pending.empty()) until = std::min(until, pending.begin()->first);
        const auto left = std::max<long long>(
            0, std::chrono::duration_cast<std::chrono::nanoseconds>(until - SteadyClock::now())
                   .count());
        timespec ts{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
        pollfd p[2] = {{fd, POLLIN, 0}, {wake[0], POLLIN, 0}};
        const int pr = ppoll(p, 2, &ts, nullptr);
        if (!running || (pr > 0 && (p[1].revents & POLLIN))) break;
        if (pr <= 0 || !(p[0].revents & POLLIN)) continue;
        Peer peer;
        peer.length = sizeof peer.addr;
        const ssize_t r = ::recvfrom(fd, datagram.data(), datagram.size(), MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&peer.addr), &peer.length);
        if (r <= 0) continue;
        const std::vector<uint8_t> raw(datagram.begin(), datagram.begin() + r);
        const size_t n = raw.size();
        const size_t header = wire::kUdpHeader;
        if (n < header + 4 || wire::Get32(raw.data()) != n || raw[4] != 1 || raw[5] != 0 ||
            raw[8] != 0)
            continue;
        peer.sequence = static_cast<uint16_t>(raw[6] << 8 | raw[7]);
        std::vector<uint8_t> req(raw.begin() + static_cast<long>(header), raw.end() - 2);
        const bool crcOk =
            wire::Crc16(raw.data(), n - 2) == (uint16_t(raw[n - 2]) << 8 | raw[n - 1]);
        const size_t need = wire::RequestLength(req.data(), req.size());
        if (need != req.size() + 2) {
            Frame f;
            f.station = req[0];
            f.command = req[1];
            f.crcOk = crcOk;
            f.bytes = raw;
            std::lock_guard<std::mutex> l(mu);
            frames.push_back(f);
            if (frames.size() > 10000) frames.pop_front();
            continue;
        }
        Handle(req, crcOk, raw, &peer);
    }
}

namespace {

std::vector<uint8_t> WithCrc(std::vector<uint8_t> data) {
    const uint16_t c = wire::Crc16(data.data(), data.size());
    data.push_back(static_cast<uint8_t>(c >> 8));
    data.push_back(static_cast<uint8_t>(c));
    return data;
}

void Put32(std::vector<uint8_t>& out, int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    out.push_back(static_cast<uint8_t>(u >> 24));
    out.push_back(static_cast<uint8_t>(u >> 16));
    out.push_back(static_cast<uint8_t>(u >> 8));
    out.push_back(static_cast<uint8_t>(u));
}

int32_t Get32(const uint8_t* p) {
    return static_cast<int32_t>(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 |
                                p[3]);
}

uint8_t Bcd(int v) {
    return static_cast<uint8_t>((v / 10 % 10) << 4 | v % 10);
}

// The clock as a PCD answers it: ISO week, day of week (1 Monday .. 7),
// year (two digits), month, day, hour, minute, second, all BCD.
std::vector<uint8_t> ClockAnswer(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    char week[4];
    std::strftime(week, sizeof week, "%V", &tm);
    return {Bcd(std::atoi(week)),  Bcd(tm.tm_wday == 0 ? 7 : tm.tm_wday),
            Bcd(tm.tm_year % 100), Bcd(tm.tm_mon + 1),
            Bcd(tm.tm_mday),       Bcd(tm.tm_hour),
            Bcd(tm.tm_min),        Bcd(tm.tm_sec)};
}

} // namespace

int32_t Simulator::Impl::GenValue(Station::Memory& m, Resource r, int addr, int32_t stored,
                                  double seconds) {
    auto g = m.generators.find({static_cast<int>(r), addr});
    if (g == m.generators.end()) return stored;
    return g->second.Value(seconds, m.generatorReads[{static_cast<int>(r), addr}]++);
}

std::vector<uint8_t>& Simulator::Impl::Bits(Station::Memory& m, Resource r) {
    if (r == Resource::Input) return m.inputs;
    if (r == Resource::Output) return m.outputs;
    return m.flags;
}

std::vector<int32_t>& Simulator::Impl::Values(Station::Memory& m, Resource r) {
    if (r == Resource::Counter) return m.counters;
    if (r == Resource::Timer) return m.timers;
    return m.registers;
}

// Runs the station's faults that watch this command; the first that fires
// decides what happens to the answer, status changes apply all the same.
Verdict Simulator::Impl::PickFault(Station::Memory& m, int cmd) {
    Verdict v;
    for (FaultState& fs : m.faults) {
        if (fs.f.command != -1 && fs.f.command != cmd) continue;
        ++fs.matched;
        const uint64_t after = static_cast<uint64_t>(std::max(0, fs.f.after));
        if (fs.matched <= after) continue;
        if ((fs.matched - after) % static_cast<uint64_t>(fs.f.every) != 0) continue;
        if (fs.f.times > 0 && fs.fired >= static_cast<uint64_t>(fs.f.times)) continue;
        if (fs.f.probability < 1.0 && !(fs.draw(fs.rng) < fs.f.probability)) continue;
        ++fs.fired;
        if (fs.f.kind == Fault::Kind::Status) {
            m.status = fs.f.status;
            continue;
        }
        if (v.action != Action::Answer) continue;
        switch (fs.f.kind) {
        case Fault::Kind::Nak:
            v.action = Action::Nak;
            break;
        case Fault::Kind::Silence:
            v.action = Action::Silence;
            break;
        case Fault::Kind::BadCrc:
            v.action = Action::BadCrc;
            break;
        case Fault::Kind::ShortAnswer:
            v.action = Action::Short;
            v.shortBytes = fs.f.bytes;
            break;
        case Fault::Kind::Delay:
            v.action = Action::Delay;
            v.delayMs = fs.f.delayMs;
            break;
        case Fault::Kind::Status:
            break;
        }
    }
    return v;
}

// The data of a read command; false for a request the memory cannot serve
// (answered with NAK).
bool Simulator::Impl::ReadData(Station::Memory& m, int cmd, const wire::Decoded& dq,
                               std::vector<uint8_t>& data) {
    const double seconds = std::chrono::duration<double>(SteadyClock::now() - started).count();
    switch (cmd) {
    case 2:
    case 3:
    case 5: {
        const Resource r = cmd == 2   ? Resource::Flag
                           : cmd == 3 ? Resource::Input
                                      : Resource::Output;
        if (dq.address + dq.count > kBitCount) return false;
        data.assign(static_cast<size_t>((dq.count + 7) / 8), 0);
        for (int i = 0; i < dq.count; ++i) {
            const int a = dq.address + i;
            if (GenValue(m, r, a, Bits(m, r)[a], seconds) != 0)
                data[i / 8] |= static_cast<uint8_t>(1u << (i % 8));
        }
        return true;
    }
    case 0:
    case 6:
    case 7: {
        const Resource r = cmd == 0   ? Resource::Counter
                           : cmd == 7 ? Resource::Timer
                                      : Resource::Register;
        if (dq.count > 32 || dq.address + dq.count > ResourceSize(r)) return false;
        for (int i = 0; i < dq.count; ++i)
            Put32(data, GenValue(m, r, dq.address + i, Values(m, r)[dq.address + i], seconds));
        return true;
    }
    case 20:
        data.push_back(static_cast<uint8_t>(m.status));
        return true;
    case 4:
        data = ClockAnswer(m.clockFixed >= 0 ? m.clockFixed : std::time(nullptr) + m.clockOffset);
        return true;
    case 150:
    case 159: {
        auto b = m.dataBlocks.find(dq.db);
        if (dq.count > 32 || b == m.dataBlocks.end() ||
            static_cast<size_t>(dq.address) + static_cast<size_t>(dq.count) > b->second.size())
            return false;
        for (int i = 0; i < dq.count; ++i)
            Put32(data, b->second[static_cast<size_t>(dq.address + i)]);
        return true;
    }
    case 156: {
        static const char kTypes[] = "CXPFSTEDBIA";
        if (dq.count > 32 || dq.db < 0 || dq.db > 10) return false;
        for (int i = 0; i < dq.count; ++i) {
            auto s = m.blockSizes.find({kTypes[dq.db], dq.address + i});
            Put32(data, s == m.blockSizes.end() ? 0 : s->second);
        }
        return true;
    }
    default:
        return false; // known length, but nothing here answers it
    }
}

// Stores a write command's values (unless the request is refused by a
// fault, as on a real line); false when the memory cannot take them.
bool Simulator::Impl::WriteData(Station::Memory& m, int cmd, const wire::Decoded& dq,
                                const std::vector<uint8_t>& req, bool carryOut) {
    if (!dq.valid) return false;
    if (cmd == 11 || cmd == 13) {
        const Resource r = cmd == 11 ? Resource::Flag : Resource::Output;
        if (dq.address + dq.count > kBitCount) return false;
        for (int i = 0; carryOut && i < dq.count; ++i) {
            const int a = dq.address + i;
            Bits(m, r)[a] = (req[6 + i / 8] >> (i % 8)) & 1;
            m.generators.erase({static_cast<int>(r), a});
        }
        return true;
    }
    if (cmd == 151) {
        auto b = m.dataBlocks.find(dq.db);
        if (b == m.dataBlocks.end() ||
            static_cast<size_t>(dq.address) + static_cast<size_t>(dq.count) > b->second.size())
            return false;
        for (int i = 0; carryOut && i < dq.count; ++i)
            b->second[static_cast<size_t>(dq.address + i)] = Get32(&req[7 + 4 * i]);
        return true;
    }
    const Resource r = cmd == 10   ? Resource::Counter
                       : cmd == 15 ? Resource::Timer
                                   : Resource::Register;
    if (dq.address + dq.count > ResourceSize(r)) return false;
    for (int i = 0; carryOut && i < dq.count; ++i) {
        Values(m, r)[dq.address + i] = Get32(&req[5 + 4 * i]);
        m.generators.erase({static_cast<int>(r), dq.address + i});
    }
    return true;
}

// The bytes that go back: over UDP a response with the data or an
// acknowledge (code 0 ACK, 1 NAK); on the line the data with its CRC, ACK or
// NAK; spoiled as the verdict says.
std::vector<uint8_t> Simulator::Impl::Shape(const Verdict& v, bool refused, bool isWrite,
                                            const std::vector<uint8_t>& data, const Peer* peer) {
    auto shorten = [&](std::vector<uint8_t>& bytes) {
        const size_t keep = v.shortBytes < 0
                                ? (bytes.empty() ? 0 : bytes.size() - 1)
                                : std::min(bytes.size(), static_cast<size_t>(v.shortBytes));
        bytes.resize(keep);
    };
    std::vector<uint8_t> answer;
    if (peer) {
        std::vector<uint8_t> telegram = refused   ? std::vector<uint8_t>{0, 1}
                                        : isWrite ? std::vector<uint8_t>{0, 0}
                                                  : data;
        if (v.action == Action::Short) shorten(telegram);
        answer = wire::UdpFrame(peer->sequence, refused || isWrite ? 2 : 1, telegram);
        if (v.action == Action::BadCrc) answer.back() ^= 0x5A;
    } else {
        if (refused)
            answer.assign(1, 0x15);
        else if (isWrite)
            answer.assign(1, 0x06);
        else
            answer = WithCrc(data);
        if (v.action == Action::BadCrc && !answer.empty()) {
            if (isWrite)
                answer.assign(1, 0x55);
            else
                answer.back() ^= 0x5A;
        }
        if (v.action == Action::Short) shorten(answer);
    }
    if (v.action == Action::Silence) answer.clear();
    return answer;
}

// Decodes one complete request, runs it against the station's memory under
// the lock and sends the answer (paced, delayed or spoiled by a fault).
void Simulator::Impl::Handle(const std::vector<uint8_t>& req, bool crcOk,
                             const std::vector<uint8_t>& raw, const Peer* peer) {
    Frame f;
    f.bytes = raw;
    f.station = req[0];
    f.command = req[1];
    f.crcOk = crcOk;
    const int cmd = req[1];
    const wire::Decoded dq = wire::Decode(req.data(), req.size());
    f.count = dq.count;
    f.address = dq.address;
    f.db = dq.db;

    std::vector<uint8_t> answer;
    Verdict v;
    std::function<void(const Frame&)> cb;
    {
        std::lock_guard<std::mutex> l(mu);
        cb = onFrame;
        auto it = stations.find(f.station);
        if (f.crcOk && it != stations.end()) {
            Station::Memory& m = *it->second->m_;
            ++m.requests;
            v = PickFault(m, cmd);
            const bool carryOut = v.action != Action::Nak && v.action != Action::Silence;
            const bool isWrite = wire::IsWrite(cmd);
            std::vector<uint8_t> data;
            const bool served =
                isWrite ? WriteData(m, cmd, dq, req, carryOut) : ReadData(m, cmd, dq, data);
            answer = Shape(v, !served || v.action == Action::Nak, isWrite, data, peer);
            f.answered = !answer.empty();
        }
        frames.push_back(f);
        if (frames.size() > 10000) frames.pop_front();
    }
    if (!answer.empty()) Schedule(std::move(answer), v, peer);
    if (cb) cb(f);
}

void Simulator::Impl::Schedule(std::vector<uint8_t> answer, const Verdict& v, const Peer* peer) {
    auto when = SteadyClock::now();
    if (v.action == Action::Delay) when += std::chrono::milliseconds(v.delayMs);
    if (baud > 0 && !peer) {
        when = std::max(when, lineFree) + WireTime(answer.size());
        lineFree = when;
    }
    pending.emplace(when, Outgoing{std::move(answer), peer ? *peer : Peer{}});
    SendDue();
}

void Simulator::Impl::SendDue() {
    while (!pending.empty() && pending.begin()->first <= SteadyClock::now()) {
        const Outgoing out = std::move(pending.begin()->second);
        pending.erase(pending.begin());
        const std::vector<uint8_t>& answer = out.bytes;
        if (udp) {
            ::sendto(fd, answer.data(), answer.size(), 0,
                     reinterpret_cast<const sockaddr*>(&out.peer.addr), out.peer.length);
            continue;
        }
        size_t done = 0;
        while (done < answer.size()) {
            const ssize_t w = ::write(fd, answer.data() + done, answer.size() - done);
            if (w > 0)
                done += static_cast<size_t>(w);
            else if (w < 0 && errno == EINTR)
                continue;
            else if (w < 0 && errno == EAGAIN) {
                pollfd p{fd, POLLOUT, 0};
                if (poll(&p, 1, 100) <= 0) break;
            } else
                break;
        }
    }
}

} // namespace pcdsim
