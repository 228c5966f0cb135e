// The goods selection over a small catalogue built in memory: the document's lines taken in,
// the group tree (with orphans and a group that names itself), the items of a group, the
// quantities kept across groups and handed back in catalogue order, search, saved widths.
#include "documents/goods_selection.h"
#include "storage/options.h"
#include "support/test_support.h"

namespace vendrix {
namespace {

// A catalogue in UNAME order, parents linked the way the loader links them.
class TCatalogue {
public:
    TTreeData& Group(int id, int root, const char* name)
    {
        return Add(id, root, 1, "", name, "", 0);
    }
    TTreeData& Item(
        int id, int root, const char* code, const char* name, const char* guid, TAmount price)
    {
        return Add(id, root, 0, code, name, guid, price);
    }
    std::vector<TTreeData>& Link()
    {
        for (TTreeData& n : nodes) {
            n.parent = nullptr;
            for (TTreeData& p : nodes) {
                if (n.ROOTID > 0 && p.ID == n.ROOTID) {
                    n.parent = &p;
                    break;
                }
            }
        }
        return nodes;
    }
    std::vector<TTreeData> nodes;

private:
    TTreeData& Add(int id, int root, int folder, const char* code, const char* name,
        const char* guid, TAmount price)
    {
        TTreeData n;
        n.ID = id;
        n.ROOTID = root;
        n.IS_FOLDER = folder;
        n.SetTexts({.ANAME = name, .KOD = code, .GUID = guid});
        n.PRICE = price;
        nodes.reserve(32);
        nodes.push_back(n);
        return nodes.back();
    }
};

class GoodsSelectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        c.Group(1, 0, "Напитки");
        c.Item(10, 1, "А-1", "Сок яблочный", "G-SOK", 125000); // 12.50
        c.Group(2, 1, "Воды");
        c.Item(20, 2, "В-1", "Вода минеральная", "G-VODA", 2900); // 0.29
        c.Item(11, 1, "А-2", "сок вишнёвый", "G-VISH", 100000);
        c.Group(3, 0, "Бакалея");
        c.Item(30, 3, "Б-1", "Рис", "G-RIS", 50000);
        c.Item(40, 0, "Х-1", "Без группы", "G-TOP", 10000);
        c.Group(5, 99, "Сирота");
        c.Item(50, 5, "С-1", "В потерянной группе", "G-LOST", 10000);
        c.Item(31, 3, "Б-2", "Рис второй", "G-RIS", 70000); // the same GUID again
        c.Link();
    }

    static std::vector<std::string> Names(std::span<TTreeData* const> rows)
    {
        std::vector<std::string> out;
        for (const TTreeData* n : rows)
            out.emplace_back(n->ANAME());
        return out;
    }

    TTreeData& Node(int id)
    {
        for (TTreeData& n : c.nodes)
            if (n.ID == id)
                return n;
        throw std::logic_error("no node");
    }

    TCatalogue c;
};

TEST_F(GoodsSelectionTest, TakesTheDocumentsLinesAndDropsUnknownGoods)
{
    Node(30).quantity = 99; // left over from an earlier opening
    TGoodsSelection s(c.nodes);
    s.Prepare("G-SOK\t2\r\nG-GONE\t5\r\nG-VISH\t1,5\r\nG-VODA\r\nG-RIS\t3\r\nG-RIS\t4\r\n"
              "  \t7\r\nG-TOP\tабв");
    EXPECT_EQ(Node(10).quantity, 20000);
    EXPECT_EQ(Node(10).sum, 250000) << "2 x 12.50";
    EXPECT_EQ(Node(11).quantity, 15000) << "a comma reads as the point";
    EXPECT_EQ(Node(20).quantity, 0) << "no quantity after the TAB is 0";
    EXPECT_EQ(Node(30).quantity, 40000) << "the later line wins";
    EXPECT_EQ(Node(31).quantity, 0) << "only the first node of a GUID takes it";
    EXPECT_EQ(Node(40).quantity, 0) << "unreadable is 0";
    const std::vector<std::string> expected = {"G-SOK\t2.00\tСок яблочный\t12.50\t25.00",
        "G-VISH\t1.50\tсок вишнёвый\t10.00\t15.00", "G-RIS\t4.00\tРис\t5.00\t20.00"};
    EXPECT_EQ(s.ResultList(), expected) << "G-GONE is absent";
}

