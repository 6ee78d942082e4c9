#include "trend/TrendSources.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <optional>
#include <sstream>

#include "output/Output.h"
#include "util/DateTime.h"
#include "util/Number.h"
#include "util/Text.h"
#include "xls/Workbook.h"

namespace pelkor::trend {

namespace {

bool IsValueKind(char kind) {
    return kind == 'R' || kind == 'F' || kind == 'I';
}

// The field'th value of an entry's text (";v1;v2...").
std::string_view Field(std::string_view values, int field) {
    std::size_t pos = 0;
    for (int k = 0; k <= field; ++k) {
        pos = values.find(';', pos);
        if (pos == std::string_view::npos) return {};
        ++pos;
    }
    const std::size_t end = values.find(';', pos);
    return values.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
}

double NumberOrMissing(std::string_view text) {
    return IsNumeric(text) ? LeadingNumber(text) : Missing;
}

} // namespace

std::vector<std::string> LiveSeriesNames(const Task& task) {
    std::vector<std::string> names;
    for (const ValueHead& h : ValueHeads(task)) {
        const ResourceEntry& e = task.Resources[h.Entry];
        if (!IsValueKind(e.Kind)) continue;
        std::string name = Trim(h.Text);
        if (name.empty()) name = std::string(1, e.Kind) + " " + std::to_string(e.Address + h.Index);
        names.push_back(std::move(name));
    }
    return names;
}

std::vector<double> LiveValues(const Task& task) {
    std::vector<double> values;
    for (const ValueHead& h : ValueHeads(task)) {
        const ResourceEntry& e = task.Resources[h.Entry];
        if (!IsValueKind(e.Kind)) continue;
        values.push_back(NumberOrMissing(Field(e.Values, h.Index)));
    }
    return values;
}

double TimeX(Date stamp) {
    return static_cast<double>(TimeTFromDate(stamp));
}

void LiveFeed::Follow(int task) {
    task_ = task;
    model_.Reset(AxisKind::Time, {});
}

bool LiveFeed::Add(int task, Date stamp, const pelkor::Task& record) {
    if (task != task_) return false;
    const std::vector<std::string> names = LiveSeriesNames(record);
    bool same = model_.Axis() == AxisKind::Time && names.size() == model_.SeriesCount();
    for (std::size_t s = 0; same && s < names.size(); ++s)
        same = names[s] == model_.At(s).Name;
    if (!same) model_.Reset(AxisKind::Time, names);
    model_.AddRow(TimeX(stamp), LiveValues(record));
    return true;
}

namespace {

using Cells = std::vector<std::string_view>;

void SplitCells(std::string_view line, char separator, Cells& out) {
    out.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = line.find(separator, start);
        out.push_back(line.substr(start, end == std::string_view::npos ? std::string_view::npos
                                                                       : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    // A head line loses its last separator: trailing empty cells do not count.
    while (out.size() > 1 && Trim(out.back()).empty())
        out.pop_back();
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!Trim(line).empty()) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool IsDate(std::string_view cell, double& x) {
    Date d = 0;
    if (IsNumeric(cell) || !ParseDateText(cell, d)) return false;
    x = TimeX(d);
    return true;
}

bool IsHead(const Cells& cells) {
    double x;
    for (std::string_view c : cells)
        if (IsNumeric(c) || IsDate(c, x)) return false;
    return true;
}

struct Layout {
    std::size_t First = 0;  // first record line
    std::size_t Fields = 0; // cells of a record
    long TimeColumn = -1;
    bool LineCount = false; // the first column counts the records (1, 2, 3, ...)
    std::vector<bool> Numeric;
};

bool IsWholeNumber(std::string_view cell, double& n) {
    if (!IsNumeric(cell)) return false;
    n = LeadingNumber(cell);
    return n == std::floor(n);
}

// Which lines are records (field count, time stamp) and which columns hold numbers.
std::vector<bool> Survey(const std::vector<std::string_view>& lines, char sep, Layout& layout) {
    Cells cells;
    SplitCells(lines[layout.First], sep, cells);
    layout.Fields = cells.size();
    double x;
    for (std::size_t c = 0; c < cells.size() && layout.TimeColumn < 0; ++c)
        if (IsDate(cells[c], x)) layout.TimeColumn = static_cast<long>(c);
    layout.Numeric.assign(layout.Fields, false);
    std::vector<bool> ok(lines.size(), false);
    std::optional<double> previous;
    std::size_t breaks = 0, records = 0;
    for (std::size_t i = layout.First; i < lines.size(); ++i) {
        SplitCells(lines[i], sep, cells);
        // A record whose last fields are missing may end early.
        if (cells.size() > layout.Fields) continue;
        if (layout.TimeColumn >= 0 &&
            (cells.size() <= static_cast<std::size_t>(layout.TimeColumn) ||
             !IsDate(cells[layout.TimeColumn], x)))
            continue;
        ok[i] = true;
        ++records;
        double n = 0;
        if (!IsWholeNumber(cells[0], n) || (previous && n <= *previous))
            ++breaks;
        else
            previous = n;
        for (std::size_t c = 0; c < cells.size(); ++c)
            if (!layout.Numeric[c] && IsNumeric(cells[c])) layout.Numeric[c] = true;
    }
    // A line or two that break the count are malformed, not a sign that
    // the column is a value.
    layout.LineCount = breaks <= std::max<std::size_t>(1, records / 100);
    return ok;
}

bool ReadLines(const std::vector<std::string_view>& lines, char sep, TrendModel& model,
               FileSummary& summary, std::string& error) {
    if (lines.empty()) {
        error = "The file holds no records.";
        return false;
    }
    Cells cells;
    SplitCells(lines[0], sep, cells);
    const Cells head = cells;
    Layout layout;
    summary = FileSummary{};
    summary.HeadLine = IsHead(head);
    layout.First = summary.HeadLine ? 1 : 0;
    if (layout.First >= lines.size()) {
        error = "The file holds no records.";
        return false;
    }
    const std::vector<bool> ok = Survey(lines, sep, layout);
    std::vector<std::size_t> columns;
    std::vector<std::string> names;
    // A line-count column numbers the records: the axis when there is no
    // time stamp, never a series of its own.
    layout.LineCount = layout.LineCount && layout.TimeColumn != 0 && layout.Fields > 1;
    for (std::size_t c = layout.LineCount ? 1 : 0; c < layout.Fields; ++c) {
        if (!layout.Numeric[c] || static_cast<long>(c) == layout.TimeColumn) continue;
        columns.push_back(c);
        const std::string name =
            summary.HeadLine && c < head.size() ? Trim(head[c]) : std::string();
        names.push_back(name.empty() ? "Column " + std::to_string(c + 1) : name);
    }
    if (columns.empty()) {
        error = "The file holds no column of numbers to plot.";
        return false;
    }
    TrendModel result(model.Capacity());
    result.Reset(layout.TimeColumn >= 0 ? AxisKind::Time : AxisKind::RecordNumber, names);
    std::vector<double> values(columns.size());
    for (std::size_t i = layout.First; i < lines.size(); ++i) {
        bool good = ok[i];
        double x = static_cast<double>(i - layout.First + 1);
        if (good) SplitCells(lines[i], sep, cells);
        if (good && layout.LineCount) good = IsWholeNumber(cells[0], x);
        for (std::size_t k = 0; good && k < columns.size(); ++k) {
            const std::string_view cell =
                columns[k] < cells.size() ? cells[columns[k]] : std::string_view();
            values[k] = NumberOrMissing(cell);
            good = !std::isnan(values[k]) || Trim(cell).empty();
        }
        if (!good) {
            ++summary.Malformed;
            continue;
        }
        if (layout.TimeColumn >= 0) IsDate(cells[layout.TimeColumn], x);
        result.AddRow(x, values);
        ++summary.Records;
    }
    model = std::move(result);
    return true;
}

// The block of the first sheet holding cells, one line per row, cells
// separated by a character no cell Pelkor writes holds.
constexpr char CellSeparator = '\x1f';

bool WorkbookText(const std::string& path, std::string& text, std::string& error) {
    xls::Workbook book;
    if (!book.Load(path)) {
        error = "Cannot read the workbook " + path + " : " + book.Error();
        return false;
    }
    for (int s = 0; s < book.SheetCount(); ++s) {
        const int rows = book.LastRow(s), cols = book.LastColumn(s);
        if (rows == 0) continue;
        int firstCol = cols;
        for (int r = 1; r <= rows; ++r)
            for (int c = 1; c < firstCol; ++c)
                if (!book.CellText(s, r, c).empty()) firstCol = c;
        for (int r = 1; r <= rows; ++r) {
            std::string line;
            bool any = false;
            for (int c = firstCol; c <= cols; ++c) {
                if (c > firstCol) line += CellSeparator;
                const std::string cell = book.CellText(s, r, c);
                any = any || !cell.empty();
                line += cell;
            }
            if (any) text += line + '\n';
        }
        return true;
    }
    return true;
}

} // namespace

bool ReadTrendText(std::string_view text, TrendModel& model, FileSummary& summary,
                   std::string& error) {
    return ReadLines(SplitLines(text), ';', model, summary, error);
}

bool ReadTrendFile(const std::string& path, TrendModel& model, FileSummary& summary,
                   std::string& error) {
    std::string text;
    const bool workbook = EndsWithNoCase(path, ".xls");
    if (workbook) {
        if (!WorkbookText(path, text, error)) return false;
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            error = "Cannot open " + path;
            return false;
        }
        std::ostringstream all;
        all << in.rdbuf();
        if (in.bad()) {
            error = "Cannot read " + path;
            return false;
        }
        text = std::move(all).str();
    }
    if (ReadLines(SplitLines(text), workbook ? CellSeparator : ';', model, summary, error))
        return true;
    error = path + " : " + error;
    return false;
}

} // namespace pelkor::trend
