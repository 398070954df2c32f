#pragma once

#include "platform/FileURL.h"

namespace shoebox {

// Watches a listing of a folder while it runs: the first file, as soon as it
// is known, and whether the caller still wants it. Both are called on the
// thread that runs the listing.
class ListingObserver {
public:
    virtual ~ListingObserver() = default;
    // The file that comes first in the listing's order, once every name has
    // been read and before the rest are sorted. Not called when none is found.
    virtual void firstFile(const FileURL& file) = 0;
    // True gives up the listing: it stops after the read or step under way,
    // and returns nothing. Asked between reads of the folder and steps of the sort.
    virtual bool stopped() = 0;
};

// A listing nobody watches: it runs to its end.
class UnwatchedListing final : public ListingObserver {
public:
    void firstFile(const FileURL&) override {}
    bool stopped() override { return false; }
};

} // namespace shoebox
