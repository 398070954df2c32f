#include "sorting/RecentDestinations.h"

#include <algorithm>

namespace shoebox {

void RecentDestinations::record(const SubfolderPair& pair)
{
    std::erase(pairs_, pair);
    pairs_.insert(pairs_.begin(), pair);
    if (pairs_.size() > limit)
        pairs_.resize(limit);
}

void RecentDestinations::restore(const std::vector<SubfolderPair>& pairs)
{
    pairs_.clear();
    for (const SubfolderPair& pair : pairs) {
        if (pairs_.size() < limit && std::find(pairs_.begin(), pairs_.end(), pair) == pairs_.end())
            pairs_.push_back(pair);
    }
}

} // namespace shoebox
