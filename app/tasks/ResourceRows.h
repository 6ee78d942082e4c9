#pragma once
// A task's resource list as the rows of the resource editor's grid (station,
// PCD variable, headline) and back.

#include <string>
#include <vector>

#include "core/AppContext.h"

namespace pelkor {

struct ResourceRow {
    std::string Station;  // empty: the station of the rows above
    std::string Variable; // "R 100 [10]", "F 5", "CLK", "K"
    std::string Head;
};

// One row per item of the task's parsed list; one empty row when it has none.
std::vector<ResourceRow> ResourceRowsOf(const Task& task);

// The row editor's fields of a variable text. Type: 0 Register, 1 Flag,
// 2 Input, 3 Clock. Number is empty for a count below 1.
struct VariableFields {
    int Type = 0;
    std::string Address;
    std::string Number;
};
VariableFields ParseVariableText(const std::string& cell);
// The cell text of the fields: "R 100 [10]" (the count only above 1), "K"
// for the clock.
std::string ComposeVariableText(int type, const std::string& address, const std::string& number);

// Why the rows cannot be applied, naming the row ("Row 3 : variable
// missing", "... not a valid address (R abc)", an address out of the
// connection manager's range, a ";" in a headline), or empty. Wholly empty
// rows are fine: they are left out.
std::string ResourceRowsProblem(const std::vector<ResourceRow>& rows);
// Why a headline text cannot be stored: ";" splits the output's columns,
// and "," cannot be stored in an optional column's text. Empty when fine.
std::string HeadlineTextProblem(const std::string& text, bool optionalColumn);

// Rewrites task n's resource table, Data and DataHead from the rows: a
// station is written once where it changes, the clock is "CLK", a "," inside
// a headline is kept as the character of code 1. Rows that name nothing
// readable are left out together with their heads.
void ApplyResourceRows(AppContext& app, int n, const std::vector<ResourceRow>& rows);

} // namespace pelkor
