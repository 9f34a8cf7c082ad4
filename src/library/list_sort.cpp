#include "library/list_sort.h"

#include "library/order_statistic_sequence.h"
#include "text/number_text.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace tavrin::library {

namespace {

// "假" (false) in GBK.
constexpr std::string_view kFalseFlag = "\xBC\xD9";
// 0100-01-01, the earliest date a day count can hold here.
constexpr double kEarliestDate = -657434.0;

// The value of the character at `at`, with its length.
struct GbkChar
{
    unsigned value;
    std::size_t length;
};

unsigned upperDoubleByte(unsigned value)
{
    struct Range
    {
        unsigned first;
        unsigned last;
        unsigned offset;
    };
    // Lower-case letters of the code page and the distance to their upper-case forms:
    // full-width Latin, Greek, Cyrillic.
    static constexpr Range kRanges[] = {
        {0xA3E1, 0xA3FA, 0x20}, {0xA6C1, 0xA6D8, 0x20}, {0xA7D1, 0xA7F1, 0x30}};
    for (const Range& range : kRanges) {
        if (value >= range.first && value <= range.last)
            return value - range.offset;
    }
    return value;
}

GbkChar charAt(std::string_view text, std::size_t at, bool caseSensitive)
{
    const std::size_t length = text::charLength(text, at);
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    if (length == 2) {
        const unsigned value = byte(0) * 256u + byte(1);
        return {caseSensitive ? value : upperDoubleByte(value), 2};
    }
    unsigned value = byte(0);
    if (!caseSensitive && value >= 'a' && value <= 'z')
        value -= 'a' - 'A';
    return {value, 1};
}

int signWithTolerance(double difference)
{
    if (std::fabs(difference) <= text::kNumberTolerance)
        return 0;
    return difference < 0 ? -1 : 1;
}

// The binary insertion search, given the sign of comparing the new key with the key at a
// 1-based position among `count` keys.
template <typename CompareAt> int insertPosition(int count, const CompareAt& compareAt)
{
    if (count == 0)
        return 1;
    if (compareAt(count) >= 0)
        return count + 1;
    if (compareAt(1) <= 0)
        return 1;
    int lo = 1;
    int hi = count;
    while (lo < hi - 1) {
        const int mid = (lo + hi) / 2;
        const int difference = compareAt(mid);
        if (difference == 0) {
            lo = mid;
            break;
        }
        if (difference < 0)
            hi = mid;
        else
            lo = mid;
    }
    return lo + 1;
}

bool parseUnsigned(std::string_view& text, int maxDigits, int& value)
{
    int digits = 0;
    value = 0;
    while (digits < maxDigits && !text.empty() && text.front() >= '0' && text.front() <= '9') {
        value = value * 10 + (text.front() - '0');
        text.remove_prefix(1);
        ++digits;
    }
    return digits > 0;
}

bool skipSeparator(std::string_view& text, std::string_view separator)
{
    if (!text.starts_with(separator))
        return false;
    text.remove_prefix(separator.size());
    return true;
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
long long daysFromCivil(long long year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

std::vector<int> flagOrder(const std::vector<std::string_view>& keys)
{
    OrderStatisticSequence order(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        // "假" rows keep their order at the end; every other row goes in front of those placed so far.
        const int position = keys[i] == kFalseFlag ? static_cast<int>(i) : 0;
        order.insertAt(position, static_cast<int>(i));
    }
    return order.toVector();
}

std::vector<int> numericOrder(const std::vector<std::string_view>& keys, SortKeyType type)
{
    std::vector<double> values;
    values.reserve(keys.size());
    for (std::string_view key : keys)
        values.push_back(type == SortKeyType::Number ? text::numberFromText(key) : dateTimeFromText(key));
    OrderStatisticSequence order(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const double value = values[i];
        const int position = insertPosition(order.size(), [&](int at) {
            return signWithTolerance(value - values[static_cast<std::size_t>(order.at(at - 1))]);
        });
        order.insertAt(position - 1, static_cast<int>(i));
    }
    return order.toVector();
}

// The key as a sequence of 16-bit character values, big-endian, so that comparing two
// collation strings byte by byte (a prefix first) gives exactly compareGbk's order.
std::string collationString(std::string_view key, bool caseSensitive)
{
    std::string collated;
    collated.reserve(key.size() * 2);
    for (std::size_t at = 0; at < key.size();) {
        const GbkChar character = charAt(key, at, caseSensitive);
        collated.push_back(static_cast<char>(character.value >> 8));
        collated.push_back(static_cast<char>(character.value & 0xFF));
        at += character.length;
    }
    return collated;
}

// Counts of placed keys per equality class, with prefix sums (a Fenwick tree).
class ClassCounts
{
public:
    explicit ClassCounts(std::size_t classes)
        : tree_(classes + 1, 0)
        , counts_(classes, 0)
    {}
    void add(int klass)
    {
        ++counts_[static_cast<std::size_t>(klass)];
        for (std::size_t i = static_cast<std::size_t>(klass) + 1; i < tree_.size(); i += i & (~i + 1))
            ++tree_[i];
    }
    // Keys placed in classes below `klass`.
    [[nodiscard]] int below(int klass) const
    {
        int sum = 0;
        for (std::size_t i = static_cast<std::size_t>(klass); i > 0; i -= i & (~i + 1))
            sum += tree_[i];
        return sum;
    }
    [[nodiscard]] int in(int klass) const { return counts_[static_cast<std::size_t>(klass)]; }

private:
    std::vector<int> tree_;
    std::vector<int> counts_;
};

// Text keys form equality classes with a total order, so the binary search never needs to look
// at a key: the keys placed so far are sorted, and all that decides where the search ends is
// how many of them are below the new key's class (less) and how many are in it (equal). The
// search is replayed on positions alone, and each row costs one insertion into the sequence.
std::vector<int> textOrder(const std::vector<std::string_view>& keys, bool caseSensitive)
{
    std::vector<std::string> collated;
    collated.reserve(keys.size());
    for (std::string_view key : keys)
        collated.push_back(collationString(key, caseSensitive));
    std::vector<int> byKey(keys.size());
    for (std::size_t i = 0; i < byKey.size(); ++i)
        byKey[i] = static_cast<int>(i);
    std::sort(byKey.begin(), byKey.end(), [&](int a, int b) {
        return collated[static_cast<std::size_t>(a)] < collated[static_cast<std::size_t>(b)];
    });
    std::vector<int> classOf(keys.size());
    int classes = 0;
    for (std::size_t i = 0; i < byKey.size(); ++i) {
        const auto row = static_cast<std::size_t>(byKey[i]);
        if (i > 0 && collated[row] != collated[static_cast<std::size_t>(byKey[i - 1])])
            ++classes;
        classOf[row] = classes;
    }
    collated.clear();

    ClassCounts placed(byKey.size());
    OrderStatisticSequence order(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const int klass = classOf[i];
        const int less = placed.below(klass);
        const int lastEqual = less + placed.in(klass);
        // Sign of comparing the new key with the key at a 1-based position.
        const int position = insertPosition(order.size(), [&](int at) {
            if (at <= less)
                return 1;
            return at <= lastEqual ? 0 : -1;
        });
        order.insertAt(position - 1, static_cast<int>(i));
        placed.add(klass);
    }
    return order.toVector();
}

} // namespace

SortKeyType sortKeyTypeFrom(int value) noexcept
{
    return value >= 0 && value <= 3 ? static_cast<SortKeyType>(value) : SortKeyType::Text;
}

int compareGbk(std::string_view a, std::string_view b, LetterCase letterCase)
{
    const bool caseSensitive = letterCase == LetterCase::Sensitive;
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const GbkChar left = charAt(a, i, caseSensitive);
        const GbkChar right = charAt(b, j, caseSensitive);
        if (left.value != right.value)
            return left.value < right.value ? -1 : 1;
        i += left.length;
        j += right.length;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

std::string_view trimSortKey(std::string_view cell) noexcept
{
    constexpr std::string_view kFullWidthSpace = "\xA1\xA1";
    // One pass over the characters: a full-width space only counts where a character starts
    // ("\xB0\xA1\xA1" is the character B0A1 and a lone A1, not a space).
    std::size_t begin = 0;
    std::size_t end = 0;
    bool seenOther = false;
    for (std::size_t at = 0; at < cell.size();) {
        const std::size_t length = text::charLength(cell, at);
        const std::string_view character = cell.substr(at, length);
        if (character != " " && character != kFullWidthSpace) {
            if (!seenOther)
                begin = at;
            seenOther = true;
            end = at + length;
        }
        at += length;
    }
    return seenOther ? cell.substr(begin, end - begin) : std::string_view{};
}

double dateTimeFromText(std::string_view text)
{
    std::string_view rest = text;
    int year = 0;
    int month = 0;
    int day = 0;
    // "2024-05-06", "2024/05/06", "2024.05.06" or "2024年05月06日".
    constexpr std::string_view kYearMark = "\xC4\xEA";
    constexpr std::string_view kMonthMark = "\xD4\xC2";
    constexpr std::string_view kDayMark = "\xC8\xD5";
    if (!parseUnsigned(rest, 4, year) || rest.empty())
        return kEarliestDate;
    std::string_view dateSeparator;
    std::string_view monthSeparator;
    if (rest.starts_with(kYearMark)) {
        dateSeparator = kYearMark;
        monthSeparator = kMonthMark;
    } else if (rest.front() == '-' || rest.front() == '/' || rest.front() == '.') {
        dateSeparator = rest.substr(0, 1);
        monthSeparator = dateSeparator;
    } else {
        return kEarliestDate;
    }
    if (!skipSeparator(rest, dateSeparator) || !parseUnsigned(rest, 2, month) ||
        !skipSeparator(rest, monthSeparator) || !parseUnsigned(rest, 2, day))
        return kEarliestDate;
    if (dateSeparator == kYearMark)
        skipSeparator(rest, kDayMark);

    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    constexpr int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 100 || month < 1 || month > 12 || day < 1 ||
        day > kDaysInMonth[month - 1] + (month == 2 && leap ? 1 : 0))
        return kEarliestDate;

    int hour = 0;
    int minute = 0;
    int second = 0;
    if (skipSeparator(rest, " ")) {
        if (!parseUnsigned(rest, 2, hour) || !skipSeparator(rest, ":") || !parseUnsigned(rest, 2, minute))
            return kEarliestDate;
        if (skipSeparator(rest, ":") && !parseUnsigned(rest, 2, second))
            return kEarliestDate;
        if (hour > 23 || minute > 59 || second > 59)
            return kEarliestDate;
    }
    if (!rest.empty())
        return kEarliestDate;
    constexpr long long kDaysFrom1899To1970 = 25569;
    const long long days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    return static_cast<double>(days + kDaysFrom1899To1970) +
           (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}

int findInsertPos(const std::function<std::string_view(int)>& keyAt, int count, std::string_view key,
                  SortKeyType type, LetterCase letterCase)
{
    switch (type) {
    case SortKeyType::Number:
    case SortKeyType::DateTime: {
        const auto valueOf = [type](std::string_view text) {
            return type == SortKeyType::Number ? text::numberFromText(text) : dateTimeFromText(text);
        };
        const double value = valueOf(key);
        return insertPosition(count, [&](int at) { return signWithTolerance(value - valueOf(keyAt(at))); });
    }
    case SortKeyType::Flag:
        return key == kFalseFlag ? count + 1 : 1;
    case SortKeyType::Text:
        break;
    }
    return insertPosition(count, [&](int at) { return compareGbk(key, keyAt(at), letterCase); });
}

std::vector<int> sortedOrder(const std::vector<std::string_view>& keys, SortKeyType type,
                             LetterCase letterCase)
{
    switch (type) {
    case SortKeyType::Flag:
        return flagOrder(keys);
    case SortKeyType::Number:
    case SortKeyType::DateTime:
        return numericOrder(keys, type);
    case SortKeyType::Text:
        break;
    }
    return textOrder(keys, letterCase == LetterCase::Sensitive);
}

int sortListView(base::ListStore& list, int column, SortKeyType type, LetterCase letterCase, SortOrder order)
{
    const auto start = std::chrono::steady_clock::now();

    // The selected row is found again afterwards by its item-data value, so it is marked first.
    const int selected = list.selection();
    std::intptr_t selectionMarker = 0;
    if (selected != -1) {
        if (list.itemData(selected) == 0)
            list.setItemData(selected, 1);
        selectionMarker = list.itemData(selected);
    }

    // Keys point into this copy of the column, which outlives the sort.
    const std::vector<text::Text> cells = list.column(column);
    std::vector<std::string_view> keys;
    keys.reserve(cells.size());
    for (const text::Text& cell : cells)
        keys.push_back(trimSortKey(cell));
    std::vector<int> rowOrder = sortedOrder(keys, type, letterCase);
    if (order == SortOrder::Descending)
        std::reverse(rowOrder.begin(), rowOrder.end());
    // Whole rows move (texts, templates, notes and item data together), so a mark written by a
    // worker while the keys were being sorted stays with its URL.
    list.permuteRows(rowOrder);

    if (selectionMarker != 0) {
        const int count = list.rowCount();
        for (int row = 0; row < count; ++row) {
            if (list.itemData(row) == selectionMarker) {
                list.setSelection(row);
                list.scrollTo(row);
                break;
            }
        }
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

} // namespace tavrin::library
