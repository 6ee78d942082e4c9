#pragma once
// A serial port and platform services that record every step the engine
// takes (bytes with the parity they left with, settings, waits, messages) and
// answer reads from a script.

#include "sbus/Engine.h"

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

namespace pelsbus::test {

struct Step {
    enum Kind {
        Open,
        Close,
        GetSettings,
        SetSettings,
        Timeouts,
        Discard,
        Drain,
        Write,
        Read,
        Rts,
        Sleep
    };
    Step(Kind k) : kind(k) {}
    Kind kind;
    std::vector<uint8_t> bytes;   // Write: the bytes; Read: what was handed back
    Parity parity = Parity::None; // Write: parity in force; SetSettings: parity applied
    CommSettings settings;        // SetSettings
    CommTimeouts timeouts;        // Timeouts
    size_t want = 0;              // Read
    int value = 0;                // Sleep: ms; Rts: on
};

struct Log {
    std::vector<Step> steps;
    std::vector<std::string> messages;

    std::vector<Step> Of(Step::Kind k) const {
        std::vector<Step> out;
        for (const Step& s : steps)
            if (s.kind == k) out.push_back(s);
        return out;
    }
    size_t Count(Step::Kind k) const { return Of(k).size(); }
    void Clear() {
        steps.clear();
        messages.clear();
    }
};

struct Reply {
    std::vector<uint8_t> bytes;
    bool fail = false; // the read call itself fails
};

class ScriptedPort final : public SerialPort {
public:
    explicit ScriptedPort(Log& log) : log_(log) {}

    std::deque<Reply> replies; // one per Read; none left = nothing arrives
    bool failOpen = false;
    int openError = 2;
    bool failGet = false;
    int failSetFrom = -1; // SetSettings calls from this index on fail (-1: never)
    CommSettings initial;
    std::string opened; // the device of the last Open

    bool Open(const std::string& device, int& osError) override {
        opened = device;
        log_.steps.push_back({Step::Open});
        if (failOpen) {
            osError = openError;
            return false;
        }
        open_ = true;
        return true;
    }
    bool IsOpen() const override { return open_; }
    void Close() override {
        log_.steps.push_back({Step::Close});
        open_ = false;
    }
    bool GetSettings(CommSettings& s) override {
        log_.steps.push_back({Step::GetSettings});
        if (failGet || !open_) return false;
        s = initial;
        return true;
    }
    bool SetSettings(const CommSettings& s) override {
        Step st{Step::SetSettings};
        st.settings = s;
        st.parity = s.parity;
        log_.steps.push_back(st);
        const int index = sets_++;
        if (!open_ || (failSetFrom >= 0 && index >= failSetFrom)) return false;
        parity_ = s.parity;
        return true;
    }
    bool SetTimeouts(const CommTimeouts& t) override {
        Step st{Step::Timeouts};
        st.timeouts = t;
        log_.steps.push_back(st);
        return open_;
    }
    bool Discard() override {
        log_.steps.push_back({Step::Discard});
        return open_;
    }
    bool Drain() override {
        log_.steps.push_back({Step::Drain});
        return open_;
    }
    bool Write(const uint8_t* b, size_t n) override {
        Step st{Step::Write};
        st.bytes.assign(b, b + n);
        st.parity = parity_;
        log_.steps.push_back(st);
        return open_;
    }
    bool Read(uint8_t* buf, size_t want, size_t& got) override {
        Step st{Step::Read};
        st.want = want;
        got = 0;
        Reply r;
        if (!replies.empty()) {
            r = replies.front();
            replies.pop_front();
        }
        if (r.fail) {
            log_.steps.push_back(st);
            return false;
        }
        got = std::min(want, r.bytes.size());
        std::copy_n(r.bytes.begin(), got, buf);
        st.bytes.assign(buf, buf + got);
        log_.steps.push_back(st);
        return true;
    }
    bool SetRts(bool on) override {
        Step st{Step::Rts};
        st.value = on;
        log_.steps.push_back(st);
        return open_;
    }

private:
    Log& log_;
    bool open_ = false;
    int sets_ = 0;
    Parity parity_ = Parity::None;
};

class RecordingServices final : public Services {
public:
    explicit RecordingServices(Log& log) : log_(log) {}
    void Sleep(int32_t ms) override {
        Step st{Step::Sleep};
        st.value = ms;
        log_.steps.push_back(st);
    }
    void ShowError(const char* text) override { log_.messages.emplace_back(text); }

private:
    Log& log_;
};

// A good answer: the data bytes followed by their CRC, high byte first.
inline std::vector<uint8_t> Answer(std::vector<uint8_t> data) {
    CrcTable t;
    t.Build();
    const uint16_t c = SbusCrc16(t, 0, data.data(), data.size());
    data.push_back(static_cast<uint8_t>(c >> 8));
    data.push_back(static_cast<uint8_t>(c));
    return data;
}

inline std::vector<uint8_t> RegisterAnswer(const std::vector<int32_t>& values) {
    std::vector<uint8_t> d;
    for (int32_t v : values) {
        const uint32_t u = static_cast<uint32_t>(v);
        d.insert(d.end(), {uint8_t(u >> 24), uint8_t(u >> 16), uint8_t(u >> 8), uint8_t(u)});
    }
    return Answer(d);
}

} // namespace pelsbus::test
