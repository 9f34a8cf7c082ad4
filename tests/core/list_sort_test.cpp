#include "library/list_sort.h"

#include "text/encoding.h"
#include "text/messages.h"
#include "text/number_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace tavrin::library {
namespace {

using base::ListStore;
using text::utf8ToGbk;

LetterCase caseOf(bool caseSensitive)
{
    return caseSensitive ? LetterCase::Sensitive : LetterCase::Ignored;
}

// The binary-insertion sort written out plainly, with arrays that shift on every insertion:
// the reference that the fast version must match exactly.
std::vector<int> plainSortedOrder(const std::vector<std::string_view>& keys, SortKeyType type,
                                  bool caseSensitive)
{
    const auto compare = [&](std::string_view a, std::string_view b) {
        if (type == SortKeyType::Number || type == SortKeyType::DateTime) {
            const auto value = [type](std::string_view t) {
                return type == SortKeyType::Number ? text::numberFromText(t) : dateTimeFromText(t);
            };
            const double d = value(a) - value(b);
            return std::fabs(d) <= 1e-7 ? 0 : (d < 0 ? -1 : 1);
        }
        return compareGbk(a, b, caseOf(caseSensitive));
    };
    std::vector<std::string_view> sorted; // 0-based here; positions below are 1-based
    std::vector<int> order;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::string_view key = keys[i];
        const int n = static_cast<int>(order.size());
        int pos = 0;
        if (type == SortKeyType::Flag) {
            pos = key == "\xBC\xD9" ? static_cast<int>(i) + 1 : 1;
        } else if (n > 0 && compare(key, sorted[n - 1]) >= 0) {
            pos = n + 1;
        } else if (n == 0 || compare(key, sorted[0]) <= 0) {
            pos = 1;
        } else {
            int lo = 1;
            int hi = n;
            while (lo < hi - 1) {
                const int mid = (lo + hi) / 2;
                const int d = compare(key, sorted[mid - 1]);
                if (d == 0) {
                    lo = mid;
                    break;
                }
                (d < 0 ? hi : lo) = mid;
            }
            pos = lo + 1;
        }
        if (type != SortKeyType::Flag)
            sorted.insert(sorted.begin() + (pos - 1), key);
        order.insert(order.begin() + (pos - 1), static_cast<int>(i));
    }
    return order;
}

TEST(ListSort, MatchesThePlainAlgorithmOnRandomInputsWithManyTies)
{
    std::mt19937 random(20261210);
    const std::vector<std::string> alphabet = {"a",        "A",   "b",        "B",        "_",
                                               "1",        " ",   "\xA1\xA1", "\xBC\xD9", "\xA3\xE1",
                                               "\xA3\xC1", "2.5", "1e1",      "-3",       "2024-01-0"};
    for (int round = 0; round < 200; ++round) {
        const int count = std::uniform_int_distribution<int>(0, 60)(random);
        const int length = std::uniform_int_distribution<int>(1, 3)(random);
        std::vector<std::string> texts;
        for (int i = 0; i < count; ++i) {
            std::string key;
            for (int c = std::uniform_int_distribution<int>(0, length)(random); c > 0; --c)
                key += alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(random)];
            texts.push_back(key);
        }
        std::vector<std::string_view> keys;
        keys.reserve(texts.size());
        for (const std::string& t : texts)
            keys.push_back(trimSortKey(t));
        for (const SortKeyType type :
             {SortKeyType::Text, SortKeyType::Number, SortKeyType::DateTime, SortKeyType::Flag}) {
            for (const bool caseSensitive : {true, false}) {
                SCOPED_TRACE(testing::Message() << "round " << round << " type " << static_cast<int>(type)
                                                << " case " << caseSensitive);
                ASSERT_EQ(sortedOrder(keys, type, caseOf(caseSensitive)),
                          plainSortedOrder(keys, type, caseSensitive));
            }
        }
    }
}