TEST_F(GoodsSelectionTest, GroupTreeShowsReachableGroupsDepthFirst)
{
    TGoodsSelection s(c.nodes);
    s.Prepare("");
    std::vector<std::pair<std::string, int>> tree;
    for (const TGoodsGroup& g : s.Groups())
        tree.emplace_back(g.node->ANAME(), g.parent);
    const std::vector<std::pair<std::string, int>> expected
        = {{"Напитки", -1}, {"Воды", 0}, {"Бакалея", -1}};
    EXPECT_EQ(tree, expected) << "the orphan group never appears";
    ASSERT_NE(s.CurrentGroup(), nullptr);
    EXPECT_EQ(s.CurrentGroup()->ANAME(), "Напитки") << "the first top-level group is chosen";
    EXPECT_EQ(Names(s.Rows()), (std::vector<std::string> {"Сок яблочный", "сок вишнёвый"}))
        << "items of sub-groups stay in their own group";
    s.ChooseGroup(&Node(2));
    EXPECT_EQ(Names(s.Rows()), (std::vector<std::string> {"Вода минеральная"}));
    EXPECT_EQ(s.GroupIndex(&Node(2)), 1);
    EXPECT_EQ(s.GroupIndex(&Node(5)), -1);
}

TEST_F(GoodsSelectionTest, GroupsThatLoopBackAppearOnce)
{
    TCatalogue loop;
    loop.Group(7, 0, "Первая");
    loop.Group(7, 7, "Дубль, своя же группа");
    loop.Group(8, 7, "Вложенная");
    loop.Group(7, 8, "Снова семь");
    TGoodsSelection s(loop.Link());
    s.Prepare("");
    std::vector<std::string> names;
    for (const TGoodsGroup& g : s.Groups())
        names.emplace_back(g.node->ANAME());
    EXPECT_EQ(names,
        (std::vector<std::string> {"Первая", "Дубль, своя же группа", "Вложенная", "Снова семь"}));
}

TEST_F(GoodsSelectionTest, WithoutGroupsTheListStaysEmpty)
{
    TCatalogue flat;
    flat.Item(1, 0, "1", "Товар", "G-1", 10000);
    TGoodsSelection s(flat.Link());
    s.Prepare("G-1\t2");
    EXPECT_TRUE(s.Groups().empty());
    EXPECT_EQ(s.CurrentGroup(), nullptr);
    EXPECT_TRUE(s.Rows().empty());
    EXPECT_EQ(s.ResultList().size(), 1u) << "the document's line still comes back";
}

TEST_F(GoodsSelectionTest, QuantitiesTypedInTwoGroupsComeBackInCatalogueOrder)
{
    TGoodsSelection s(c.nodes);
    s.Prepare("G-VISH\t1");
    s.ChooseGroup(&Node(3));
    TGoodsSelection::SetQuantity(*s.Rows()[0], 30000);
    s.ChooseGroup(&Node(1));
    TGoodsSelection::SetQuantity(*s.Rows()[0], 15000);
    TGoodsSelection::SetQuantity(*s.Rows()[1], 0); // set to zero: the line goes
    s.ChooseGroup(&Node(3));
    EXPECT_EQ(s.Rows()[0]->quantity, 30000) << "kept while the agent moved on";
    const std::vector<std::string> expected
        = {"G-SOK\t1.50\tСок яблочный\t12.50\t18.75", "G-RIS\t3.00\tРис\t5.00\t15.00"};
    EXPECT_EQ(s.ResultList(), expected);
}

TEST_F(GoodsSelectionTest, SearchLooksOnlyInTheCurrentGroup)
{
    TGoodsSelection s(c.nodes);
    s.Prepare("");
    EXPECT_EQ(s.FindByName("СОК В"), 1) << "letter case ignored";
    EXPECT_EQ(s.FindByName("сок"), 0);
    EXPECT_EQ(s.FindByName(" сок"), -1) << "the name is matched as typed";
    EXPECT_EQ(s.FindByName("   "), -1);
    EXPECT_EQ(s.FindByName("Рис"), -1) << "another group's goods";
    EXPECT_EQ(s.FindByCode(" а-2 "), 1);
    EXPECT_EQ(s.FindByCode(""), -1);
}

using GoodsColumnWidths = test::StartedFolderTest;

TEST_F(GoodsColumnWidths, SavedWidthsAboveTenAreRestored)
{
    SetOption("SPR_MUL_COLW_0", "10");
    SetOption("SPR_MUL_COLW_1", "11");
    SetOption("SPR_MUL_COLW_2", "abc");
    SetOption("SPR_MUL_COLW_4", "90");
    EXPECT_EQ(SavedGoodsColumnWidths(5), (std::vector<int> {0, 11, 0, 0, 90}));
    SaveGoodsColumnWidths({30, 120, 40});
    EXPECT_EQ(GetOption(nullptr, "SPR_MUL_COLW_0"), "30");
    EXPECT_EQ(GetOption(nullptr, "SPR_MUL_COLW_2"), "40");
    EXPECT_EQ(GetOption(nullptr, "SPR_MUL_COLW_4"), "90") << "three columns write three options";
}

} // namespace
} // namespace vendrix
