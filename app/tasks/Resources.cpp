#include "tasks/Resources.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <vector>

#include "util/Number.h"
#include "util/Text.h"

namespace pelkor {

namespace {

// Parses an entry without a station prefix into slot i. CLK anywhere makes
// the clock; otherwise the first character is the kind and the rest the
// address part with an optional "[count]".
bool ParsePlainEntry(Task& t, std::size_t i, std::string_view item, std::string_view head) {
    if (item.empty()) return true;
    ResourceEntry& e = t.Resources[i];
    std::string headText = ReplaceAll(head, "\x01", ",");
    if (!BeginsWithStn(item) && ContainsNoCase(item, "CLK")) {
        e.Kind = 'K';
        e.Count = 1;
        e.Address = 0;
        e.Label = "CLK";
        e.Head = headText;
        int16_t total;
        if (!ToInt16(t.AddressCount + 1.0, total)) return false;
        t.AddressCount = total;
        return true;
    }
    char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(item[0])));
    std::string rest = Trim(item.substr(1));
    double count = 1;
    std::string address = rest;
    std::size_t bracket = rest.find('[');
    if (bracket != std::string::npos) {
        count = LeadingNumber(std::string_view(rest).substr(bracket + 1));
        address = Trim(std::string_view(rest).substr(0, bracket));
    }
    e.Kind = kind;
    if (!IsNumeric(address)) return true; // kind only: the reader skips it
    // Out of the connection manager's range the entry could never be read.
    if (!EntryRangeProblem(kind, LeadingNumber(address), count, true).empty()) return false;
    int16_t a, n;
    if (!ToInt16(LeadingNumber(address), a) || !ToInt16(count, n)) return false;
    // A count below 1 yields no value, so it adds nothing to the total.
    int16_t total;
    if (!ToInt16(static_cast<double>(t.AddressCount) + (n > 0 ? n : 0), total)) return false;
    e.Address = a;
    e.Count = n;
    e.Label = ResourceLabel(kind, a, n);
    e.Head = headText;
    t.AddressCount = total;
    return true;
}

} // namespace

std::string EntryRangeProblem(char kind, double address, double count, bool countZeroOk) {
    long limit = 0;
    const char* what = "";
    switch (kind) {
    case 'R':
        limit = 16384;
        what = "registers: address + count at most 16384";
        break;
    case 'F':
        limit = 8192;
        what = "flags: address + count at most 8192";
        break;
    case 'I':
        limit = 8192;
        what = "inputs: address + count at most 8192";
        break;
    default:
        return {};
    }
    if (address < 0 || (count < 1 && !countZeroOk) || address + std::max(count, 0.0) > limit)
        return std::string("out of range (") + what + ", count at least 1)";
    return {};
}

std::string ResourceListProblem(const std::string& data) {
    std::vector<std::size_t> from;
    for (const std::string& raw : NormalisedResourceItems(data, from)) {
        std::string item = Trim(raw);
        if (BeginsWithStn(item)) {
            const std::size_t blank = item.find(' ', 4);
            if (blank == std::string::npos) continue;
            item = Trim(std::string_view(item).substr(blank + 1));
        }
        if (item.empty() || ContainsNoCase(item, "CLK")) continue;
        const char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(item[0])));
        const std::string rest = Trim(std::string_view(item).substr(1));
        const std::size_t bracket = rest.find('[');
        const double count =
            bracket == std::string::npos ? 1 : LeadingNumber(rest.substr(bracket + 1));
        const std::string address = Trim(rest.substr(0, bracket));
        if (!IsNumeric(address)) continue;
        const std::string why = EntryRangeProblem(kind, LeadingNumber(address), count, false);
        if (!why.empty()) return Trim(raw) + " : " + why;
    }
    return {};
}

void SizeResourceTable(Task& t, std::size_t n) {
    if (n < 1) n = 1;
    t.Resources.assign(n, ResourceEntry{});
}

void ClearResourceTable(Task& t) {
    SizeResourceTable(t, 1);
    t.ResourceCount = 0;
    t.AddressCount = 0;
}

std::string ResourceLabel(char kind, int16_t address, int16_t count) {
    if (kind == 'K') return "CLK";
    std::string label(1, kind);
    label += ' ';
    label += std::to_string(address);
    if (count > 0) label += " [" + std::to_string(count) + "]";
    return label;
}

bool ParseResourceEntry(Task& t, std::size_t i, std::string_view rawItem, std::string_view head,
                        int16_t defaultStation) {
    if (i >= t.Resources.size()) SizeResourceTable(t, i + 1); // never write past the table
    std::string item = Trim(rawItem);
    if (item.empty()) return true;
    ResourceEntry& e = t.Resources[i];
    if (i == 0) {
        e.Station = defaultStation;
        e.StationInherited = true;
    } else {
        e.Station = t.Resources[i - 1].Station;
        e.StationInherited = t.Resources[i - 1].StationInherited;
    }
    e.Label.clear();
    e.StationText.clear();

    if (BeginsWithStn(item)) {
        std::size_t blank = item.find(' ', 4);
        if (blank != std::string::npos) {
            int16_t station;
            if (!ToInt16(LeadingNumber(std::string_view(item).substr(3, blank - 3)), station))
                return false;
            e.Station = station;
            e.StationInherited = false;
            e.StationText = std::to_string(station);
            // The rest is a whole entry again, so "STN 5 CLK" reads station 5's clock.
            return ParsePlainEntry(t, i, Trim(std::string_view(item).substr(blank + 1)), head);
        }
    }
    return ParsePlainEntry(t, i, item, head);
}

bool ParseTaskResources(AppContext& app, int task) {
    try {
        Task& t = app.Tasks[task];
        t.Data = NormaliseResourceList(t.Data, t.DataHead);
        if (t.Data.empty()) {
            ClearResourceTable(t);
            return true;
        }
        std::vector<std::string> items = Split(t.Data, ',');
        std::vector<std::string> heads = Split(t.DataHead, ',');
        if (items.size() > 32767) {
            app.Status.LastErrorText = "SetResources function error : Overflow (" +
                                       std::to_string(items.size()) + " entries)";
            return false;
        }
        SizeResourceTable(t, items.size());
        t.ResourceCount = static_cast<int16_t>(items.size());
        t.AddressCount = 0;
        const int16_t station = DefaultStation(app.Settings, t);
        std::string bad;
        for (std::size_t i = 0; i < items.size(); ++i) {
            std::string_view head =
                i < heads.size() ? std::string_view(heads[i]) : std::string_view();
            const int16_t total = t.AddressCount;
            if (!ParseResourceEntry(t, i, items[i], head, station)) {
                // Only this entry is lost: it reads nothing, the rest are read.
                ResourceEntry& e = t.Resources[i];
                e.Kind = '\0';
                e.Count = 0;
                t.AddressCount = total;
                e.Label = Trim(items[i]);
                if (bad.empty()) bad = Trim(items[i]);
            }
        }
        if (!bad.empty()) {
            app.Status.LastErrorText = "SetResources function error : Overflow in entry " + bad;
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        app.Status.LastErrorText = std::string("SetResources function error : ") + e.what();
        return false;
    }
}

} // namespace pelkor
