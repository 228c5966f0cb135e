// The options binding table over a real MY_OPTIONS: names and lookups, filling each class of
// control, the rows kept for the options no control shows, the save script with texts that
// would break a careless one, a failing save that must leave the table alone, and the removal
// of single options.
#include "settings/options_binding.h"
#include "settings/settings_rules.h"
#include "storage/database_location.h"
#include "storage/options.h"
#include "storage/sql_query.h"
#include "storage/value_formats.h"
#include "support/test_support.h"

namespace vendrix {
namespace {

// A control of any class, holding whatever the table gives it.
class TFakeControl : public TBoundControl {
public:
    explicit TFakeControl(std::string cls, int items = 4)
        : cls(std::move(cls))
        , items(items)
    {
    }
    std::string ClassName() const override { return cls; }
    bool Checked() const override { return checked; }
    void SetChecked(bool on) override { checked = on; }
    std::string Text() const override { return text; }
    void SetText(const std::string& t) override { text = t; }
    int ItemIndex() const override { return index; }
    int ItemCount() const override { return items; }
    void SetItemIndex(int i) override { index = i; }

    std::string cls;
    int items;
    bool checked = false;
    std::string text = "untouched";
    int index = -1;
};

// Binds a fresh fake control and hands back a pointer to it.
TFakeControl* BindFake(TOptionsBinding& b, const std::string& cls, const std::string& name)
{
    auto control = std::make_unique<TFakeControl>(cls);
    TFakeControl* raw = control.get();
    b.Bind(std::move(control), name);
    return raw;
}

class OptionsBindingTest : public test::StartedFolderTest {
protected:
    void SetUp() override
    {
        test::StartedFolderTest::SetUp();
        test::Exec("delete from MY_OPTIONS");
    }

    // Fills `b` from the stored table, as the settings form loads.
    static void FillFromTable(TOptionsBinding& b, bool keepRows = true)
    {
        auto rows = RunQuery("select OPT_NAME, OPT_VAL, OPT_DESCR from MY_OPTIONS");
        ASSERT_TRUE(rows);
        b.Fill(*rows, keepRows);
    }

    // Empties the table and writes `b` back on one connection, as the settings form saves.
    static bool Save(const TOptionsBinding& b, bool withKeptRows = true)
    {
        auto query = TSqlQuery::Create(DbPath(), true);
        EXPECT_TRUE(query);
        return query && b.Write(*query, withKeptRows, true);
    }

