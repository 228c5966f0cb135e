// The texts of the reference lists: each record reads back as written, whatever its texts'
// lengths, repeats and code page, and no record moves while later ones are appended.
#include "documents/list_texts.h"
#include "storage/codepage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vendrix {
namespace {

std::string Repeat(std::string_view text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

std::vector<std::string> ReadBack(const char* record, std::size_t count)
{
    std::vector<std::string> out;
    for (std::size_t i = 0; i < count; ++i)
        out.emplace_back(RecordText(record, static_cast<int>(i)));
    return out;
}

TEST(ListTexts, RecordsReadBackAsWritten)
{
    const std::string longName(300, 'x'); // a length of two bytes
    const std::string overBlock(TListTexts::kBlockSize + 1, 'y');
    struct TCase {
        const char* what;
        std::vector<std::string> texts;
        bool cp1251;
        std::vector<std::string> expected;
    };
    const std::vector<TCase> cases = {
        {"a text like the one before, then another", {"Сок", "Сок", "G-1", "G-1", ""}, false,
            {"Сок", "Сок", "G-1", "G-1", ""}},
        {"empty texts, repeated and not", {"", "", "a", ""}, false, {"", "", "a", ""}},
        {"windows-1251 trimmed and converted; equal once trimmed",
            {Utf8ToCp1251("  Сок яблочный "), Utf8ToCp1251("Сок яблочный\t"), " \r\n",
                Utf8ToCp1251(Repeat("Ж", 100))},
            true, {"Сок яблочный", "Сок яблочный", "", Repeat("Ж", 100)}},
        {"a record bigger than a block", {"a", overBlock, "b"}, false, {"a", overBlock, "b"}},
        {"a long text between short ones, after the block of its own",
            {"a", longName, longName, "b"}, false, {"a", longName, longName, "b"}},
    };
    TListTexts texts;
    std::vector<const char*> records;
    for (const TCase& c : cases) {
        const std::vector<std::string_view> views(c.texts.begin(), c.texts.end());
        records.push_back(c.cp1251 ? texts.AddTrimmedCp1251(views) : texts.Add(views));
        EXPECT_EQ(ReadBack(records.back(), c.expected.size()), c.expected) << c.what;
    }
    // Every record is still where it was after the others came in.
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(ReadBack(records[i], cases[i].expected.size()), cases[i].expected)
            << cases[i].what << ", read again";
}

TEST(ListTexts, RecordsStayWholeOverManyBlocks)
{
    TListTexts texts;
    std::vector<const char*> records;
    const std::string filler(90, 'z');
    // Three blocks' worth and more, in records that do not divide a block evenly.
    const std::size_t count = 3 * TListTexts::kBlockSize / 100;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string number = std::to_string(i);
        const std::string_view record[] = {number, filler, number};
        records.push_back(texts.Add(record));
    }
    EXPECT_GE(texts.BytesHeld(), 3 * TListTexts::kBlockSize);
    for (std::size_t i = 0; i < count; ++i) {
        ASSERT_EQ(ReadBack(records[i], 3),
            (std::vector<std::string> {std::to_string(i), filler, std::to_string(i)}))
            << "record " << i;
    }
    texts.Clear();
    EXPECT_EQ(texts.BytesHeld(), 0u);
    EXPECT_EQ(RecordText(nullptr, 0), "") << "a node without texts reads empty";
}

} // namespace
} // namespace vendrix
