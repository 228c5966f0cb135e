// The reference lists: what enters the client list and the goods tree, parent links, the
// unforced load rule, the SKU grid axes and the quick search.
#include "documents/reference_lists.h"
#include "storage/sql_query.h"
#include "support/test_support.h"

namespace vendrix {
namespace {

using ReferenceListsTest = test::StartedFolderTest;

TEST_F(ReferenceListsTest, ClientListTakesItemsOnlyAndReadsTheirFields)
{
    test::Exec(
        "insert into SPR_CLIENTS (GUID, IS_FOLDER, IS_DELETED, ANAME, UNAME, KIND, KOD, INFO, "
        "CLI_GUID) values "
        "(' G2 ', 0, ' 1 ', ' Петров ', 'B', 1, ' 002 ', 'тел.|адрес', ''),"
        "('G1', 0, '2', 'Иванов', 'A', 'x', '001', '', ''),"
        "('F1', 1, '0', 'Группа', 'C', 0, '', '', ''),"
        "('T1', 0, 'yes', 'Магазин', 'D', ' 2 ', '', '', 'G1')");
    ASSERT_TRUE(LoadReferenceLists(true));
    const auto& c = ClientList();
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(c[0].ANAME(), "Иванов");
    EXPECT_FALSE(c[0].deleted) << "2 is not the blocked flag";
    EXPECT_EQ(c[0].KIND, 0) << "unreadable KIND is 0";
    EXPECT_EQ(c[1].GUID(), "G2");
    EXPECT_EQ(c[1].ANAME(), "Петров");
    EXPECT_EQ(c[1].KOD(), "002");
    EXPECT_TRUE(c[1].deleted);
    EXPECT_EQ(c[1].INFO(), "тел.|адрес");
    EXPECT_EQ(c[2].KIND, 2);
    EXPECT_EQ(c[2].CLI_GUID(), "G1");
    EXPECT_FALSE(c[2].deleted);
}

TEST_F(ReferenceListsTest, GoodsTreeDropsBadIdsAndLinksParents)
{
    test::Exec("insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, ANAME, UNAME, PRICE, ED_IZM, "
               "KOD) values "
               "('g-a', 10, 0, 1, 'Напитки', 'a', '', '', ''),"
               "('g-b', ' 17.0 ', 10, 0, 'Сок', 'b', '12,5', 'шт', 'А17'),"
               "('g-c', 0, 10, 0, 'Нулевой', 'c', 1, '', ''),"
               "('g-d', '', 10, 0, 'Пустой', 'd', 1, '', ''),"
               "('g-e', -5, 10, 0, 'Минус', 'e', 1, '', ''),"
               "('g-f', 20, 99, 0, 'Сирота', 'f', 'abc', '', ''),"
               "('g-g', 21, '-1', 0, 'Верх', 'g', '0.29', '', ''),"
               "('g-h', 10, 0, 1, 'Дубль', 'h', '', '', ''),"
               "('g-i', 22, 10, 0, 'Вода', 'i', '1e1', '', '')");
    ASSERT_TRUE(LoadReferenceLists(true));
    const auto& g = GoodsList();
    std::vector<std::string> names;
    for (const auto& n : g)
        names.emplace_back(n.ANAME());
    EXPECT_EQ(
        names, (std::vector<std::string> {"Напитки", "Сок", "Сирота", "Верх", "Дубль", "Вода"}));
    EXPECT_EQ(g[1].ID, 17);
    EXPECT_EQ(g[1].PRICE, 125000);
    EXPECT_EQ(g[1].KOD(), "А17");
    EXPECT_EQ(g[1].parent, &g[0]);
    EXPECT_EQ(g[5].parent, &g[0]) << "children attach to the first node of an ID";
    EXPECT_EQ(g[2].parent, nullptr) << "a missing parent";
    EXPECT_EQ(g[2].PRICE, 0) << "unreadable price is 0";
    EXPECT_EQ(g[3].ROOTID, 0);
    EXPECT_EQ(g[3].parent, nullptr);
    EXPECT_EQ(g[3].PRICE, 2900);
    EXPECT_EQ(g[5].PRICE, 100000);
    EXPECT_EQ(g[0].IS_FOLDER, 1);
}

TEST_F(ReferenceListsTest, UnforcedLoadRuleDependsOnTheGoodsOnly)
{
    test::Exec("insert into SPR_CLIENTS (GUID, IS_FOLDER, ANAME, UNAME) values ('C', 0, 'К', 'К')");
    EXPECT_TRUE(LoadReferenceLists(false)) << "no goods yet: loads";
    EXPECT_EQ(ClientList().size(), 1u);
    test::Exec("insert into SPR_GOODS (GUID, ID, ANAME, UNAME) values ('G', 1, 'Т', 'Т')");
    EXPECT_TRUE(LoadReferenceLists(false));
    EXPECT_EQ(GoodsList().size(), 1u);
    test::Exec("insert into SPR_GOODS (GUID, ID, ANAME, UNAME) values ('H', 2, 'У', 'У')");
    EXPECT_FALSE(LoadReferenceLists(false)) << "goods present: unforced does nothing";
    EXPECT_EQ(GoodsList().size(), 1u);
    EXPECT_TRUE(LoadReferenceLists(true));
    EXPECT_EQ(GoodsList().size(), 2u);
}

TEST_F(ReferenceListsTest, MissingClientTableFailsAndKeepsTheGoods)
{
    test::Exec("insert into SPR_GOODS (GUID, ID, ANAME, UNAME) values ('G', 1, 'Т', 'Т')");
    ASSERT_TRUE(LoadReferenceLists(true));
    test::Exec("drop table SPR_CLIENTS");
    EXPECT_FALSE(LoadReferenceLists(true));
    EXPECT_TRUE(ClientList().empty());
    EXPECT_EQ(GoodsList().size(), 1u);
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"no such table: SPR_CLIENTS"});
}

