#include "platform/Text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <thread>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

#include "platform/Parallel.h"

namespace shoebox {

namespace {

// Making a character break iterator loads rule data; one per thread is
// enough, and reusing it keeps repeated calls cheap.
icu::BreakIterator* characterBreaks()
{
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> made(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        return U_SUCCESS(status) ? std::move(made) : nullptr;
    }();
    return iterator.get();
}

// Counts up to `count` grapheme clusters of the well-formed text `run`.
// Returns the byte length they take and lowers `count` by how many were seen.
std::size_t clusterPrefix(std::string_view run, std::size_t& count)
{
    icu::BreakIterator* breaks = characterBreaks();
    UErrorCode status = U_ZERO_ERROR;
    UText* text = breaks ? utext_openUTF8(nullptr, run.data(), static_cast<int64_t>(run.size()), &status) : nullptr;
    if (text == nullptr || U_FAILURE(status)) {
        // Without ICU fall back to code points: never cuts inside a sequence.
        std::size_t length = 0;
        while (length < run.size() && count > 0) {
            length += wellFormedUTF8Length(run.substr(length));
            --count;
        }
        if (text != nullptr) {
            utext_close(text);
        }
        return length;
    }
    breaks->setText(text, status);
    std::size_t length = 0;
    // Over a UTF-8 UText the boundaries are native indexes: byte offsets.
    for (int32_t boundary = breaks->first(); count > 0;) {
        boundary = breaks->next();
        if (boundary == icu::BreakIterator::DONE) {
            break;
        }
        length = static_cast<std::size_t>(boundary);
        --count;
    }
    // The iterator keeps a pointer into `text`; give it an empty one before
    // the UText goes away.
    UText* empty = utext_openUTF8(nullptr, "", 0, &status);
    breaks->setText(empty, status);
    utext_close(text);
    utext_close(empty);
    return length;
}

int compareDigitRuns(std::string_view a, std::size_t& i, std::string_view b, std::size_t& j, int& zeroTieBreak)
{
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t zerosA = 0;
    std::size_t zerosB = 0;
    while (i < a.size() && a[i] == '0') {
        ++i;
        ++zerosA;
    }
    while (j < b.size() && b[j] == '0') {
        ++j;
        ++zerosB;
    }
    std::size_t startA = i;
    std::size_t startB = j;
    while (i < a.size() && isDigit(a[i])) {
        ++i;
    }
    while (j < b.size() && isDigit(b[j])) {
        ++j;
    }
    // Without leading zeros, a longer run is a larger number; runs of equal
    // length compare digit by digit. No conversion, so no overflow.
    std::size_t lengthA = i - startA;
    std::size_t lengthB = j - startB;
    if (lengthA != lengthB) {
        return lengthA < lengthB ? -1 : 1;
    }
    int digits = std::memcmp(a.data() + startA, b.data() + startB, lengthA);
    if (digits != 0) {
        return digits;
    }
    // Equal values: "2" before "02", but only if nothing else tells them apart.
    if (zeroTieBreak == 0 && zerosA != zerosB) {
        zeroTieBreak = zerosA < zerosB ? -1 : 1;
    }
    return 0;
}

using SortKey = NaturalOrder::Key;

// The first 16 bytes of a name's primary natural order, packed so that two
// integer comparisons stand in for most calls of naturalCompare. A letter is
// its case-folded byte; a number is 0x30 (so it sorts against other bytes
// like any digit would), the count of its digits without leading zeros, then
// those digits. Where keys differ they order the names as naturalCompare
// does; equal keys say nothing, and naturalCompare decides.
SortKey sortKey(std::string_view name)
{
    unsigned char key[16] = {};
    std::size_t n = 0;
    std::size_t i = 0;
    while (i < name.size() && n < sizeof key) {
        auto byte = static_cast<unsigned char>(name[i]);
        if (byte < '0' || byte > '9') {
            key[n++] = (byte >= 'A' && byte <= 'Z') ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
            ++i;
            continue;
        }
        while (i < name.size() && name[i] == '0') {
            ++i;
        }
        std::size_t start = i;
        while (i < name.size() && name[i] >= '0' && name[i] <= '9') {
            ++i;
        }
        std::size_t digits = i - start;
        key[n++] = '0';
        if (n == sizeof key) {
            break;
        }
        if (digits >= 0xFF) {
            // Too long to order by one length byte: from here on the key
            // stays equal to that of any such number and naturalCompare
            // decides.
            key[n] = 0xFF;
            break;
        }
        key[n++] = static_cast<unsigned char>(digits);
        for (std::size_t d = start; d < i && n < sizeof key; ++d) {
            key[n++] = static_cast<unsigned char>(name[d]);
        }
    }
    auto pack = [&](std::size_t from) {
        std::uint64_t value = 0;
        for (std::size_t b = from; b < from + 8; ++b) {
            value = (value << 8) | key[b];
        }
        return value;
    };
    return SortKey{pack(0), pack(8), name};
}

bool keyLess(const SortKey& a, const SortKey& b)
{
    if (a.high != b.high) {
        return a.high < b.high;
    }
    if (a.low != b.low) {
        return a.low < b.low;
    }
    return naturalCompare(a.name, b.name) < 0;
}

// Below this many names a second thread costs more than it saves.
constexpr std::size_t namesPerThread = 1 << 15;

// Sorts the two halves on two threads, each split again while cores are
// left, and merges them.
void sortKeys(std::span<SortKey> keys, std::size_t threads)
{
    if (threads < 2 || keys.size() < 2 * namesPerThread) {
        std::sort(keys.begin(), keys.end(), keyLess);
        return;
    }
    const std::size_t half = keys.size() / 2;
    {
        std::jthread other([&] { sortKeys(keys.first(half), threads / 2); });
        sortKeys(keys.subspan(half), threads - threads / 2);
    }
    std::inplace_merge(keys.begin(), keys.begin() + std::ptrdiff_t(half), keys.end(), keyLess);
}

} // namespace

NaturalOrder::NaturalOrder(std::span<const std::string_view> names) : keys_(names.size())
{
    parallelSlices(names.size(), namesPerThread, [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            keys_[i] = sortKey(names[i]);
        }
    });
}

