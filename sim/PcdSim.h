#pragma once
// pcdsim: one or more PCD stations answering S-Bus (parity mode) on a
// pseudo-terminal, or S-Bus over UDP on a local address, for tests,
// benchmarks and demos.
//
//     pcdsim::Simulator sim;
//     sim.AddStation(5).SetRegister(0, 42);
//     sim.Station(5).InjectFault(pcdsim::Fault::Nak().OnCommand(6).Every(3));
//     if (!sim.Start()) FAIL() << sim.LastError();
//     setenv("PELSBUS_COM1", sim.SlavePath().c_str(), 1);
//     ... talk to it through Pelsbus ...
//     sim.Stop();                       // also done by the destructor
//
// A pty carries no parity bit, so requests are framed by position: station
// byte, command, then the length the command implies; the CRC is checked and
// only stations added here answer (others, and bad frames, get silence).
// Every method is thread-safe: the answering thread and the test share the
// memory under one lock, so a test may change values or faults while running.
//
// Memory of a station: inputs, outputs and flags 0..8191, counters and timers
// 0..1599, registers 0..16383, data blocks (32-bit items), block sizes, the
// status character (initially 'R') and a clock.  Requests outside the memory
// are answered with NAK, as a PCD does.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace pcdsim {

constexpr int kBitCount = 8192;       // inputs, outputs, flags
constexpr int kCounterCount = 1600;   // counters, timers
constexpr int kRegisterCount = 16384; // registers

enum class Resource { Input, Output, Flag, Counter, Timer, Register };

// A value that changes by itself, computed when the element is read.
// Seconds count from Simulator::Start().
struct Generator {
    enum class Kind { Constant, Counter, Ramp, Sine };
    Kind kind = Kind::Constant;
    double a = 0;          // Constant: value; Counter: start; Ramp: from; Sine: offset
    double b = 0;          // Counter: step; Ramp: to; Sine: amplitude
    double period = 1;     // Counter: ms per step (0 = one step per read); Ramp/Sine: seconds
    bool pcdFloat = false; // deliver the value in PCD float format (registers)

    static Generator Constant(double value);
    // start, start+step, ... one step every `everyMs` (0: one step per read).
    static Generator Counter(double start, double step, double everyMs = 0);
    // from -> to linearly over periodSeconds, then again from `from`.
    static Generator Ramp(double from, double to, double periodSeconds);
    static Generator Sine(double offset, double amplitude, double periodSeconds);
    Generator& AsPcdFloat() {
        pcdFloat = true;
        return *this;
    }

    // The 32-bit value at `seconds` after start, on the `reads`-th read (0-based).
    int32_t Value(double seconds, uint64_t reads) const;
};

// A deterministic fault, attached to one station.  It watches the requests
// that match `command` (-1: every command) and fires on some of them:
// the first `after` matching requests pass, then every `every`-th one fires,
// at most `times` times (0: no limit), each time with `probability` drawn
// from its own generator seeded with `seed`.
struct Fault {
    enum class Kind {
        Nak,         // answer 0x15 instead
        Silence,     // no answer at all
        BadCrc,      // answer with a wrong CRC (writes: a byte that is neither ACK nor NAK)
        ShortAnswer, // only the first `bytes` bytes (-1: all but the last)
        Delay,       // the normal answer, `delayMs` later
        Status       // set the status character to `status`, then answer normally
    };
    Kind kind = Kind::Nak;
    int command = -1;
    int after = 0;
    int every = 1;
    int times = 0;
    double probability = 1.0;
    uint32_t seed = 1;
    int delayMs = 0;
    int bytes = -1;
    char status = 'H';

    static Fault Nak() { return Fault{}; }
    static Fault Silence() { return Of(Kind::Silence); }
    static Fault BadCrc() { return Of(Kind::BadCrc); }
    static Fault ShortAnswer(int bytes = -1) {
        Fault f = Of(Kind::ShortAnswer);
        f.bytes = bytes;
        return f;
    }
    static Fault Delay(int ms) {
        Fault f = Of(Kind::Delay);
        f.delayMs = ms;
        return f;
    }
    static Fault StatusChange(char c) {
        Fault f = Of(Kind::Status);
        f.status = c;
        return f;
    }

