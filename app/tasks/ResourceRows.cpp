#include "tasks/ResourceRows.h"

#include <algorithm>
#include <cctype>

#include "tasks/Resources.h"
#include "util/Number.h"
#include "util/Text.h"

namespace pelkor {

namespace {

int16_t Short(double v) {
    int16_t out = 0;
    if (!ToInt16(v, out)) out = v < 0 ? INT16_MIN : INT16_MAX;
    return out;
}

// Address text and count of what follows the type letter.
void SplitAddress(const std::string& rest, std::string& address, double& count, bool& bracket) {
    const std::size_t open = rest.find('[');
    bracket = open != std::string::npos;
    if (!bracket) {
        address = rest;
        count = 1;
        return;
    }
    address = Trim(rest.substr(0, open));
    count = LeadingNumber(rest.substr(open + 1));
}

} // namespace

std::vector<ResourceRow> ResourceRowsOf(const Task& t) {
    const auto entries = t.Entries();
    std::vector<ResourceRow> rows;
    rows.reserve(std::max<std::size_t>(entries.size(), 1));
    for (const ResourceEntry& e : entries) {
        ResourceRow r;
        r.Station = e.StationText;
        r.Head = e.Head;
        const char kind = e.Kind;
        if (kind == 'K') {
            r.Variable = e.Label.empty() ? std::string("CLK") : Trim(e.Label);
        } else if (kind != '\0' && kind != ' ') {
            r.Variable = std::string(1, kind) + " " + std::to_string(e.Address);
            // A count other than 1 is shown, so Apply keeps it.
            if (e.Count != 1) r.Variable += " [" + std::to_string(e.Count) + "]";
        }
        rows.push_back(std::move(r));
    }
    if (rows.empty()) rows.emplace_back();
    return rows;
}

VariableFields ParseVariableText(const std::string& cell) {
    VariableFields f;
    if (ContainsNoCase(cell, "CLK")) {
        f.Type = 3;
        return f;
    }
    const std::string text = Trim(cell);
    if (text.empty()) return f;
    switch (std::toupper(static_cast<unsigned char>(text[0]))) {
    case 'F':
        f.Type = 1;
        break;
    case 'I':
        f.Type = 2;
        break;
    case 'K':
        f.Type = 3;
        return f;
    default:
        f.Type = 0;
        break;
    }
    std::string address;
    double count = 0;
    bool bracket = false;
    SplitAddress(Trim(text.substr(1)), address, count, bracket);
    f.Address = address;
    if (count >= 1) f.Number = NumberText(count);
    return f;
}

std::string ComposeVariableText(int type, const std::string& address, const std::string& number) {
    static const char* const prefix[] = {"R ", "F ", "I "};
    if (type == 3) return "K";
    std::string text = std::string(prefix[type >= 0 && type <= 2 ? type : 0]) + Trim(address);
    const double count = LeadingNumber(number);
    if (count > 1) text += " [" + NumberText(count) + "]";
    return text;
}

namespace {

bool Blank(const ResourceRow& row) {
    return Trim(row.Variable).empty() && Trim(row.Head).empty() && Trim(row.Station).empty();
}

bool IsClock(const std::string& var) {
    return ContainsNoCase(var, "CLK") || EqualsNoCase(var, "K");
}

// Why the row's variable cannot be read, or empty.
std::string VariableProblem(const std::string& var) {
    if (var.empty()) return "variable missing";
    if (IsClock(var)) return {};
    const char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(var[0])));
    std::string address;
    double count = 0;
    bool bracket = false;
    SplitAddress(Trim(var.substr(1)), address, count, bracket);
    if ((kind != 'R' && kind != 'F' && kind != 'I') || !IsNumeric(address))
        return "not a valid address (" + var + ")";
    const std::string range = EntryRangeProblem(kind, LeadingNumber(address), count, false);
    return range.empty() ? range : var + " " + range;
}

} // namespace

std::string HeadlineTextProblem(const std::string& text, bool optionalColumn) {
    if (text.find(';') != std::string::npos)
        return "\";\" cannot be used in a headline (" + text + ")";
    if (optionalColumn && text.find(',') != std::string::npos)
        return "\",\" cannot be used in the headline of an optional column (" + text + ")";
    return {};
}

std::string ResourceRowsProblem(const std::vector<ResourceRow>& rows) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (Blank(rows[i])) continue;
        std::string why = VariableProblem(Trim(rows[i].Variable));
        if (why.empty()) why = HeadlineTextProblem(rows[i].Head, false);
        if (!why.empty()) return "Row " + std::to_string(i + 1) + " : " + why;
    }
    return {};
}

void ApplyResourceRows(AppContext& app, int n, const std::vector<ResourceRow>& all) {
    Task& t = app.Tasks[n];
    // A row that names nothing readable has no item in Data, so it keeps no
    // head in DataHead either: the two lists stay item for item.
    std::vector<ResourceRow> rows;
    for (const ResourceRow& row : all)
        if (VariableProblem(Trim(row.Variable)).empty()) rows.push_back(row);
    t.Data.clear();
    t.DataHead.clear();
    if (rows.empty()) {
        ClearResourceTable(t);
        return;
    }
    const std::size_t count = std::min<std::size_t>(rows.size(), INT16_MAX);
    SizeResourceTable(t, count);
    t.ResourceCount = static_cast<int16_t>(count);
    long addresses = 0;
    bool explicitGiven = false;
    int16_t lastExplicit = 0;
    int16_t station = DefaultStation(app.Settings, t);
    std::vector<std::string> items, heads;
    for (std::size_t i = 0; i < count; ++i) {
        const ResourceRow& row = rows[i];
        ResourceEntry& e = t.Resources[i];
        const std::string stn = Trim(row.Station);
        bool inherited = true;
        if (!stn.empty()) {
            station = Short(LeadingNumber(stn));
            inherited = false;
            if (!explicitGiven || station != lastExplicit) {
                e.StationText = std::to_string(station);
                lastExplicit = station;
                explicitGiven = true;
            }
        }
        e.Station = station;
        e.StationInherited = inherited;

        // A clock row is the clock however it was chosen ("K" from the type
        // list, "CLK" typed): a bare "K" would be dropped from the list when
        // the task is saved.
        const std::string var = Trim(row.Variable);
        std::string label;
        if (IsClock(var)) {
            e.Kind = 'K';
            e.Address = 0;
            e.Count = 1;
            label = "CLK";
        } else {
            const char kind =
                var.empty() ? '\0'
                            : static_cast<char>(std::toupper(static_cast<unsigned char>(var[0])));
            const std::string rest = var.empty() ? std::string() : Trim(var.substr(1));
            std::string address;
            double number = 0;
            bool bracket = false;
            if (!rest.empty()) SplitAddress(rest, address, number, bracket);
            e.Kind = kind;
            e.Address = Short(LeadingNumber(address));
            e.Count = Short(number);
            label = (kind ? std::string(1, kind) : std::string()) + " " + address;
            if (e.Count > 1) label += " [" + std::to_string(e.Count) + "]";
        }
        e.Label = label;
        e.Head = row.Head;
        if (e.Count > 0) addresses += e.Count;
        items.push_back(e.StationText.empty() ? label : "STN " + e.StationText + " " + label);
        heads.push_back(ReplaceAll(row.Head, ",", "\x01"));
    }
    t.AddressCount = static_cast<int16_t>(std::min<long>(addresses, INT16_MAX));
    t.Data = Join(items, ",");
    t.DataHead = Join(heads, ",");
}

} // namespace pelkor
