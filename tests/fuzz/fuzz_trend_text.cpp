// Any bytes read as a trend file are plotted or refused cleanly: every series
// holds a value per row, no more rows than records, extremes in order, and
// the reduced drawing of any span stays within the rows.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "trend/TrendSources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace pelkor::trend;
    TrendModel model(64);
    FileSummary summary;
    std::string error;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!ReadTrendText(text, model, summary, error)) {
        if (error.empty() || model.Rows() != 0) __builtin_trap();
        return 0;
    }
    if (model.SeriesCount() == 0 || model.Rows() > summary.Records) __builtin_trap();
    for (std::size_t s = 0; s < model.SeriesCount(); ++s) {
        const Series& series = model.At(s);
        if (series.Values.size() != model.Rows()) __builtin_trap();
        if (series.Extremes.Min() > series.Extremes.Max()) __builtin_trap();
        if (model.Rows() > 0 &&
            model.Reduced(s, model.FirstX(), model.LastX(), 4).size() > model.Rows() + 1)
            __builtin_trap();
    }
    return 0;
}