    Fault& OnCommand(int c) {
        command = c;
        return *this;
    }
    Fault& After(int n) {
        after = n;
        return *this;
    }
    Fault& Every(int n) {
        every = n;
        return *this;
    }
    Fault& Times(int n) {
        times = n;
        return *this;
    }
    Fault& WithProbability(double p, uint32_t s) {
        probability = p;
        seed = s;
        return *this;
    }

private:
    static Fault Of(Kind k) {
        Fault f;
        f.kind = k;
        return f;
    }
};

// One request seen on the line (whatever station it was for).
struct Frame {
    int station = 0;
    int command = 0;
    int count = 0;   // elements asked for or written (0 for status and clock)
    int address = 0; // first element / item / word / block number
    int db = 0;      // data-block number (150, 151, 159) or block type (156)
    bool crcOk = false;
    bool answered = false;
    std::vector<uint8_t> bytes; // the request as received (over UDP the whole datagram)
};

class Simulator;

class Station {
public:
    int Address() const { return address_; }

    void SetInput(int addr, bool on);
    void SetOutput(int addr, bool on);
    void SetFlag(int addr, bool on);
    void SetCounter(int addr, int32_t v);
    void SetTimer(int addr, int32_t v);
    void SetRegister(int addr, int32_t v);
    bool Input(int addr) const;
    bool Output(int addr) const;
    bool Flag(int addr) const;
    int32_t Counter(int addr) const;
    int32_t Timer(int addr) const;
    int32_t Register(int addr) const; // the stored value (generators are not run)

    // Elements with a generator take its value at each read; a write from the
    // line replaces the generator with the written value.
    void SetGenerator(Resource r, int addr, const Generator& g);
    void ClearGenerator(Resource r, int addr);

    // Data blocks hold 32-bit items; setting an item beyond the end grows the block.
    void SetDataBlock(int db, std::vector<int32_t> items);
    void SetDbItem(int db, int item, int32_t v);
    int32_t DbItem(int db, int item) const; // 0 when absent
    // Block sizes by type letter of "CXPFSTEDBIA" and block number (absent: 0).
    void SetBlockSize(char type, int block, int32_t size);

    void SetStatus(char c);
    char Status() const;
    // The station's clock runs from this local time on (fixed: stays at it).
    void SetClock(int year, int month, int day, int hour, int minute, int second,
                  bool fixed = false);

    void InjectFault(const Fault& f);
    void ClearFaults();
    // Requests addressed to this station with a good CRC.
    uint64_t Requests() const;

private:
    friend class Simulator;
    struct Memory;
    Station(int address, std::mutex& mu);
    int address_;
    std::mutex& mu_;
    std::unique_ptr<Memory> m_;

public:
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;
};

class Simulator {
public:
    Simulator();
    ~Simulator(); // stops
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Stations 0..254; adding one twice returns the existing one.
    pcdsim::Station& AddStation(int address);
    // Throws std::out_of_range for a station never added.
    pcdsim::Station& Station(int address);
    bool HasStation(int address) const;

    // Pace answers as a line at this baud rate would (11 bits per character,
    // request bytes included); 0 (default) answers at once.
    void SetBaud(int baud);
    // A request left incomplete for this long is dropped (default 1000 ms).
    void SetFrameGap(int ms);

    // Configuration text (format in docs/pcdsim.md). On error returns false
    // with "line N: ..." in `error`; stations read before the error stay.
    bool LoadConfig(const std::string& path, std::string& error);
    bool LoadConfigText(const std::string& text, std::string& error);

    // Opens a new pseudo-terminal and starts answering on it.  With a
    // non-empty `link`, also makes that path a symbolic link to the slave.
    bool Start(const std::string& link = "");
    // Answers on an existing serial device instead (space parity, raw).
    bool StartOnDevice(const std::string& path);
    // Answers S-Bus over UDP instead, on a numeric IPv4 or IPv6 address and
    // a port (0: a free one, see UdpPort). Baud pacing does not apply.
    bool StartUdp(const std::string& address = "127.0.0.1", int port = 0);
    int UdpPort() const;
    // What a client opens: the slave device ("/dev/pts/N"), the device
    // path, or over UDP the Pelsbus port name "udp:ADDR:PORT".
    std::string SlavePath() const;
    void Stop();
    bool Running() const;
    std::string LastError() const;

    // The requests seen since Start or ClearFrames (the last 10000).
    std::vector<Frame> Frames() const;
    void ClearFrames();
    // Called (on the answering thread) after each frame, e.g. for a verbose log.
    void OnFrame(std::function<void(const Frame&)> cb);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace pcdsim
