#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace shoebox {

// The two subfolder names a move went into; either may be empty, as in the
// boxes.
struct SubfolderPair {
    std::string levelOne;
    std::string levelTwo;
    friend bool operator==(const SubfolderPair&, const SubfolderPair&) = default;
};

// Where the last moves went: the distinct subfolder pairs, most recent
// first. A pair used again moves to the front rather than standing twice,
// and the oldest falls off past `limit` (one for each of Ctrl+1 to Ctrl+9).
class RecentDestinations {
public:
    static constexpr std::size_t limit = 9;

    void record(const SubfolderPair& pair);
    // Starts from `pairs` (most recent first), as remembered from an earlier
    // run; a repeated pair and those past the limit are left out.
    void restore(const std::vector<SubfolderPair>& pairs);

    const std::vector<SubfolderPair>& pairs() const { return pairs_; }

private:
    std::vector<SubfolderPair> pairs_;
};

} // namespace shoebox
