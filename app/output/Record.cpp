// Record layout, head line and file naming shared by both writers.

#include <algorithm>
#include <string>
#include <vector>

#include "output/Output.h"
#include "util/DateTime.h"
#include "util/Number.h"
#include "util/Text.h"

namespace pelkor {

OutputKind OutputKindOf(const Task& task) {
    if (ContainsNoCase(task.FileType, "xl")) return OutputKind::Xls;
    if (ContainsNoCase(task.FileType, "csv")) return OutputKind::Csv;
    return OutputKind::None;
}

std::string OutputExtension(OutputKind kind) {
    switch (kind) {
    case OutputKind::Csv:
        return ".csv";
    case OutputKind::Xls:
        return ".xls";
    case OutputKind::None:
        break;
    }
    return "";
}

std::string PeriodSuffix(const Task& task, Date now) {
    if (task.FileIndex == 0) return "";
    switch (task.FileNew) {
    case 0:
        return "_D" + FormatDate(now, "ddmmyy");
    case 1:
        return "_W" + FormatDate(now, "wwyy");
    case 2:
        return "_M" + FormatDate(now, "mmyy");
    default:
        return "";
    }
}

std::string JoinEntryValues(const Task& task) {
    std::string values;
    for (const ResourceEntry& e : task.Entries())
        values += e.Values;
    if (!values.empty()) values.erase(0, 1);
    return values;
}

std::string TimeStampField(const Task& task, Date stamp) {
    if (task.FormatUsed != 0 && !task.FormatTime.empty()) {
        std::string text;
        if (TryFormatDate(stamp, task.FormatTime, text)) return text;
    }
    return GeneralDateText(stamp);
}

std::string BuildRecord(AppContext& app, int taskNumber, bool onDemand, std::string_view values) {
    const Task& task = app.Tasks[taskNumber];
    std::string record;
    if (task.TimeStamp != 0) {
        record += TimeStampField(task, onDemand ? app.Clk.Now() : task.NextRead);
        record += ';';
    }
    if (task.MissValues != 0) record += std::to_string(task.ReadMissing) + ";";
    if (task.TaskNumber != 0) record += "Task " + std::to_string(taskNumber) + ";";
    record += values;
    return record;
}

std::string WrittenRecord(const Task& task) {
    // The text writer numbers the line it writes; the workbook writer has
    // already put the number in front of LastValues.
    if (task.LineCount != 0 && OutputKindOf(task) == OutputKind::Csv)
        return std::to_string(task.LineCounter) + ";" + task.LastValues;
    return task.LastValues;
}

namespace {

// Values one entry contributes to a record: the reader writes fields only
// for registers, flags, inputs and the clock.
int ValuesOfEntry(const ResourceEntry& e) {
    switch (e.Kind) {
    case 'R':
    case 'F':
    case 'I':
        return std::max<int>(e.Count, 0);
    case 'K':
        return 1;
    default:
        return 0;
    }
}

std::string ReplaceNoCase(std::string text, std::string_view from, std::string_view to) {
    std::size_t pos = 0;
    while ((pos = FindNoCase(text, from, pos)) != std::string::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
    return text;
}

std::string HeadCell(std::string cell, char kind, int address, int j) {
    cell = ReplaceNoCase(std::move(cell), "<$T>", std::string(1, kind));
    cell = ReplaceNoCase(std::move(cell), "<$A>", std::to_string(address + j));
    cell = ReplaceNoCase(std::move(cell), "<$I>", std::to_string(j));
    const std::size_t p = FindNoCase(cell, "<$I+");
    if (p != std::string::npos) {
        const std::size_t q = cell.find('>', p + 4);
        if (q != std::string::npos && q > p + 4) {
            const double n = LeadingNumber(std::string_view(cell).substr(p + 4, q - p - 4));
            cell.replace(p, q - p + 1, NumberText(j + n));
        }
    }
    return cell;
}

} // namespace

std::vector<ValueHead> ValueHeads(const Task& task) {
    std::vector<ValueHead> heads;
    const auto entries = task.Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ResourceEntry& e = entries[i];
        const int count = ValuesOfEntry(e);
        if (count == 0) continue;
        const std::string& head = e.Head;
        const std::vector<std::string> parts = Split(head, ',');
        const bool repeat = ContainsNoCase(head, "<$I") || ContainsNoCase(head, "<$A");
        const int address = e.Address;
        for (int j = 0; j < count; ++j) {
            std::string text;
            if (static_cast<std::size_t>(j) < parts.size())
                text = parts[j];
            else if (repeat)
                text = parts.back();
            const char kind = e.Kind;
            std::string label = kind == 'K'
                                    ? std::string("CLK")
                                    : std::string(1, kind) + " " + std::to_string(address + j);
            heads.push_back({i, j, HeadCell(std::move(text), kind, address, j), std::move(label)});
        }
    }
    return heads;
}

std::string BuildHeadLine(const Task& task, std::string_view separator) {
    std::string line;
    // A head never splits a column: a separator inside it becomes ",".
    auto cell = [&](const std::string& text) {
        line += separator.empty() ? text : ReplaceAll(text, separator, ",");
        line += separator;
    };
    if (task.LineCount != 0) cell(task.LineCountText);
    if (task.TimeStamp != 0) cell(task.TimeStampText);
    if (task.MissValues != 0) cell(task.MissValuesText);
    if (task.TaskNumber != 0) cell(task.TaskNumberText);
    for (const ValueHead& head : ValueHeads(task))
        cell(head.Text);
    if (!separator.empty() && line.size() >= separator.size() &&
        line.compare(line.size() - separator.size(), separator.size(), separator) == 0)
        line.resize(line.size() - separator.size());
    return line;
}

namespace {

bool IsWholeNumber(std::string_view text) {
    const std::string t = Trim(text);
    std::size_t i = t.size() > 1 && (t[0] == '-' || t[0] == '+') ? 1 : 0;
    if (i == t.size()) return false;
    for (; i < t.size(); ++i)
        if (t[i] < '0' || t[i] > '9') return false;
    return true;
}

// Cells equal up to trailing empty ones (a head line loses its last ";").
bool SameCells(std::vector<std::string> a, std::vector<std::string> b) {
    while (!a.empty() && a.back().empty())
        a.pop_back();
    while (!b.empty() && b.back().empty())
        b.pop_back();
    return a == b;
}

} // namespace

bool StartsWithHeadLine(const Task& task, const std::vector<std::string>& first,
                        const std::vector<std::string>* second) {
    if (first.empty()) return false;
    if (SameCells(first, Split(BuildHeadLine(task), ';'))) return true;
    return second && !second->empty() && !IsWholeNumber(first.front()) &&
           IsWholeNumber(second->front());
}

} // namespace pelkor
