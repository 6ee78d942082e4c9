// Stand-in for PG5's communication library, for tests only. It keeps its
// channel record to itself (a text in the record's bytes), writes every call
// with its arguments to the file named by PG5STUB_LOG, and answers from the
// model file named by PG5STUB_MODEL, read again at every call:
//   code.<Function>=N   that function returns N (default 0)
//   stations=3,5        stations that answer (default: all)
//   pcdstation=N        what PcdRdStation reports
//   status=N            PCD status number (default 2)
//   clock=Y,M,D,h,m,s   the PCD clock
//   F<n>=1, I<n>=1, R<n>=v   memory
//   dialog.<key>=value  what the connection dialog changes in the record

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "pcd/Pg5Library.h"

namespace {

using Model = std::map<std::string, std::string>;
constexpr int32_t Handle = 77;
bool g_connected = false;
int g_station = 0;

std::map<std::string, std::string> ReadPairs(std::istream& in) {
    std::map<std::string, std::string> m;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        auto eq = line.find('=');
        if (eq != std::string::npos) m.emplace(line.substr(0, eq), line.substr(eq + 1));
    }
    return m;
}

Model LoadModel() {
    const char* path = std::getenv("PG5STUB_MODEL");
    if (!path) return {};
    std::ifstream in(path);
    return ReadPairs(in);
}

long Num(const Model& m, const std::string& key, long def = 0) {
    auto it = m.find(key);
    return it == m.end() ? def : std::strtol(it->second.c_str(), nullptr, 10);
}

void Log(const std::string& line) {
    const char* path = std::getenv("PG5STUB_LOG");
    if (!path) return;
    std::ofstream out(path, std::ios::app);
    out << line << "\n";
}

int32_t Code(const Model& m, const char* fn) {
    return static_cast<int32_t>(Num(m, std::string("code.") + fn));
}

bool Answers(const Model& m, int station) {
    auto it = m.find("stations");
    if (it == m.end()) return true;
    std::stringstream ss(it->second);
    std::string item;
    while (std::getline(ss, item, ','))
        if (std::atoi(item.c_str()) == station) return true;
    return false;
}

// The record: "key=value\n" lines, NUL-terminated.
std::map<std::string, std::string> RecordPairs(const void* record) {
    std::stringstream ss(std::string(static_cast<const char*>(record)));
    return ReadPairs(ss);
}
void SetRecord(void* record, const std::map<std::string, std::string>& pairs) {
    std::string text;
    for (const auto& [k, v] : pairs)
        text += k + "=" + v + "\n";
    text.resize(std::min(text.size(), pelkor::Pg5ChannelRecordSize - 1));
    std::memcpy(record, text.c_str(), text.size() + 1);
}

// Minimal ini access for the stand-in's own keys.
std::vector<std::string> Lines(const char* file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}
bool IsSection(const std::string& line, const std::string& section) {
    if (line.size() < 2 || line[0] != '[') return false;
    std::string name = line.substr(1, line.find(']') - 1);
    return strcasecmp(name.c_str(), section.c_str()) == 0;
}
std::map<std::string, std::string> SectionPairs(const char* file, const std::string& section) {
    std::map<std::string, std::string> m;
    bool in = false;
    for (const auto& line : Lines(file)) {
        if (!line.empty() && line[0] == '[') {
            in = IsSection(line, section);
            continue;
        }
        auto eq = line.find('=');
        if (in && eq != std::string::npos) m.emplace(line.substr(0, eq), line.substr(eq + 1));
    }
    return m;
}
bool WriteKeys(const char* file, const std::string& section,
               const std::map<std::string, std::string>& keys) {
    auto lines = Lines(file);
    std::map<std::string, std::string> left = keys;
    std::vector<std::string> out;
    bool in = false;
    auto flush = [&] {
        for (const auto& [k, v] : left)
            out.push_back(k + "=" + v);
        left.clear();
    };
    bool seen = false;
    for (const auto& line : lines) {
        if (!line.empty() && line[0] == '[') {
            if (in) flush();
            in = IsSection(line, section);
            seen = seen || in;
            out.push_back(line);
            continue;
        }
        auto eq = line.find('=');
        if (in && eq != std::string::npos && left.count(line.substr(0, eq))) {
            std::string k = line.substr(0, eq);
            out.push_back(k + "=" + left[k]);
            left.erase(k);
            continue;
        }
        out.push_back(line);
    }
    if (in) flush();
    if (!seen) {
        out.push_back("[" + section + "]");
        flush();
    }
    std::ofstream f(file, std::ios::trunc | std::ios::binary);
    for (const auto& l : out)
        f << l << "\r\n";
    return static_cast<bool>(f);
}

const char* const ChannelKeys[] = {"Channel", "Port", "Baud", "PguMode"};

} // namespace

