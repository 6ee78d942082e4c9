#include "config/ResourceLists.h"

#include "util/Number.h"
#include "util/Text.h"

namespace pelkor {

bool BeginsWithStn(std::string_view item) {
    return StartsWithNoCase(item, "STN");
}

std::vector<std::string> NormalisedResourceItems(const std::string& data,
                                                 std::vector<std::size_t>& from) {
    std::vector<std::string> result;
    std::string pending;
    std::size_t k = 0;
    auto emit = [&](const std::string& item) {
        result.push_back(pending.empty() ? item : pending + ' ' + item);
        pending.clear();
        from.push_back(k);
    };
    for (const std::string& raw : Split(ReplaceAll(data, ";", ","), ',')) {
        std::string item = Trim(raw);
        if (item.empty()) {
            // nothing to emit; the raw index still counts
        } else if (BeginsWithStn(item)) {
            if (IsNumeric(Trim(std::string_view(item).substr(3))) &&
                item.find(' ', 4) == std::string::npos) {
                pending = item;
            } else {
                // The entry names its own station: a lone station before it
                // would make it unreadable, so the nearer one wins.
                pending.clear();
                emit(item);
            }
        } else if (StartsWithNoCase(item, "CLK")) {
            emit(item);
        } else if (item[0] >= '0' && item[0] <= '9') {
            emit(item);
        } else {
            std::size_t bracket = item.find('[');
            bool keep;
            if (bracket == std::string::npos || bracket < 2)
                keep = IsNumeric(Trim(std::string_view(item).substr(1)));
            else
                keep = IsNumeric(Trim(std::string_view(item).substr(1, bracket - 1)));
            if (keep) emit(item);
        }
        ++k;
    }
    return result;
}

std::string NormaliseResourceList(const std::string& data) {
    std::vector<std::size_t> from;
    return Join(NormalisedResourceItems(data, from), ",");
}

std::string NormaliseResourceList(const std::string& data, std::string& heads) {
    std::vector<std::size_t> from;
    const std::vector<std::string> items = NormalisedResourceItems(data, from);
    const std::vector<std::string> all = Split(heads, ',');
    // Heads written one per item of the list as it was: the heads of dropped
    // items go with them, or every later head would move one column left.
    if (!heads.empty() && all.size() == Split(ReplaceAll(data, ";", ","), ',').size() &&
        all.size() != items.size()) {
        std::vector<std::string> kept;
        for (std::size_t i : from)
            kept.push_back(all[i]);
        heads = Join(kept, ",");
    }
    return Join(items, ",");
}

std::string FitHeads(const std::string& heads, std::size_t entries) {
    if (heads.empty() || entries == 0) return entries == 0 ? std::string() : heads;
    std::vector<std::string> all = Split(heads, ',');
    all.resize(entries);
    return Join(all, ",");
}

bool ResourceHeadsLineUp(const std::string& data, const std::string& heads) {
    if (heads.empty()) return true;
    std::string h = heads;
    const std::string items = NormaliseResourceList(data, h);
    return Split(items, ',').size() == Split(h, ',').size() || (items.empty() && h.empty());
}

} // namespace pelkor
