// The settings form's rules without its window: the device information rows, the column-width
// reset with its question, and a load that could not read the table.
#include "settings/options_binding.h"
#include "settings/settings_rules.h"
#include "storage/options.h"
#include "storage/sql_query.h"
#include "support/test_support.h"

namespace vendrix {
namespace {

using SettingsRulesTest = test::StartedFolderTest;

TEST_F(SettingsRulesTest, InformationRowsShowTheValuesOfNowOrQuestionMarks)
{
    test::Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('AgentName', ' Петров '), "
               "('PDA_ID', 'stored, never shown'), ('EXCH_CNT', '7')");
    const std::vector<TInfoRow> rows = ReadInfoRows();
    ASSERT_EQ(rows.size(), 6u);
    const char* captions[]
        = {"Агент:", "КПК:", "Посл. загр.:", "Посл. загр.:", "Обменов:", "Папка:"};
    const char* options[] = {"AgentName", "PDA_ID", "LLD", "LLD_Def", "EXCH_CNT", ""};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].caption, captions[i]);
        EXPECT_EQ(rows[i].option, options[i]);
    }
    EXPECT_EQ(rows[0].value, "Петров");
    EXPECT_EQ(rows[1].value, DeviceIdentifier()) << "the device's own identifier, not a row";
    EXPECT_EQ(rows[2].value, "???");
    EXPECT_EQ(rows[4].value, "7");
    EXPECT_EQ(InfoLabelText(rows[0]), "Петров\r\nИмя торгового агента");
    EXPECT_EQ(InfoLabelText(rows[3]), "???\r\nДата последней загрузки данных (по-умолчанию)");
    EXPECT_EQ(InfoMessageText(rows[4]), "Обменов:\r\n7");
    EXPECT_EQ(rows[5].value, folder.Path().string()) << "where the database and exchange live";
}

TEST_F(SettingsRulesTest, ColumnWidthResetAsksAndDeletesBothFormsWidthsOnOk)
{
    test::Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('SPR_COLW_0', '80'), "
               "('SPR_MUL_COLW_0', '90'), ('SPR_MUL_COLW_2', '40'), ('SPR_MUL_COLW_4', '30'), "
               "('SPR_MUL_COLW_5', '20')");
    const std::string widths = "select count(*) from MY_OPTIONS where OPT_NAME like 'SPR%COLW%'";
    TOptionsBinding b;
    ASSERT_TRUE(LoadSettings(b));

    folder.ui.answers.push_back(TAnswer::Cancel);
    EXPECT_FALSE(ResetColumnWidths(b));
    EXPECT_EQ(test::Value(widths), "5");
    ASSERT_EQ(folder.ui.shown.size(), 1u);
    EXPECT_EQ(folder.ui.shown[0].text, "Установить настройки ширины колонок по-умолчанию?");
    EXPECT_EQ(folder.ui.shown[0].icon, TIcon::Question);
    EXPECT_TRUE(folder.ui.shown[0].question);

    folder.ui.answers.push_back(TAnswer::Ok);
    EXPECT_TRUE(ResetColumnWidths(b));
    EXPECT_EQ(test::Column("select OPT_NAME from MY_OPTIONS where OPT_NAME like 'SPR%COLW%'"),
        std::vector<std::string> {"SPR_MUL_COLW_5"})
        << "the goods form has five columns at most: 0 to 4";
    EXPECT_EQ(test::Value("select count(*) from MY_OPTIONS"), "34") << "nothing else goes";
    ASSERT_TRUE(SaveSettings(b));
    EXPECT_EQ(test::Value(widths), "1") << "a later save does not write them back";
}

TEST_F(SettingsRulesTest, ATableThatCannotBeReadIsNotLoaded)
{
    test::Exec("drop table MY_OPTIONS");
    TOptionsBinding b;
    EXPECT_FALSE(LoadSettings(b));
    ASSERT_EQ(folder.ui.shown.size(), 1u);
    EXPECT_NE(folder.ui.shown[0].text.find("MY_OPTIONS"), std::string::npos);
}

} // namespace
} // namespace vendrix
