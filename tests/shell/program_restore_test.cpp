// The agent's way back while the program runs, without a window: the program's own running lock
// taken whole for the swap and shared again, refused while another program or a companion command
// shares it; and the dialogue around it (damaged copy, question, refusals, success, a copy the
// program cannot start on with the replaced database offered back), over real copies made by
// MakeBackup in a temporary program folder.
#include "documents/reference_lists.h"
#include "shell/startup.h"
#include "storage/backups.h"
#include "storage/database_location.h"
#include "storage/schema.h"
#include "support/test_support.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>

namespace vendrix {
namespace {

namespace fs = std::filesystem;

class ProgramRestoreTest : public test::StartedFolderTest {
protected:
    void SetUp() override
    {
        test::StartedFolderTest::SetUp();
        AddGoods(1);
        AddGoods(2);
        AddOrder("D-1");
        LoadReferenceLists(true);
        own = std::make_unique<TProgramRunningLock>();
    }

    static void AddGoods(int id)
    {
        const std::string n = std::to_string(id);
        test::Exec("insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, ANAME, UNAME, PRICE) "
                   "values ('G-"
            + n + "', " + n + ", 0, 0, 'Товар " + n + "', '" + n + "', '1')");
    }
    static void AddOrder(const std::string& guid)
    {
        test::Exec("insert into DOC_HEADS (GUID, CLI_NAME) values ('" + guid + "', 'Клиент')");
    }
    static std::string Orders() { return test::Value("select count(*) from DOC_HEADS"); }

    // A copy made as before an office answer, as it is listed.
    static TBackup Copy()
    {
        std::string name;
        EXPECT_EQ(MakeBackup(&name), TBackupOutcome::Made);
        for (const TBackup& b : ListBackups())
            if (b.name == name)
                return b;
        ADD_FAILURE() << "copy not listed: " << name;
        return {};
    }

    // The program's own share, as main() holds it for the whole run once the database is found.
    std::unique_ptr<TProgramRunningLock> own;
};

TEST_F(ProgramRestoreTest, TheProgramsOwnShareIsTakenWholeAndSharedAgain)
{
    const TBackup copy = Copy();
    AddOrder("D-2");
    ASSERT_TRUE(ProgramIsRunning());
    EXPECT_EQ(RestoreBackup(copy.name), TRestoreOutcome::ProgramRunning)
        << "a second descriptor is refused by the program's share";

    std::string keptAs;
    ASSERT_EQ(RestoreBackupInProgram(copy.name, &keptAs), TRestoreOutcome::Restored);
    EXPECT_EQ(Orders(), "1");
    EXPECT_TRUE(fs::is_regular_file(BackupFolder() / keptAs));
    EXPECT_TRUE(ProgramIsRunning()) << "the program shares the lock again";
    EXPECT_EQ(RestoreBackup(keptAs), TRestoreOutcome::ProgramRunning)
        << "a companion's restore is still refused while the program runs";
}

TEST_F(ProgramRestoreTest, AnotherHolderRefusesAndTheProgramKeepsItsShare)
{
    const TBackup copy = Copy();
    AddOrder("D-2");
    {
        const TProgramRunningLock companion; // a companion command at work on the database
        EXPECT_EQ(RestoreBackupInProgram(copy.name), TRestoreOutcome::ProgramRunning);
        EXPECT_EQ(Orders(), "2");
    }
    EXPECT_TRUE(ProgramIsRunning()) << "the refused conversion did not cost the program its share";
    EXPECT_EQ(RestoreBackup(copy.name), TRestoreOutcome::ProgramRunning);
    EXPECT_EQ(Orders(), "2");
    EXPECT_EQ(RestoreBackupInProgram(copy.name), TRestoreOutcome::Restored);
    EXPECT_EQ(Orders(), "1");

    // Without a share of its own (no program around it) the restore takes the lock itself.
    own.reset();
    EXPECT_EQ(RestoreBackupInProgram(copy.name), TRestoreOutcome::Restored);
    EXPECT_FALSE(ProgramIsRunning());
}

struct TDialogueCase {
    const char* name;
    bool listedDamaged; // the list found the copy damaged
    // What happens after listing; what it returns is held until the restore has run.
    std::function<std::shared_ptr<void>(const TBackup& copy)> before;
    std::vector<TAnswer> answers;
    bool replaced; // base.sdb replaced
    std::vector<std::string> texts; // "{T}" the copy's time, "{N}" its name, "{K}" the kept copy
};

std::string Filled(std::string text, const TBackup& copy, const std::string& keptAs)
{
    const std::pair<std::string, std::string> marks[]
        = {{"{T}", copy.time}, {"{N}", copy.name}, {"{K}", keptAs}};
    for (const auto& [mark, value] : marks) {
        for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark))
            text.replace(at, mark.size(), value);
    }
    return text;
}

