#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace shoebox {

// Length of the well-formed UTF-8 sequence that starts `bytes`, or 0 when it
// starts with a byte that begins none (stray continuation byte, overlong
// form, surrogate, code point above U+10FFFF, sequence cut off).
std::size_t wellFormedUTF8Length(std::string_view bytes);

// Whether all of `bytes` is well-formed UTF-8.
bool isValidUTF8(std::string_view bytes);

// `bytes` as valid UTF-8 for display: each byte that starts no well-formed
// sequence becomes U+FFFD, everything else is kept.
std::string withReplacementCharacters(std::string_view bytes);

// The first `count` user-perceived characters (extended grapheme clusters)
// of `bytes`, as a prefix of the same bytes. Bytes that are not valid UTF-8
// count as one character each and are kept as they are.
std::string firstCharacters(std::string_view bytes, std::size_t count);

// Natural order of names, as a file manager shows a folder: runs of digits
// compare by value (IMG_2 before IMG_10), letters without regard to case,
// and ties are broken by the raw bytes so the order is total.
// Negative, zero or positive like strcmp.
int naturalCompare(std::string_view a, std::string_view b);

inline bool naturalLess(std::string_view a, std::string_view b)
{
    return naturalCompare(a, b) < 0;
}

// `text` with every byte of its control characters (C0, DEL and C1: a line
// break in a file name, say) and of the line and paragraph separators
// written as \xHH, so a description that quotes a name stays one line. All
// other bytes are kept: names need not be UTF-8.
std::string oneLine(std::string_view text);

// Sorts `names` into the order of naturalCompare, much faster than std::sort
// with naturalLess on large folders.
void sortNaturally(std::vector<std::string_view>& names);

// Names to be put in natural order, each keyed once: the first 16 bytes of
// its order packed into two integers, so that two integer comparisons stand
// in for most calls of naturalCompare. The first name can be picked out in
// one pass, long before the whole list is sorted; a large list is sorted on
// every core. The keys view the names' bytes, which must stay where they are
// while the order is used.
class NaturalOrder {
public:
    NaturalOrder() = default;
    // Keys `names`, on every core for a large list.
    explicit NaturalOrder(std::span<const std::string_view> names);
    // Keys more names on the calling thread: a listing keys each batch of
    // names as it comes.
    void add(std::span<const std::string_view> names);

    std::size_t size() const { return keys_.size(); }
    bool empty() const { return keys_.empty(); }
    // The name that sorts first, in one pass over the keys; not on an
    // empty list.
    std::string_view first() const;
    // All the names in natural order; the keys are used up.
    std::vector<std::string_view> sorted();

    struct Key {
        std::uint64_t high;
        std::uint64_t low;
        std::string_view name;
    };

private:
    std::vector<Key> keys_;
};

} // namespace shoebox
