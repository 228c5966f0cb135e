// The road of one order, end to end on real files and a real FTP office: the demo office's
// catalogue arrives, the agent writes an order for one of its clients, the journal shows it,
// the automatic FTP exchange sends it to the local office (which answers by taking it over),
// the order comes back locked, and a later deletion order of the office removes it.
#include "app/local_office.h"
#include "documents/document.h"
#include "documents/reference_lists.h"
#include "exchange/exchange_log.h"
#include "exchange/exchange_sequence.h"
#include "exchange/import_script.h"
#include "shell/journal.h"
#include "storage/codepage.h"
#include "storage/options.h"
#include "support/test_support.h"

namespace vendrix {
namespace {

namespace fs = std::filesystem;

TEST(Road, OneOrderFromTheAgentToTheOfficeAndBack)
{
    test::TProgramFolder folder;
    ASSERT_TRUE(folder.Start());
    TExchangeLog log;

    // The office's first answer fills the reference lists.
    ASSERT_TRUE(Import(log, VENDRIX_OFFICE, false));
    ASSERT_EQ(folder.ui.Texts().size(), 1u) << "the office's greeting";
    ASSERT_FALSE(ClientList().empty());
    ASSERT_EQ(GoodsList().size(), 70u);
    const TSprListItem& client = ClientList().front();
    const TTreeData* goods = nullptr;
    for (const TTreeData& g : GoodsList())
        goods = goods ? goods : (g.IS_FOLDER ? nullptr : &g);
    ASSERT_TRUE(goods);

    // 1-3: a new order, a client and goods, saved.
    SetOption("NEWDOC_DATE", "1");
    TDocument order;
    order.Reset();
    order.Open("", false);
    EXPECT_EQ(order.statusText, "новый документ");
    EXPECT_EQ(order.shipmentDate, Today() + 1);
    order.clientName = client.ANAME();
    order.clientGuid = client.GUID();
    order.lines.push_back({std::string(goods->GUID()), std::string(goods->ANAME()), "3.00",
        AmountText(goods->PRICE * 3, 2, false), static_cast<std::int64_t>(goods->PRICE / 100)});
    ASSERT_TRUE(order.Save());
    EXPECT_EQ(order.statusText, "документ записан");
    TJournal journal;
    LoadJournal(journal, Today(), Today());
    ASSERT_EQ(journal.keys, std::vector<std::string> {order.guid});
    EXPECT_EQ(journal.rows[0].image, 1);
    EXPECT_EQ(journal.rows[0].client, client.ANAME());

    // 4: the automatic FTP exchange with the local office.
    test::TLocalOffice office(folder.Path() / "office-home");
    ASSERT_TRUE(office.Ready()) << "python3-pyftpdlib missing?";
    SetOption("USEFTP", "1");
    SetOption("FTPAUTO", "1");
    SetOption("FTPAUTH", "1");
    SetOption("FTPAddress", "127.0.0.1");
    SetOption("FTPPort", std::to_string(office.Port()));
    SetOption("FTPPath", "office");
    SetOption("FTPLogin", "agent");
    SetOption("FTPPassword", "demo");
    folder.ui.Clear();
    folder.ui.answers.push_back(TAnswer::Yes);
    TExchangeSequence sequence(log);
    sequence.Show();
    ASSERT_TRUE(sequence.StartTimerArmed());
    const TCommandResult result = sequence.StartTimerFired();
    EXPECT_TRUE(result.success) << log.Text();
    EXPECT_EQ(result.next, TAfterCommand::Close);
    ASSERT_FALSE(folder.ui.Texts().empty());
    EXPECT_EQ(folder.ui.Texts().back(), "Успешно!\r\nЗагрузка завершена.");
    EXPECT_NE(std::find(folder.ui.Texts().begin(), folder.ui.Texts().end(),
                  "Сообщение из офиса: [2 / 2]\r\nОфис принял заявок: 1."),
        folder.ui.Texts().end());

    // 5: the office took the order over; it is locked now.
    LoadJournal(journal, Today(), Today());
    ASSERT_EQ(journal.rows.size(), 1u);
    EXPECT_EQ(journal.rows[0].image, 2);
    TDocument again;
    again.Reset();
    again.Open(order.guid, false);
    EXPECT_EQ(again.statusText, "документ передан в БД");
    folder.ui.Clear();
    EXPECT_FALSE(again.Save());
    EXPECT_EQ(folder.ui.Texts(),
        std::vector<std::string> {"Изменение запрещено.\r\nДокумент выгружен в центр. БД."});

    // A later deletion order removes the documents the office has taken over.
    const fs::path in = folder.Path() / "del";
    test::WriteOfficeScript(in, test::OfficeScript({"<DEL \"01.01.3000\">"}));
    folder.ui.Clear();
    ASSERT_TRUE(Import(log, in.string(), false));
    EXPECT_EQ(folder.ui.Texts(),
        std::vector<std::string> {"Поступила команда удалить старые документы до "
                                  "01.01.3000.\r\nУдалено документов 1"});
    LoadJournal(journal, 0, 0);
    EXPECT_TRUE(journal.rows.empty());
}

} // namespace
} // namespace vendrix
