#include "viewer/DecodeCache.h"

namespace shoebox::imaging {

DecodeCache::Entry DecodeCache::find(const std::string& path, const FileStamp& stamp)
{
    auto found = index_.find(path);
    if (found == index_.end())
        return {};
    auto it = found->second;
    if (!(it->entry->stamp == stamp)) {
        erase(it);
        return {};
    }
    lru_.splice(lru_.begin(), lru_, it);
    return it->entry;
}

DecodeCache::Entry DecodeCache::peek(const std::string& path, const FileStamp& stamp) const
{
    auto found = index_.find(path);
    if (found == index_.end() || !(found->second->entry->stamp == stamp))
        return {};
    return found->second->entry;
}

DecodeCache::Entry DecodeCache::peekAny(const std::string& path) const
{
    auto found = index_.find(path);
    return found == index_.end() ? Entry() : found->second->entry;
}

void DecodeCache::insert(const std::string& path, Entry entry)
{
    remove(path);
    if (!entry || entry->cost() > limit_)
        return;
    bytes_ += entry->cost();
    lru_.push_front(Item{path, std::move(entry)});
    index_[path] = lru_.begin();
    trim();
}

void DecodeCache::remove(const std::string& path)
{
    if (auto found = index_.find(path); found != index_.end())
        erase(found->second);
}

void DecodeCache::setPreferred(const std::vector<std::string>& paths)
{
    preferred_ = {paths.begin(), paths.end()};
}

void DecodeCache::setLimit(qint64 limitBytes)
{
    limit_ = limitBytes;
    trim();
}

void DecodeCache::erase(std::list<Item>::iterator it)
{
    bytes_ -= it->entry->cost();
    index_.erase(it->path);
    lru_.erase(it);
}

void DecodeCache::trim()
{
    // First the least recently used entries nobody wants now, then, if that
    // is not enough, the least recently used of the wanted ones.
    for (auto it = lru_.end(); bytes_ > limit_ && it != lru_.begin();) {
        --it;
        if (!preferred_.contains(it->path))
            erase(it++);
    }
    while (bytes_ > limit_ && !lru_.empty())
        erase(std::prev(lru_.end()));
}

} // namespace shoebox::imaging
