#pragma once

#include "viewer/DecodedPicture.h"

#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace shoebox::imaging {

// Screen-size pictures by path, bounded in bytes, least recently used
// first out. Entries for the files the view wants now (current and likely
// next) go last. Each entry remembers the file's stamp: a lookup with a
// different stamp (the file was replaced or rewritten) drops the entry.
// UI thread only.
class DecodeCache {
public:
    using Entry = std::shared_ptr<const DecodedPicture>;

    explicit DecodeCache(qint64 limitBytes) : limit_(limitBytes) {}

    // The entry for `path` if it was made from the same file; marks it used.
    Entry find(const std::string& path, const FileStamp& stamp);
    // Like find, without marking it used or dropping stale entries.
    Entry peek(const std::string& path, const FileStamp& stamp) const;
    // The entry for `path`, made from whichever file stood there: for a file
    // nobody has looked at yet (whose stat could keep a slow disk waiting).
    Entry peekAny(const std::string& path) const;

    // Replaces any entry for `path`. An entry larger than the whole limit
    // is not kept.
    void insert(const std::string& path, Entry entry);
    void remove(const std::string& path);

    // Paths evicted only after every other entry.
    void setPreferred(const std::vector<std::string>& paths);

    void setLimit(qint64 limitBytes);
    qint64 bytes() const { return bytes_; }

private:
    struct Item {
        std::string path;
        Entry entry;
    };
    void erase(std::list<Item>::iterator it);
    void trim();

    std::list<Item> lru_; // most recently used first
    std::unordered_map<std::string, std::list<Item>::iterator> index_;
    std::unordered_set<std::string> preferred_;
    qint64 limit_;
    qint64 bytes_ = 0;
};

} // namespace shoebox::imaging
