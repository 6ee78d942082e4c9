// The simulator's configuration text: one statement per line, words separated
// by blanks, "#" starts a comment. The format is described in docs/pcdsim.md.
#include "sim/PcdSim.h"

#include "sim/SimWire.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace pcdsim {

namespace {

struct ConfigError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

long long Integer(const std::string& w) {
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(w.c_str(), &end, 0);
    if (w.empty() || *end != '\0' || errno != 0)
        throw ConfigError("not a whole number: \"" + w + "\"");
    return v;
}

int32_t Value32(const std::string& w) {
    const long long v = Integer(w);
    // Accept both signed values and unsigned hexadecimal words such as 0x80000041.
    if (v < -2147483648LL || v > 4294967295LL)
        throw ConfigError("value out of 32-bit range: \"" + w + "\"");
    return static_cast<int32_t>(static_cast<uint32_t>(v));
}

double Real(const std::string& w) {
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(w.c_str(), &end);
    if (w.empty() || *end != '\0' || errno == ERANGE)
        throw ConfigError("not a number: \"" + w + "\"");
    return v;
}

int Address(const std::string& w, int limit, const char* what) {
    const long long v = Integer(w);
    if (v < 0 || v >= limit)
        throw ConfigError(std::string(what) + " address " + w + " outside 0.." +
                          std::to_string(limit - 1));
    return static_cast<int>(v);
}

bool ResourceOf(const std::string& word, Resource& r, int& limit) {
    const std::string w = Lower(word);
    if (w == "input")
        r = Resource::Input, limit = kBitCount;
    else if (w == "output")
        r = Resource::Output, limit = kBitCount;
    else if (w == "flag")
        r = Resource::Flag, limit = kBitCount;
    else if (w == "counter")
        r = Resource::Counter, limit = kCounterCount;
    else if (w == "timer")
        r = Resource::Timer, limit = kCounterCount;
    else if (w == "register")
        r = Resource::Register, limit = kRegisterCount;
    else
        return false;
    return true;
}

void Need(const std::vector<std::string>& w, size_t n, const char* usage) {
    if (w.size() < n) throw ConfigError(std::string("expected: ") + usage);
}

using Words = std::vector<std::string>;

void Baud(Simulator& sim, pcdsim::Station*&, const Words& w) {
    Need(w, 2, "baud <rate>");
    sim.SetBaud(static_cast<int>(Integer(w[1])));
}

void FrameGap(Simulator& sim, pcdsim::Station*&, const Words& w) {
    Need(w, 2, "framegap <ms>");
    sim.SetFrameGap(static_cast<int>(Integer(w[1])));
}

void StationLine(Simulator& sim, pcdsim::Station*& st, const Words& w) {
    Need(w, 2, "station <0..254>");
    const long long a = Integer(w[1]);
    if (a < 0 || a > 254) throw ConfigError("station " + w[1] + " outside 0..254");
    st = &sim.AddStation(static_cast<int>(a));
}

void SetValue(pcdsim::Station& st, Resource res, int addr, int32_t v) {
    switch (res) {
    case Resource::Input:
        st.SetInput(addr, v != 0);
        break;
    case Resource::Output:
        st.SetOutput(addr, v != 0);
        break;
    case Resource::Flag:
        st.SetFlag(addr, v != 0);
        break;
    case Resource::Counter:
        st.SetCounter(addr, v);
        break;
    case Resource::Timer:
        st.SetTimer(addr, v);
        break;
    case Resource::Register:
        st.SetRegister(addr, v);
        break;
    }
}

void ResourceValues(Simulator&, pcdsim::Station*& st, const Words& w) {
    Resource res;
    int limit = 0;
    ResourceOf(w[0], res, limit);
    Need(w, 3, "<resource> <address> [float] <value>...");
    int addr = Address(w[1], limit, w[0].c_str());
    size_t i = 2;
    const bool asFloat = Lower(w[2]) == "float";
    if (asFloat) {
        if (res != Resource::Register) throw ConfigError("\"float\" applies to registers only");
        ++i;
        Need(w, 4, "register <address> float <value>...");
    }
    for (; i < w.size(); ++i, ++addr) {
        if (addr >= limit) throw ConfigError(std::string("values run past the last ") + w[0]);
        if (asFloat) {
            st->SetRegister(
                addr, static_cast<int32_t>(wire::IeeeToPcdFloat(static_cast<float>(Real(w[i])))));
            continue;
        }
        SetValue(*st, res, addr, Value32(w[i]));
    }
}

void Status(Simulator&, pcdsim::Station*& st, const Words& w) {
    Need(w, 2, "status <character>");
    if (w[1].size() != 1) throw ConfigError("status takes one character, e.g. R");
    st->SetStatus(w[1][0]);
}

void DataBlock(Simulator&, pcdsim::Station*& st, const Words& w) {
    Need(w, 2, "db <number> <item value>...");
    std::vector<int32_t> items;
    for (size_t i = 2; i < w.size(); ++i)
        items.push_back(Value32(w[i]));
    st->SetDataBlock(static_cast<int>(Integer(w[1])), std::move(items));
}

void DataBlockSize(Simulator&, pcdsim::Station*& st, const Words& w) {
    Need(w, 3, "dbsize <number> <items>");
    const long long n = Integer(w[2]);
    if (n < 0 || n > 0x10000) throw ConfigError("data-block size outside 0..65536");
    st->SetDataBlock(static_cast<int>(Integer(w[1])), std::vector<int32_t>(static_cast<size_t>(n)));
}

void DataBlockItem(Simulator&, pcdsim::Station*& st, const Words& w) {
    Need(w, 4, "dbitem <number> <item> <value>...");
    const int db = static_cast<int>(Integer(w[1]));
    int item = Address(w[2], 0x10000, "data-block item");
    for (size_t i = 3; i < w.size(); ++i)
        st->SetDbItem(db, item++, Value32(w[i]));
}

void BlockSize(Simulator&, pcdsim::Station*& st, const Words& w) {
    Need(w, 4, "blocksize <type letter> <block> <size>");
    if (w[1].size() != 1 || std::string("CXPFSTEDBIA").find(w[1][0]) == std::string::npos)
        throw ConfigError("block type must be one of C X P F S T E D B I A");
    st->SetBlockSize(w[1][0], static_cast<int>(Integer(w[2])), Value32(w[3]));
}

void Clock(Simulator&, pcdsim::Station*& st, const Words& w) {
    Need(w, 3, "clock <yyyy-mm-dd> <hh:mm:ss> [fixed]");
    if (w.size() > 4 || (w.size() == 4 && w[3] != "fixed"))
        throw ConfigError("clock takes only the word fixed after the time");
    int y, mo, d, h, mi, s;
    char c1, c2, c3, c4;
    std::istringstream ds(w[1] + " " + w[2]);
    if (!(ds >> y >> c1 >> mo >> c2 >> d >> h >> c3 >> mi >> c4 >> s) || c1 != '-' || c2 != '-' ||
        c3 != ':' || c4 != ':')
        throw ConfigError("clock wants yyyy-mm-dd hh:mm:ss");
    st->SetClock(y, mo, d, h, mi, s, w.size() == 4);
}

Generator MakeGenerator(const std::string& kind, const std::vector<double>& p) {
    if (kind == "constant" && p.size() == 1) return Generator::Constant(p[0]);
    if (kind == "counter" && (p.size() == 2 || p.size() == 3))
        return Generator::Counter(p[0], p[1], p.size() == 3 ? p[2] : 0);
    if (kind == "ramp" && p.size() == 3) return Generator::Ramp(p[0], p[1], p[2]);
    if (kind == "sine" && p.size() == 3) return Generator::Sine(p[0], p[1], p[2]);
    throw ConfigError(
        "generator kinds: constant <v> | counter <start> <step> [<ms>] | ramp <from> <to> <s> | "
        "sine <offset> <amplitude> <s>");
}

void GeneratorLine(Simulator&, pcdsim::Station*& st, const Words& w) {
    Need(w, 5, "generator <resource> <address> <constant|counter|ramp|sine> <numbers>... [float]");
    Resource res;
    int limit = 0;
    if (!ResourceOf(w[1], res, limit)) throw ConfigError("unknown resource \"" + w[1] + "\"");
    const int addr = Address(w[2], limit, w[1].c_str());
    const std::string kind = Lower(w[3]);
    std::vector<double> p;
    bool asFloat = false;
    for (size_t i = 4; i < w.size(); ++i) {
        if (Lower(w[i]) == "float")
            asFloat = true;
        else
            p.push_back(Real(w[i]));
    }
    Generator g = MakeGenerator(kind, p);
    if (asFloat) {
        if (res != Resource::Register) throw ConfigError("\"float\" applies to registers only");
        g.AsPcdFloat();
    }
    st->SetGenerator(res, addr, g);
}

// The fault kind and its own arguments; i is left at the first option word.
Fault FaultKind(const Words& w, size_t& i) {
    const std::string kind = Lower(w[1]);
    Fault f;
    if (kind == "nak")
        f = Fault::Nak();
    else if (kind == "silence")
        f = Fault::Silence();
    else if (kind == "badcrc")
        f = Fault::BadCrc();
    else if (kind == "short") {
        f = Fault::ShortAnswer();
        if (i < w.size() && std::isdigit(static_cast<unsigned char>(w[i][0])))
            f.bytes = static_cast<int>(Integer(w[i++]));
    } else if (kind == "delay") {
        Need(w, 3, "fault delay <ms> ...");
        f = Fault::Delay(static_cast<int>(Integer(w[i++])));
    } else if (kind == "status") {
        Need(w, 3, "fault status <character> ...");
        if (w[i].size() != 1) throw ConfigError("fault status takes one character");
        f = Fault::StatusChange(w[i++][0]);
    } else
        throw ConfigError("unknown fault \"" + w[1] + "\"");
    return f;
}

void FaultOptions(const Words& w, size_t i, Fault& f) {
    while (i < w.size()) {
        const std::string opt = Lower(w[i]);
        if (i + 1 >= w.size()) throw ConfigError("\"" + w[i] + "\" needs a value");
        const std::string& v = w[i + 1];
        if (opt == "command")
            f.command = static_cast<int>(Integer(v));
        else if (opt == "after")
            f.after = static_cast<int>(Integer(v));
        else if (opt == "every")
            f.every = static_cast<int>(Integer(v));
        else if (opt == "times")
            f.times = static_cast<int>(Integer(v));
        else if (opt == "probability")
            f.probability = Real(v);
        else if (opt == "seed")
            f.seed = static_cast<uint32_t>(Integer(v));
        else
            throw ConfigError("unknown fault option \"" + w[i] + "\"");
        i += 2;
    }
}

void FaultLine(Simulator&, pcdsim::Station*& st, const Words& w) {
    Need(w, 2,
         "fault <nak|silence|badcrc|short [n]|delay <ms>|status <c>> [command c] [after n] [every "
         "n] "
         "[times n] [probability p seed s]");
    size_t i = 2;
    Fault f = FaultKind(w, i);
    FaultOptions(w, i, f);
    if (f.every < 1) throw ConfigError("every must be 1 or more");
    if (f.probability < 0 || f.probability > 1) throw ConfigError("probability must lie in 0..1");
    st->InjectFault(f);
}

struct StatementKind {
    const char* key;
    bool needsStation;
    void (*handle)(Simulator&, pcdsim::Station*&, const Words&);
};

const StatementKind kStatements[] = {
    {"baud", false, Baud},
    {"framegap", false, FrameGap},
    {"station", false, StationLine},
    {"input", true, ResourceValues},
    {"output", true, ResourceValues},
    {"flag", true, ResourceValues},
    {"counter", true, ResourceValues},
    {"timer", true, ResourceValues},
    {"register", true, ResourceValues},
    {"status", true, Status},
    {"db", true, DataBlock},
    {"dbsize", true, DataBlockSize},
    {"dbitem", true, DataBlockItem},
    {"blocksize", true, BlockSize},
    {"clock", true, Clock},
    {"generator", true, GeneratorLine},
    {"fault", true, FaultLine},
};

void Statement(Simulator& sim, pcdsim::Station*& st, const Words& w) {
    const std::string key = Lower(w[0]);
    for (const StatementKind& k : kStatements) {
        if (key != k.key) continue;
        if (k.needsStation && !st)
            throw ConfigError("\"" + w[0] + "\" before any \"station\" line");
        k.handle(sim, st, w);
        return;
    }
    throw ConfigError("unknown statement \"" + w[0] + "\"");
}

} // namespace

bool Simulator::LoadConfigText(const std::string& text, std::string& error) {
    std::istringstream in(text);
    std::string line;
    int number = 0;
    pcdsim::Station* st = nullptr;
    while (std::getline(in, line)) {
        ++number;
        if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream ws(line);
        std::vector<std::string> words;
        for (std::string w; ws >> w;)
            words.push_back(w);
        if (words.empty()) continue;
        try {
            Statement(*this, st, words);
        } catch (const std::exception& e) {
            error = "line " + std::to_string(number) + ": " + e.what();
            return false;
        }
    }
    return true;
}

bool Simulator::LoadConfig(const std::string& path, std::string& error) {
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        error = "cannot read " + path;
        return false;
    }
    std::ostringstream s;
    s << f.rdbuf();
    return LoadConfigText(s.str(), error);
}

} // namespace pcdsim