const std::string kQuestion
    = "Вернуть копию базы от {T}?\r\nЗаменённая база сохранится как ещё одна копия.";
const std::string kNotChanged = " База не изменена.";
const std::string kDamaged
    = "Копия базы от {T} ({N}) повреждена или не является базой агента: вернуть её нельзя."
    + kNotChanged;

class ProgramRestoreDialogue : public ProgramRestoreTest,
                               public ::testing::WithParamInterface<TDialogueCase> { };

TEST_P(ProgramRestoreDialogue, SaysWhatBecameOfTheCopyAndChangesNothingElse)
{
    const TDialogueCase& c = GetParam();
    TBackup copy = Copy();
    AddOrder("D-2");
    AddGoods(3);
    ASSERT_TRUE(LoadReferenceLists(true));
    ASSERT_EQ(GoodsList().size(), 3u);
    const std::shared_ptr<void> held = c.before ? c.before(copy) : nullptr;
    copy.damaged = c.listedDamaged;
    folder.ui.answers.assign(c.answers.begin(), c.answers.end());

    EXPECT_EQ(RestoreCopyInProgram(copy), c.replaced);

    // The replaced database's copy is the one made last.
    const std::vector<TBackup> after = ListBackups();
    const std::string keptAs = c.replaced && !after.empty() ? after[0].name : "";
    std::vector<std::string> expected;
    for (const std::string& text : c.texts)
        expected.push_back(Filled(text, copy, keptAs));
    EXPECT_EQ(folder.ui.Texts(), expected);
    EXPECT_EQ(folder.ui.unansweredQuestions, 0);
    EXPECT_EQ(Orders(), c.replaced ? "1" : "2");
    // The lists are read again from the copy, not kept from the replaced database.
    EXPECT_EQ(GoodsList().size(), c.replaced ? 2u : 3u);
    EXPECT_TRUE(LastLoadComplete());
    if (c.replaced) {
        ASSERT_EQ(after.size(), 2u);
        EXPECT_FALSE(after[0].beforeImport);
        EXPECT_EQ(after[0].orders, 2) << "the replaced database kept whole";
    }
    EXPECT_TRUE(ProgramIsRunning()) << "the program keeps its share in every case";
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgramRestoreDialogue,
    ::testing::Values(TDialogueCase {"damaged_copy_refused_without_a_question", true, nullptr, {},
                          false, {kDamaged}},
        TDialogueCase {"No_keeps_the_database", false, nullptr, {TAnswer::No}, false, {kQuestion}},
        TDialogueCase {"Yes_puts_the_copy_in_place", false, nullptr, {TAnswer::Yes}, true,
            {kQuestion,
                "Копия базы от {T} возвращена на место базы.\r\nЗаменённая база сохранена как "
                "копия {K}."}},
        TDialogueCase {"copy_spoilt_since_listing_refused", false,
            [](const TBackup& copy) {
                std::fstream f(BackupFolder() / copy.name, std::ios::in | std::ios::out);
                f.write(std::string(100, 'x').data(), 100);
                return std::shared_ptr<void>();
            },
            {TAnswer::Yes}, false, {kQuestion, kDamaged}},
        TDialogueCase {"copy_removed_since_listing_not_found", false,
            [](const TBackup& copy) {
                fs::remove(BackupFolder() / copy.name);
                return std::shared_ptr<void>();
            },
            {TAnswer::Yes}, false,
            {kQuestion, "Копия базы от {T} ({N}) не найдена." + kNotChanged}},
        TDialogueCase {"file_that_cannot_be_written_fails", false,
            [](const TBackup&) {
                // Where the copy is written before it replaces base.sdb stands a folder.
                fs::create_directory(fs::path(DbPath()).concat(".part"));
                return std::shared_ptr<void>();
            },
            {TAnswer::Yes}, false,
            {kQuestion,
                "Не удалось вернуть копию базы от {T}: файлы в папке данных не записаны (нет "
                "места на диске или прав на папку)."
                    + kNotChanged}},
        TDialogueCase {"companion_command_at_work_refuses", false,
            [](const TBackup&) {
                return std::static_pointer_cast<void>(std::make_shared<TProgramRunningLock>());
            },
            {TAnswer::Yes}, false,
            {kQuestion,
                "Копию базы нельзя вернуть: с базой работает другая программа (команда "
                "vendrix-cli). Повторите, когда она закончит."
                    + kNotChanged}}),
    [](const ::testing::TestParamInfo<TDialogueCase>& info) { return info.param.name; });