TEST_F(ReferenceListsTest, SkuGridAxes)
{
    TSkuGrid sku;
    BuildSkuGridAxes(sku, true);
    EXPECT_EQ(sku.grid.ColumnCount(), 2) << "no categories: only the competitor columns";
    EXPECT_EQ(sku.grid.RowCount(), 1) << "only the GUID row";
    EXPECT_EQ(sku.grid.Column(1).caption, "Производитель");
    EXPECT_EQ(sku.grid.Column(0).width, 1);

    test::Exec("insert into SPR_GOOD_CAT (GUID, ID, ANAME) values (' K2 ', 2, ' Соки '),"
               "('K1', 1, 'Воды');"
               "insert into SPR_COMPETITORS (GUID, ID, ANAME) values ('P1', 1, ' Наш ')");
    BuildSkuGridAxes(sku, true);
    ASSERT_EQ(sku.grid.ColumnCount(), 4);
    EXPECT_EQ(sku.grid.Column(2).caption, "Воды");
    EXPECT_EQ(sku.grid.Column(3).caption, "Соки");
    EXPECT_EQ(sku.grid.Column(3).align, TAlign::Right);
    EXPECT_EQ(sku.grid.Column(3).width, 40);
    EXPECT_EQ(sku.columnMap, "2=K1\n3=K2\n");
    ASSERT_EQ(sku.grid.RowCount(), 2);
    EXPECT_EQ(sku.grid.Cell(0, 0), "< GUID >");
    EXPECT_EQ(sku.grid.Cell(0, 3), "K2");
    EXPECT_EQ(sku.grid.Cell(1, 0), "P1");
    EXPECT_EQ(sku.grid.Cell(1, 1), "Наш");
    EXPECT_EQ(sku.grid.Cell(1, 2), "");

    BuildSkuGridAxes(sku, false);
    EXPECT_EQ(sku.grid.RowCount(), 1);
    EXPECT_EQ(sku.grid.Cell(0, 0), "P1");
    EXPECT_EQ(sku.columnMap, "2=K1\n3=K2\n");
}

TEST(FindRowByPrefix, Cases)
{
    const std::vector<std::string> rows = {"Петров", "Иванов", "иванова", "Ёж", "Ab"};
    const auto cell = [&](int r) -> std::string_view { return rows[static_cast<std::size_t>(r)]; };
    const int n = static_cast<int>(rows.size());
    EXPECT_EQ(FindRowByPrefix(n, cell, "ива"), 1);
    EXPECT_EQ(FindRowByPrefix(n, cell, "ИВАНОВА"), 2);
    EXPECT_EQ(FindRowByPrefix(n, cell, "ёж"), 3);
    EXPECT_EQ(FindRowByPrefix(n, cell, "aB"), 4);
    EXPECT_EQ(FindRowByPrefix(n, cell, ""), 0);
    EXPECT_EQ(FindRowByPrefix(n, cell, "Петрова"), -1) << "a shorter cell does not match";
    EXPECT_EQ(FindRowByPrefix(0, cell, ""), -1);
}

} // namespace
} // namespace vendrix
