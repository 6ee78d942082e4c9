// Stand-in for PG5's connection dialog (tests only): instead of asking the
// user, applies the model's "dialog.<key>=value" lines to the channel record.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "pcd/Pg5Library.h"

extern "C" int32_t PcdConnectionDialog(intptr_t owner, void* record, int16_t* flag) {
    std::map<std::string, std::string> rec, changes;
    auto parse = [](std::istream& in, std::map<std::string, std::string>& out) {
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            auto eq = line.find('=');
            if (eq != std::string::npos) out.emplace(line.substr(0, eq), line.substr(eq + 1));
        }
    };
    std::stringstream cur(std::string(static_cast<const char*>(record)));
    parse(cur, rec);
    int32_t code = 0;
    if (const char* path = std::getenv("PG5STUB_MODEL")) {
        std::ifstream in(path);
        std::map<std::string, std::string> model;
        parse(in, model);
        for (const auto& [k, v] : model) {
            if (k.rfind("dialog.", 0) == 0) rec[k.substr(7)] = v;
            if (k == "code.PcdConnectionDialog") code = std::atoi(v.c_str());
        }
    }
    if (const char* path = std::getenv("PG5STUB_LOG")) {
        std::ofstream out(path, std::ios::app);
        out << "PcdConnectionDialog " << owner << " flag=" << *flag << "\n";
    }
    if (code) return code;
    std::string text;
    for (const auto& [k, v] : rec)
        text += k + "=" + v + "\n";
    text.resize(std::min(text.size(), pelkor::Pg5ChannelRecordSize - 1));
    std::memcpy(record, text.c_str(), text.size() + 1);
    return 0;
}
