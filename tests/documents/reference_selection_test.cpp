// The reference selection's rules over the client list loaded from a real database: who is
// offered in each mode, the preselected row, red codes, the search, the blocked client and the
// missing client of a trade point pick, and the saved code column width.
#include "documents/reference_selection.h"
#include "storage/options.h"
#include "support/test_support.h"

namespace vendrix {
namespace {

class ReferenceSelectionTest : public test::StartedFolderTest {
protected:
    void SetUp() override
    {
        test::StartedFolderTest::SetUp();
        test::Exec("insert into SPR_CLIENTS (GUID, IS_FOLDER, IS_DELETED, ANAME, UNAME, KIND, KOD, "
                   "INFO, CLI_GUID) values "
                   "('C-1', 0, 0, 'Иванов', 'a', 0, 'А12', 'тел.|адрес', ''),"
                   "('C-2', 0, 1, 'Закрытый', 'b', 1, 'A12', '', ''),"
                   "('C-3', 0, 0, 'Ивашкин', 'c', -1, '7', '', ''),"
                   "('T-1', 0, 0, 'Магазин Иванова', 'd', 2, '', '', 'C-1'),"
                   "('T-2', 0, 0, 'Киоск чужой', 'e', 2, '', '', 'C-3'),"
                   "('T-3', 0, 0, 'Второй магазин', 'f', 2, '', '', 'C-1')");
        ASSERT_TRUE(LoadReferenceLists(true));
    }

    static std::vector<std::string> Guids(const std::vector<const TSprListItem*>& rows)
    {
        std::vector<std::string> out;
        for (const TSprListItem* i : rows)
            out.emplace_back(i->GUID());
        return out;
    }
};

TEST_F(ReferenceSelectionTest, EachModeOffersItsOwnItems)
{
    EXPECT_EQ(Guids(ReferenceRows(TReferenceMode::Clients, "")),
        (std::vector<std::string> {"C-1", "C-2", "C-3"}))
        << "clients of KIND 0, 1 and negative; no trade points";
    EXPECT_EQ(Guids(ReferenceRows(TReferenceMode::TradePoints, "C-1")),
        (std::vector<std::string> {"T-1", "T-3"}));
    EXPECT_TRUE(ReferenceRows(TReferenceMode::TradePoints, "C-2").empty());
    EXPECT_TRUE(ReferenceRows(TReferenceMode::TradePoints, " C-1").empty()) << "exact GUID";
}

TEST_F(ReferenceSelectionTest, RowsCarryTheFiveColumns)
{
    const auto rows = ReferenceRows(TReferenceMode::Clients, "");
    const std::vector<std::string> first = {ReferenceCell(*rows[0], 0), ReferenceCell(*rows[0], 1),
        ReferenceCell(*rows[0], 2), ReferenceCell(*rows[0], 3), ReferenceCell(*rows[0], 4)};
    EXPECT_EQ(first, (std::vector<std::string> {"А12", "Иванов", "C-1", "0", "тел.|адрес"}));
    EXPECT_EQ(ReferenceCell(*rows[1], 3), "1");
    EXPECT_EQ(PreselectedRow(rows, " C-3 "), 2);
    EXPECT_EQ(PreselectedRow(rows, "C-9"), -1);
    EXPECT_EQ(PreselectedRow(rows, ""), -1);
}

TEST(ReferenceCodes, OnlyTheCyrillicCapitalAIsRed)
{
    EXPECT_TRUE(IsRedCode("А12"));
    EXPECT_TRUE(IsRedCode("А"));
    EXPECT_FALSE(IsRedCode("A12")) << "Latin A";
    EXPECT_FALSE(IsRedCode("а12")) << "small Cyrillic а";
    EXPECT_FALSE(IsRedCode("12А"));
    EXPECT_FALSE(IsRedCode(""));
}

TEST_F(ReferenceSelectionTest, QuickSearchIgnoresCaseAndBlanks)
{
    const auto rows = ReferenceRows(TReferenceMode::Clients, "");
    EXPECT_EQ(FindReferenceRow(rows, "ив"), 0);
    EXPECT_EQ(FindReferenceRow(rows, " ИВАШ "), 2);
    EXPECT_EQ(FindReferenceRow(rows, "Яблоко"), -1);
    EXPECT_EQ(FindReferenceRow(rows, "  "), -1);
}

TEST_F(ReferenceSelectionTest, BlockedClientIsRefusedOnEveryAttempt)
{
    const auto rows = ReferenceRows(TReferenceMode::Clients, "");
    TPickedItem picked;
    EXPECT_FALSE(PickReferenceItem(*rows[1], picked));
    EXPECT_FALSE(PickReferenceItem(*rows[1], picked));
    EXPECT_FALSE(picked.chosen);
    ASSERT_EQ(folder.ui.shown.size(), 2u);
    EXPECT_EQ(folder.ui.shown[1].text, "На выбранного клиента отгрузка запрещена!");
    EXPECT_EQ(folder.ui.shown[1].icon, TIcon::Warning);

    EXPECT_TRUE(PickReferenceItem(*rows[0], picked));
    EXPECT_TRUE(picked.chosen);
    EXPECT_EQ(picked.guid, "C-1");
    EXPECT_EQ(picked.name, "Иванов");
    EXPECT_EQ(picked.info, "тел.|адрес");
}

TEST_F(ReferenceSelectionTest, TradePointNeedsAClient)
{
    EXPECT_FALSE(TradePointPickAllowed("  "));
    ASSERT_EQ(folder.ui.Texts(), (std::vector<std::string> {"Не выбран клиент!"}));
    EXPECT_EQ(folder.ui.shown[0].icon, TIcon::Information);
    EXPECT_TRUE(TradePointPickAllowed("C-1"));
    EXPECT_EQ(folder.ui.shown.size(), 1u);
}

TEST_F(ReferenceSelectionTest, CodeBoxWidthIsKeptAboveFour)
{
    EXPECT_EQ(SavedCodeBoxWidth(), 0);
    for (const auto& [stored, width] :
        std::vector<std::pair<const char*, int>> {{"4", 0}, {"5", 5}, {"80", 80}, {"x", 0}}) {
        SetOption("SPR_COLW_0", stored);
        EXPECT_EQ(SavedCodeBoxWidth(), width) << stored;
    }
    SaveCodeBoxWidth(61);
    EXPECT_EQ(GetOption(nullptr, "SPR_COLW_0"), "61");
}

} // namespace
} // namespace vendrix