    // Every stored row as "name|value|description", NULL shown as "<null>".
    static std::vector<std::string> Rows()
    {
        return test::Column("select OPT_NAME || '|' || coalesce(OPT_VAL, '<null>') || '|' || "
                            "coalesce(OPT_DESCR, '<null>') from MY_OPTIONS order by rowid");
    }
};

TEST_F(OptionsBindingTest, BindingsKeepUpperCaseTrimmedNamesAndAnswerOnlyTheirIndexes)
{
    TOptionsBinding b;
    EXPECT_EQ(b.Bind(std::make_unique<TFakeControl>("BUTTON"), "  UseSUMS "), 0);
    EXPECT_EQ(b.Bind(nullptr, "MultiSelFormText"), 1);
    EXPECT_EQ(b.Count(), 2);
    EXPECT_EQ(b.NameAt(0), "USESUMS");
    EXPECT_EQ(b.NameAt(1), "MULTISELFORMTEXT");
    EXPECT_NE(b.ControlAt(0), nullptr);
    EXPECT_EQ(b.ControlAt(1), nullptr);
    for (int outside : {-1, 2, 100}) {
        EXPECT_FALSE(b.NameAt(outside)) << outside;
        EXPECT_EQ(b.ControlAt(outside), nullptr) << outside;
    }
}

TEST_F(OptionsBindingTest, FillShowsEachStoredValueByTheRulesOfItsClass)
{
    struct TCase {
        const char* what;
        const char* cls;
        const char* stored;
        bool checked;
        int index;
        const char* text;
    };
    const TCase cases[] = {
        {"exactly 1 ticks", "BUTTON", "1", true, -1, "untouched"},
        {"1 with blanks around ticks: values are trimmed", "BUTTON", " 1 ", true, -1, "untouched"},
        {"true is not 1", "BUTTON", "true", false, -1, "untouched"},
        {"0 leaves it clear", "BUTTON", "0", false, -1, "untouched"},
        {"class names go without case", "button", "1", true, -1, "untouched"},
        {"an edit takes the trimmed text", "EDIT", "  Заявка ", false, -1, "Заявка"},
        {"an empty value empties an edit", "EDIT", "", false, -1, ""},
        {"a list selects the item of that index", "COMBOBOX", "3", false, 3, "untouched"},
        {"blanks around the index", "COMBOBOX", " 2 ", false, 2, "untouched"},
        {"an unreadable index selects the first item", "COMBOBOX", "large", false, 0, "untouched"},
        {"an index beyond the items selects the first", "COMBOBOX", "7", false, 0, "untouched"},
        {"a negative index selects the first", "COMBOBOX", "-1", false, 0, "untouched"},
        {"another class is carried, never filled", "STATIC", "1", false, -1, "untouched"},
    };
    for (const TCase& c : cases) {
        test::Exec("delete from MY_OPTIONS");
        test::Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('OPT', '"
            + std::string(c.stored) + "')");
        TOptionsBinding b;
        TFakeControl* control = BindFake(b, c.cls, "OPT");
        FillFromTable(b);
        EXPECT_EQ(control->checked, c.checked) << c.what;
        EXPECT_EQ(control->index, c.index) << c.what;
        EXPECT_EQ(control->text, c.text) << c.what;
        EXPECT_TRUE(b.KeptRows().empty()) << c.what << ": a bound row is never kept";
    }
}

TEST_F(OptionsBindingTest, FillMatchesNamesWithoutCaseOrBlanksAndFillsEveryBindingOfAName)
{
    test::Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values (' docpage ', '1')");
    TOptionsBinding b;
    TFakeControl* first = BindFake(b, "BUTTON", "DocPage");
    TFakeControl* second = BindFake(b, "BUTTON", "DOCPAGE");
    FillFromTable(b);
    EXPECT_TRUE(first->checked);
    EXPECT_TRUE(second->checked);
    EXPECT_TRUE(b.KeptRows().empty());
}

TEST_F(OptionsBindingTest, RowsNoControlShowsAreKeptOnceAsRead)
{
    test::Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL, OPT_DESCR) values "
               "('AgentName', ' Петров ', 'Имя агента'), ('AGENTNAME', 'Сидоров', 'второй'), "
               "('LLD', NULL, NULL), ('USEFTP', '1', 'описание связанной'), "
               "('PDA_ID', 'AAAA', 'x')");
    TOptionsBinding b;
    BindFake(b, "BUTTON", "USEFTP");
    FillFromTable(b);
    ASSERT_EQ(b.KeptRows().size(), 3u);
    EXPECT_EQ(b.KeptRows()[0].name, "AgentName");
    EXPECT_EQ(b.KeptRows()[0].value, " Петров ") << "kept exactly, blanks and all";
    EXPECT_EQ(b.KeptRows()[0].description, "Имя агента");
    EXPECT_EQ(b.KeptRows()[1].name, "LLD");
    EXPECT_EQ(b.KeptRows()[1].value, "") << "NULL reads as empty";
    EXPECT_EQ(b.KeptRows()[2].name, "PDA_ID");

    TOptionsBinding none;
    BindFake(none, "BUTTON", "USEFTP");
    FillFromTable(none, false);
    EXPECT_TRUE(none.KeptRows().empty());
}

TEST_F(OptionsBindingTest, SaveWritesBoundOptionsInOrderThenTheKeptRows)
{
    test::Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL, OPT_DESCR) values "
               "('UseSUMS', 'true', 'lost on save'), ('EXCH_CNT', ' 12 ', 'Обмены'), "
               "('FONT_SIZE', '3', NULL), ('exch_cnt', '13', 'дубль')");
    TOptionsBinding b;
    BindFake(b, "BUTTON", "UseSUMS");
    BindFake(b, "COMBOBOX", "FONT_SIZE");
    BindFake(b, "EDIT", "Nomenkl")->text = "untouched";
    BindFake(b, "STATIC", "SHOWN_ONLY");
    b.Bind(nullptr, "NOTHING");
    FillFromTable(b);
    BindFake(b, "EDIT", "Count")->text = "  Кол-во  ";

    const std::string script = b.Script(true);
    EXPECT_EQ(script.rfind("BEGIN;\r\n", 0), 0u);
    EXPECT_EQ(script.substr(script.size() - 7), "COMMIT;");
    EXPECT_NE(script.find("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('USESUMS', '0');"
                          "\r\ninsert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('FONT_SIZE', "
                          "'3');\r\n"),
        std::string::npos)
        << script;

    ASSERT_TRUE(Save(b));
    EXPECT_EQ(Rows(),
        (std::vector<std::string> {"USESUMS|0|<null>", "FONT_SIZE|3|<null>",
            "NOMENKL|untouched|<null>", "COUNT|Кол-во|<null>", "EXCH_CNT| 12 |Обмены"}));
    EXPECT_EQ(GetOption(nullptr, "UseSUMS"), "0") << "readers find the upper-case name";

    ASSERT_TRUE(Save(b, false));
    EXPECT_EQ(Rows().size(), 4u) << "without the kept rows only bound options are written";
}