// A copy that passes its check, yet whose clients the program cannot read (the office spoilt the
// table before the copy was made): the start on it fails, and the replaced database is offered
// back, going back on «Да» and staying on «Нет».
TEST_F(ProgramRestoreTest, CopyTheProgramCannotStartOnOffersTheReplacedDatabaseBack)
{
    for (const bool goBack : {true, false}) {
        SCOPED_TRACE(goBack ? "back" : "stay");
        test::Exec("drop table SPR_CLIENTS; create table SPR_CLIENTS (X)");
        const TBackup copy = Copy();
        ASSERT_FALSE(copy.damaged);
        test::Exec("drop table SPR_CLIENTS; " + CreateTableStatement("SPR_CLIENTS"));
        ASSERT_TRUE(LoadReferenceLists(true));
        AddOrder(goBack ? "D-back" : "D-stay");
        const std::string ordersBefore = Orders();
        folder.ui.Clear();
        folder.ui.answers = {TAnswer::Yes, goBack ? TAnswer::Yes : TAnswer::No};

        EXPECT_TRUE(RestoreCopyInProgram(copy));

        const std::vector<std::string> texts = folder.ui.Texts();
        ASSERT_GE(texts.size(), 2u);
        EXPECT_EQ(texts.front(), Filled(kQuestion, copy, ""));
        // SQLite's own words about the table come between; then the offer.
        const auto offer = std::find_if(texts.begin(), texts.end(),
            [](const std::string& t) { return t.rfind(kOpenDatabaseFailed, 0) == 0; });
        ASSERT_NE(offer, texts.end());
        EXPECT_NE(offer->find("\r\nПрограмма не может работать на копии базы от " + copy.time
                      + ".\r\nВернуть заменённую базу (копия base-"),
            std::string::npos)
            << *offer;
        EXPECT_EQ(folder.ui.shown[static_cast<std::size_t>(offer - texts.begin())].buttons,
            TButtons::YesNo);
        if (goBack) {
            EXPECT_EQ(texts.back(), "Заменённая база возвращена на место.");
            EXPECT_EQ(Orders(), ordersBefore);
            EXPECT_TRUE(LastLoadComplete());
        } else {
            EXPECT_EQ(texts.back(), *offer) << "nothing more said after «Нет»";
            EXPECT_NE(Orders(), ordersBefore);
        }
        EXPECT_TRUE(ProgramIsRunning());
        // Back on a sound database for the next round.
        if (!goBack) {
            test::Exec("drop table SPR_CLIENTS; " + CreateTableStatement("SPR_CLIENTS"));
            ASSERT_TRUE(LoadReferenceLists(true));
        }
    }
}

} // namespace
} // namespace vendrix