TEST(ListSort, CompareGbkCountsDoubleByteCharactersAsUnits)
{
    const struct
    {
        std::string a;
        std::string b;
        bool caseSensitive;
        int sign;
    } cases[] = {
        {"abc", "abd", true, -1},
        {"ab", "abc", true, -1},
        {"", "", true, 0},
        {"a", "_", false, -1}, // letters compare as upper case: 'A' < '_'
        {"a", "_", true, 1},
        {"abc", "ABC", false, 0},
        {"abc", "ABC", true, 1},
        {"\xA3\xE1", "\xA3\xC1", false, 0}, // full-width a and A
        {"\xA3\xE1", "\xA3\xC1", true, 1},
        {"\xA6\xC1", "\xA6\xA1", false, 0}, // Greek alpha
        {"\xA7\xD1", "\xA7\xA1", false, 0}, // Cyrillic a
        {"z", "\xB0\xA1", true, -1},        // any single byte before any double-byte character
        {"\x81\xFF", "\x81\x80", true, -1}, // a lone lead byte is smaller than a pair it starts
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.a) + " vs " + testing::PrintToString(c.b));
        const int result = compareGbk(c.a, c.b, caseOf(c.caseSensitive));
        EXPECT_EQ((result > 0) - (result < 0), c.sign);
    }
}

TEST(ListSort, FindInsertPosTieRules)
{
    const std::vector<std::string> keys = {"a", "b", "b", "b", "c"};
    const auto keyAt = [&](int position) -> std::string_view {
        return keys[static_cast<std::size_t>(position - 1)];
    };
    const auto position = [&](std::string_view key, int count) {
        return findInsertPos(keyAt, count, key, SortKeyType::Text, LetterCase::Sensitive);
    };
    EXPECT_EQ(position("x", 0), 1);
    EXPECT_EQ(position("c", 5), 6) << "equal to the last goes after it";
    EXPECT_EQ(position("a", 5), 1) << "equal to the first, below the last, goes before it";
    EXPECT_EQ(position("b", 5), 4) << "equal to the middle key met goes right after it";
    EXPECT_EQ(position("bb", 5), 5);
    EXPECT_EQ(position("\xBC\xD9", 5), 6);
    EXPECT_EQ(findInsertPos(keyAt, 5, "\xBC\xD9", SortKeyType::Flag, LetterCase::Sensitive), 6);
    EXPECT_EQ(findInsertPos(keyAt, 5, "x", SortKeyType::Flag, LetterCase::Sensitive), 1);
}

TEST(ListSort, TrimsAsciiAndFullWidthSpacesFromKeysOnly)
{
    EXPECT_EQ(trimSortKey("  a b \xA1\xA1"), "a b");
    EXPECT_EQ(trimSortKey("\xA1\xA1\xA1\xA1x"), "x");
    EXPECT_EQ(trimSortKey("\xB0\xA1\xA1"), "\xB0\xA1\xA1") << "B0A1 then a lone A1: no full-width space";
    EXPECT_EQ(trimSortKey(" \xA1\xA1 "), "");
}

TEST(ListSort, ReadsDatesAndTimes)
{
    EXPECT_DOUBLE_EQ(dateTimeFromText("1899-12-30"), 0.0);
    EXPECT_DOUBLE_EQ(dateTimeFromText("2000/01/01"), 36526.0);
    EXPECT_DOUBLE_EQ(dateTimeFromText("2000.01.01 12:00"), 36526.5);
    EXPECT_DOUBLE_EQ(dateTimeFromText(utf8ToGbk("2000年1月1日")), 36526.0);
    for (const char* bad : {"", "2000-02-30", "2000-13-01", "2000-01-01x", "2000-01/01", "25:00", "abc"})
        EXPECT_DOUBLE_EQ(dateTimeFromText(bad), -657434.0) << bad;
}

// A list whose column 1 holds the given texts, numbered from 1.
void fill(ListStore& list, const std::vector<std::string>& texts, int column = 1)
{
    for (std::size_t i = 0; i < texts.size(); ++i) {
        ListStore::Cells cells{std::to_string(i + 1), "u" + std::to_string(i + 1), "?"};
        cells[static_cast<std::size_t>(column)] = texts[i];
        list.appendRow(cells);
    }
}

std::vector<std::string> columnOf(const ListStore& list, int column)
{
    return list.column(column);
}

TEST(SortListView, HeaderClickOrdersAsText)
{
    ListStore numbers;
    fill(numbers, {"1", "2", "10", "11", "3"}, 0);
    sortListView(numbers, 0, SortKeyType::Text, LetterCase::Ignored);
    EXPECT_EQ(columnOf(numbers, 0), (std::vector<std::string>{"1", "10", "11", "2", "3"}));
    // Whole rows move together.
    EXPECT_EQ(columnOf(numbers, 1), (std::vector<std::string>{"u1", "u3", "u4", "u2", "u5"}));

    ListStore marks;
    fill(marks, {msg::kMarkPending, msg::kMarkSuccess, msg::kMarkFailure, msg::kMarkWorking}, 2);
    sortListView(marks, 2, SortKeyType::Text, LetterCase::Ignored);
    EXPECT_EQ(columnOf(marks, 2), (std::vector<std::string>{msg::kMarkWorking, msg::kMarkFailure,
                                                            msg::kMarkSuccess, msg::kMarkPending}));
}