TEST_F(OptionsBindingTest, NoTypedTextCanBreakOrExtendTheScript)
{
    const std::string hostile[] = {
        "it's",
        "''",
        "'",
        "Пар'оль с кириллицей",
        "x'); delete from MY_OPTIONS; --",
        "a');\r\nCOMMIT;\r\ninsert into MY_OPTIONS values ('EXTRA', 'x', 'y",
        "\"double\" quotes; semicolons;",
    };
    for (const std::string& text : hostile) {
        test::Exec("delete from MY_OPTIONS");
        test::Exec("insert into MY_OPTIONS values (" + SqlString(text) + ", " + SqlString(text)
            + ", " + SqlString(text) + ")");
        TOptionsBinding b;
        FillFromTable(b);
        BindFake(b, "EDIT", "FTPPASSWORD")->text = text;
        ASSERT_TRUE(Save(b)) << text;
        EXPECT_EQ(test::Value("select count(*) from MY_OPTIONS"), "2") << text;
        EXPECT_EQ(GetOption(nullptr, "FTPPassword"), Trim(text)) << text;
        EXPECT_EQ(test::Value("select count(*) from MY_OPTIONS where OPT_NAME=" + SqlString(text)
                      + " and OPT_VAL=" + SqlString(text) + " and OPT_DESCR=" + SqlString(text)),
            "1")
            << text;
    }
    // SQLite reads the script as a C string: a NUL inside a typed text must not cut it short.
    TOptionsBinding b;
    BindFake(b, "EDIT", "FTPLOGIN")->text = std::string("ag\0ent", 6);
    BindFake(b, "BUTTON", "USEFTP")->checked = true;
    ASSERT_TRUE(Save(b));
    EXPECT_EQ(GetOption(nullptr, "FTPLogin"), "agent");
    EXPECT_EQ(GetOption(nullptr, "UseFTP"), "1");
    EXPECT_TRUE(folder.ui.shown.empty()) << folder.ui.shown.front().text;
}

TEST_F(OptionsBindingTest, AFailingSaveLeavesEverySettingAsItWas)
{
    test::Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL, OPT_DESCR) values "
               "('USEFTP', '0', NULL), ('AgentName', 'Петров', 'Имя')");
    // The database refuses one of the inserts halfway through the script.
    test::Exec("create trigger REFUSE before insert on MY_OPTIONS when new.OPT_NAME='AgentName' "
               "begin select raise(abort, 'refused'); end");
    const std::vector<std::string> before = Rows();
    TOptionsBinding b;
    FillFromTable(b);
    BindFake(b, "BUTTON", "USEFTP")->checked = true;

    auto query = TSqlQuery::Create(DbPath(), true);
    ASSERT_TRUE(query);
    EXPECT_FALSE(b.Write(*query, true, true));
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"refused"});
    EXPECT_TRUE(query->Exec("BEGIN; COMMIT;")) << "no transaction is left open";
    query.reset();
    EXPECT_EQ(Rows(), before);

    folder.ui.Clear();
    EXPECT_FALSE(SaveSettings(b));
    EXPECT_EQ(Rows(), before);
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"refused"});
}

TEST_F(OptionsBindingTest, RemovingAnOptionDeletesItAtOnceAndForGood)
{
    test::Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL, OPT_DESCR) values "
               "('SPR_COLW_0', '80', NULL), ('spr_colw_0', '90', NULL), ('SPR_COLW_1', '70', "
               "NULL), ('DATE', 'Дата:', NULL)");
    TOptionsBinding b;
    TFakeControl* date = BindFake(b, "EDIT", "DATE");
    FillFromTable(b);
    ASSERT_EQ(b.KeptRows().size(), 2u);

    EXPECT_TRUE(b.RemoveOption("SPR_COLW_0"));
    EXPECT_EQ(
        test::Value("select count(*) from MY_OPTIONS where upper(OPT_NAME)='SPR_COLW_0'"), "0")
        << "gone at once, in every spelling readers would find";
    ASSERT_EQ(b.KeptRows().size(), 1u);
    EXPECT_EQ(b.KeptRows()[0].name, "SPR_COLW_1");

    // A bound option loses only its stored row; the next save writes it again.
    EXPECT_TRUE(b.RemoveOption("date"));
    EXPECT_EQ(test::Value("select count(*) from MY_OPTIONS where OPT_NAME='DATE'"), "0");
    EXPECT_EQ(b.ControlAt(0), date);
    ASSERT_TRUE(Save(b));
    // A kept row's missing description was read as empty text and goes back as such.
    EXPECT_EQ(Rows(), (std::vector<std::string> {"DATE|Дата:|<null>", "SPR_COLW_1|70|"}));
}

} // namespace
} // namespace vendrix