extern "C" {

int32_t PcdRdChanSetupFromIni(const char* file, const char* section, void* record, int16_t* flag) {
    Model m = LoadModel();
    Log(std::string("PcdRdChanSetupFromIni ") + (file ? file : "(none)") + " " + section);
    if (int32_t c = Code(m, "PcdRdChanSetupFromIni")) return c;
    std::map<std::string, std::string> rec;
    if (!file) {
        rec = {{"Channel", "S-BUS"}, {"Port", "1"}, {"Baud", "9600"}};
    } else {
        auto keys = SectionPairs(file, section);
        if (keys.find("Channel") == keys.end()) return 20; // PCD_BADFILE
        for (const char* k : ChannelKeys)
            if (keys.count(k)) rec[k] = keys[k];
        rec["Station"] = keys.count("Station") ? keys["Station"] : "0";
        rec["AutoStation"] = keys.count("AutoStation") ? keys["AutoStation"] : "0";
        if (keys.count("IPAddress")) rec["IPAddress"] = keys["IPAddress"];
    }
    SetRecord(record, rec);
    *flag = 1;
    return 0;
}

int32_t PcdWrChanSetupToIni(const char* file, const char* section, void* record) {
    Model m = LoadModel();
    Log(std::string("PcdWrChanSetupToIni ") + file + " " + section);
    if (int32_t c = Code(m, "PcdWrChanSetupToIni")) return c;
    auto rec = RecordPairs(record);
    std::map<std::string, std::string> keys;
    for (const char* k : ChannelKeys)
        if (rec.count(k)) keys[k] = rec[k];
    return WriteKeys(file, section, keys) ? 0 : 18; // PCD_WRERROR
}

int32_t PcdConnectChannel(int32_t* handle, void* record, int16_t* flag, int32_t a, int32_t b) {
    Model m = LoadModel();
    auto rec = RecordPairs(record);
    g_station = std::atoi(rec["Station"].c_str());
    Log("PcdConnectChannel flag=" + std::to_string(*flag) + " " + std::to_string(a) + " " +
        std::to_string(b) + " channel=" + rec["Channel"] + " station=" + rec["Station"] +
        " auto=" + rec["AutoStation"] + " ip=" + rec["IPAddress"]);
    if (rec.find("Channel") == rec.end()) return 26; // PCD_NOTINIT
    if (int32_t c = Code(m, "PcdConnectChannel")) return c;
    if (g_connected) return 9; // PCD_INUSE: the channel is still open
    *handle = Handle;
    g_connected = true;
    return 0;
}

#define STUB_CHECK(fn)                                                                             \
    Model m = LoadModel();                                                                         \
    if (h != Handle || !g_connected) return 35;                                                    \
    if (int32_t c = Code(m, fn)) return c

int32_t PcdDisconnectChannel(int32_t h, int32_t a, int32_t b) {
    Log("PcdDisconnectChannel " + std::to_string(h) + " " + std::to_string(a) + " " +
        std::to_string(b));
    STUB_CHECK("PcdDisconnectChannel");
    g_connected = false;
    return 0;
}

int32_t PcdComClose(int32_t h, int32_t a, int32_t b) {
    Log("PcdComClose " + std::to_string(h) + " " + std::to_string(a) + " " + std::to_string(b));
    Model m = LoadModel();
    return Code(m, "PcdComClose");
}

int32_t PcdSetStation(int32_t h, int32_t station) {
    Log("PcdSetStation " + std::to_string(h) + " " + std::to_string(station));
    STUB_CHECK("PcdSetStation");
    g_station = station;
    return 0;
}

int32_t PcdSetStationEx(int32_t h, int32_t station, const char* ip) {
    Log("PcdSetStationEx " + std::to_string(h) + " " + std::to_string(station) + " " + ip);
    STUB_CHECK("PcdSetStationEx");
    g_station = station;
    return 0;
}

int32_t PcdRdStation(int32_t h, int32_t* station) {
    Log("PcdRdStation " + std::to_string(h));
    STUB_CHECK("PcdRdStation");
    *station = static_cast<int32_t>(Num(m, "pcdstation"));
    g_station = *station;
    return 0;
}

int32_t PcdRdStatus(int32_t h, int32_t cpu, int32_t* status) {
    Log("PcdRdStatus " + std::to_string(h) + " " + std::to_string(cpu) +
        " station=" + std::to_string(g_station));
    STUB_CHECK("PcdRdStatus");
    if (!Answers(m, g_station)) return 6; // PCD_NORESP
    *status = static_cast<int32_t>(Num(m, "status", 2));
    return 0;
}

int32_t PcdRdClock(int32_t h, pelkor::Pg5ClockRecord* clock) {
    Log("PcdRdClock " + std::to_string(h));
    STUB_CHECK("PcdRdClock");
    if (!Answers(m, g_station)) return 6;
    int f[6] = {2026, 1, 1, 0, 0, 0};
    std::sscanf(m["clock"].c_str(), "%d,%d,%d,%d,%d,%d", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5]);
    *clock = {1,
              2,
              int16_t(f[0]),
              int16_t(f[1]),
              int16_t(f[2]),
              int16_t(f[3]),
              int16_t(f[4]),
              int16_t(f[5])};
    return 0;
}

int32_t PcdRdIOF(int32_t h, int32_t type, int32_t address, int32_t count, uint8_t* bytes) {
    Log("PcdRdIOF " + std::to_string(h) + " " + std::to_string(type) + " " +
        std::to_string(address) + " " + std::to_string(count));
    STUB_CHECK("PcdRdIOF");
    if (!Answers(m, g_station)) return 6;
    for (int i = 0; i < count; ++i)
        bytes[i] = Num(m, std::string(1, char(type)) + std::to_string(address + i)) ? '1' : '0';
    return 0;
}

int32_t PcdRdRTC(int32_t h, int32_t type, int32_t address, int32_t count, int32_t* values) {
    Log("PcdRdRTC " + std::to_string(h) + " " + std::to_string(type) + " " +
        std::to_string(address) + " " + std::to_string(count));
    STUB_CHECK("PcdRdRTC");
    if (!Answers(m, g_station)) return 6;
    for (int i = 0; i < count; ++i)
        values[i] =
            static_cast<int32_t>(Num(m, std::string(1, char(type)) + std::to_string(address + i)));
    return 0;
}

int32_t PcdRdDBItem(int32_t h, int32_t, int32_t, int32_t, int32_t*) {
    Log("PcdRdDBItem " + std::to_string(h));
    return 0;
}

} // extern "C"