void NaturalOrder::add(std::span<const std::string_view> names)
{
    for (std::string_view name : names) {
        keys_.push_back(sortKey(name));
    }
}

std::string_view NaturalOrder::first() const
{
    return std::min_element(keys_.begin(), keys_.end(), keyLess)->name;
}

std::vector<std::string_view> NaturalOrder::sorted()
{
    sortKeys(keys_, std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::string_view> names(keys_.size());
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        names[i] = keys_[i].name;
    }
    keys_ = {};
    return names;
}

std::size_t wellFormedUTF8Length(std::string_view s)
{
    if (s.empty()) {
        return 0;
    }
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    auto continuation = [&](std::size_t i) { return i < s.size() && (byte(i) & 0xC0) == 0x80; };
    unsigned char b0 = byte(0);
    if (b0 < 0x80) {
        return 1;
    }
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        return continuation(1) ? 2 : 0;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (!continuation(1) || !continuation(2)) {
            return 0;
        }
        if ((b0 == 0xE0 && byte(1) < 0xA0) || (b0 == 0xED && byte(1) > 0x9F)) {
            return 0; // overlong, or a UTF-16 surrogate
        }
        return 3;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (!continuation(1) || !continuation(2) || !continuation(3)) {
            return 0;
        }
        if ((b0 == 0xF0 && byte(1) < 0x90) || (b0 == 0xF4 && byte(1) > 0x8F)) {
            return 0; // overlong, or beyond U+10FFFF
        }
        return 4;
    }
    return 0;
}

void sortNaturally(std::vector<std::string_view>& names)
{
    names = NaturalOrder(names).sorted();
}

bool isValidUTF8(std::string_view bytes)
{
    while (!bytes.empty()) {
        const std::size_t length = wellFormedUTF8Length(bytes);
        if (length == 0)
            return false;
        bytes.remove_prefix(length);
    }
    return true;
}

std::string withReplacementCharacters(std::string_view bytes)
{
    std::string result;
    result.reserve(bytes.size());
    while (!bytes.empty()) {
        const std::size_t length = wellFormedUTF8Length(bytes);
        if (length == 0) {
            result.append("\uFFFD");
            bytes.remove_prefix(1);
        } else {
            result.append(bytes.substr(0, length));
            bytes.remove_prefix(length);
        }
    }
    return result;
}

std::string firstCharacters(std::string_view bytes, std::size_t count)
{
    // Invalid bytes are split off before ICU sees the text: ICU would turn a
    // cut-off sequence into one U+FFFD spanning several bytes, while here each
    // such byte is its own character and is kept as it is.
    std::size_t end = 0;
    while (end < bytes.size() && count > 0) {
        std::size_t runEnd = end;
        while (runEnd < bytes.size()) {
            std::size_t length = wellFormedUTF8Length(bytes.substr(runEnd));
            if (length == 0) {
                break;
            }
            runEnd += length;
        }
        if (runEnd > end) {
            end += clusterPrefix(bytes.substr(end, runEnd - end), count);
            if (end < runEnd) {
                break; // the count ran out inside this run
            }
        } else {
            ++end; // one invalid byte, one character
            --count;
        }
    }
    return std::string(bytes.substr(0, end));
}

int naturalCompare(std::string_view a, std::string_view b)
{
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    auto folded = [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return (byte >= 'A' && byte <= 'Z') ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
    };

    // The order is: the names as sequences of numbers and case-folded bytes;
    // then fewer leading zeros; then the raw bytes. Digits are contiguous in
    // ASCII, so a number sorts against any other byte like its first digit
    // would, which keeps the order consistent.
    int zeroTieBreak = 0;
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            if (int result = compareDigitRuns(a, i, b, j, zeroTieBreak); result != 0) {
                return result;
            }
            continue;
        }
        unsigned char x = folded(a[i]);
        unsigned char y = folded(b[j]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size()) {
        return i < a.size() ? 1 : -1;
    }
    if (zeroTieBreak != 0) {
        return zeroTieBreak;
    }
    int bytes = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    if (bytes != 0) {
        return bytes < 0 ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string oneLine(std::string_view text)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    // How many bytes from `i` on form a character that ends or breaks a
    // line, or 0: a C0 control or DEL; a C1 control (U+0080 to U+009F, the
    // line break U+0085 among them); the line or paragraph separator
    // (U+2028, U+2029), which editors and log viewers break at.
    auto lineBreakerAt = [&](std::size_t i) -> std::size_t {
        auto byte = [&](std::size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0; };
        if (byte(i) < 0x20 || byte(i) == 0x7F) {
            return 1;
        }
        if (byte(i) == 0xC2 && byte(i + 1) >= 0x80 && byte(i + 1) <= 0x9F) {
            return 2;
        }
        if (byte(i) == 0xE2 && byte(i + 1) == 0x80 && (byte(i + 2) == 0xA8 || byte(i + 2) == 0xA9)) {
            return 3;
        }
        return 0;
    };
    std::string line;
    line.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = lineBreakerAt(i);
        if (length == 0) {
            line += text[i++];
            continue;
        }
        for (std::size_t end = i + length; i < end; ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            line += "\\x";
            line += hex[c >> 4];
            line += hex[c & 0xF];
        }
    }
    return line;
}

} // namespace shoebox