TEST(SortListView, EqualKeysStayPutAndCellsKeepTheirSpaces)
{
    // A full-width space, "a" and a space: the key is "a" once trimmed.
    const std::string paddedA = std::string("\xA1\xA1") + "a ";
    ListStore list;
    fill(list, {"b", " A", "a", "B", paddedA});
    sortListView(list, 1, SortKeyType::Text, LetterCase::Ignored);
    // Keys equal to the first one placed so far (but below the last) go in front of it.
    const std::vector<std::string> sorted = {paddedA, "a", " A", "b", "B"};
    EXPECT_EQ(columnOf(list, 1), sorted);
    EXPECT_EQ(columnOf(list, 0), (std::vector<std::string>{"5", "3", "2", "1", "4"}));
    // A second click leaves a sorted list as it is.
    sortListView(list, 1, SortKeyType::Text, LetterCase::Ignored);
    EXPECT_EQ(columnOf(list, 1), sorted);
    EXPECT_EQ(columnOf(list, 0), (std::vector<std::string>{"5", "3", "2", "1", "4"}));
}

TEST(SortListView, DescendingIsTheExactReverse)
{
    std::mt19937 random(7);
    std::vector<std::string> texts;
    texts.reserve(300);
    for (int i = 0; i < 300; ++i)
        texts.push_back(std::string(1, static_cast<char>('a' + random() % 5)) + (random() % 2 ? "X" : "x"));
    ListStore up;
    ListStore down;
    fill(up, texts);
    fill(down, texts);
    sortListView(up, 1, SortKeyType::Text, LetterCase::Ignored, SortOrder::Ascending);
    sortListView(down, 1, SortKeyType::Text, LetterCase::Ignored, SortOrder::Descending);
    std::vector<std::string> reversed = columnOf(up, 0);
    std::reverse(reversed.begin(), reversed.end());
    EXPECT_EQ(columnOf(down, 0), reversed);
}

TEST(SortListView, KeepsTheSelectedRowSelectedAndInView)
{
    ListStore list;
    fill(list, {"c", "a", "b"});
    list.setSelection(0);
    (void)list.takeChanges();
    sortListView(list, 1, SortKeyType::Text, LetterCase::Ignored);
    EXPECT_EQ(list.selection(), 2);
    EXPECT_EQ(list.cell(2, 1), "c");
    const ListStore::Changes changes = list.takeChanges();
    EXPECT_EQ(changes.scrollTo, 2);
    EXPECT_TRUE(changes.reset);

    // The marker stays on the row: after the next sort the first row from the top carrying it
    // wins, even when the selection meanwhile moved to another row.
    list.setSelection(0);
    sortListView(list, 0, SortKeyType::Text, LetterCase::Ignored);
    EXPECT_EQ(list.selection(), 0);
    EXPECT_EQ(list.cell(0, 1), "c");

    ListStore unselected;
    fill(unselected, {"b", "a"});
    sortListView(unselected, 1, SortKeyType::Text, LetterCase::Ignored);
    EXPECT_EQ(unselected.selection(), -1);
    EXPECT_EQ(unselected.itemData(0) + unselected.itemData(1), 0);
}

TEST(SortListView, EmptyListAndUnknownKeyType)
{
    ListStore empty;
    EXPECT_GE(sortListView(empty, 1, SortKeyType::Text, LetterCase::Ignored), 0);
    EXPECT_EQ(empty.rowCount(), 0);

    ListStore list;
    fill(list, {"10", "9"});
    sortListView(list, 1, sortKeyTypeFrom(42)); // taken as text
    EXPECT_EQ(columnOf(list, 1), (std::vector<std::string>{"10", "9"}));
    sortListView(list, 1, sortKeyTypeFrom(0)); // as numbers
    EXPECT_EQ(columnOf(list, 1), (std::vector<std::string>{"9", "10"}));
}

} // namespace
} // namespace tavrin::library
