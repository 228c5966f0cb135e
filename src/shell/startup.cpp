// Storage start-up, the way back when an office answer left a database the program cannot
// start on, and the way back the agent takes while the program runs.
#include "shell/startup.h"

#include "documents/reference_lists.h"
#include "storage/backups.h"
#include "storage/database_location.h"
#include "storage/schema.h"
#include "storage/sql_query.h"
#include "storage/ui_seam.h"
#include "storage/value_formats.h"

#include <exception>

namespace vendrix {

bool StartStorage(const std::filesystem::path& programFolder)
{
    SetProgramFolder(programFolder);
    // A start begins with no reference data in memory, however often it runs in one process.
    FreeReferenceLists();
    try {
        if (!InitDatabaseLocation(programFolder))
            return false;
        // The reference lists are read once the tables are known to be in shape.
        return CheckSchema() && LoadReferenceLists(false);
    } catch (const std::exception&) {
        SetBusy(false);
        return false;
    }
}

bool StartStorageOrGoBack(const std::filesystem::path& programFolder)
{
    bool started = StartStorage(programFolder);
    if (started && LastLoadComplete())
        return true;
    const TBackup copy = LastImportBackup();
    if (copy.name.empty()) {
        // Nothing to go back to: a start without goods still lets the agent work, as ever.
        if (!started)
            UI().Message(kOpenDatabaseFailed, TIcon::Error);
        return started;
    }
    const std::string what = started ? kGoodsUnread : kOpenDatabaseFailed;
    if (UI().Ask(what + "\r\nВернуть копию базы, сделанную перед последней загрузкой из офиса ("
                + copy.time + ")?\r\nЗаменённая база сохранится как ещё одна копия.",
            TIcon::Error, TButtons::YesNoDefaultNo)
        != TAnswer::Yes)
        return started;
    switch (RestoreBackup(copy.name)) {
    case TRestoreOutcome::Restored:
        break;
    case TRestoreOutcome::ProgramRunning:
        UI().Message("Копию базы нельзя вернуть: база занята другой программой.", TIcon::Error);
        return started;
    default:
        UI().Message("Не удалось вернуть копию базы " + copy.name + ".", TIcon::Error);
        return started;
    }
    started = StartStorage(programFolder);
    if (!started)
        UI().Message(kOpenDatabaseFailed, TIcon::Error);
    return started;
}

namespace {

// The storage started again on the database now in place, as the program starts on it. Empty
// when the program can work on it, else what a start would say.
std::string Restart()
{
    const bool started = StartStorage(ProgramFolder());
    if (started && LastLoadComplete())
        return {};
    return started ? kGoodsUnread : kOpenDatabaseFailed;
}

// Puts the copy `name` in place inside the running program, the wait cursor shown meanwhile.
TRestoreOutcome PutInPlaceBusy(const std::string& name, std::string* keptAs)
{
    const TBusyScope busy;
    return RestoreBackupInProgram(name, keptAs);
}

// Why a copy was not put in place; base.sdb is as it was.
std::string RefusalText(TRestoreOutcome outcome, const TBackup& copy)
{
    const std::string which = "Копия базы от " + copy.time + " (" + copy.name + ")";
    switch (outcome) {
    case TRestoreOutcome::NotFound:
        return which + " не найдена. База не изменена.";
    case TRestoreOutcome::Damaged:
        return which
            + " повреждена или не является базой агента: вернуть её нельзя. База не "
              "изменена.";
    case TRestoreOutcome::ProgramRunning:
        return "Копию базы нельзя вернуть: с базой работает другая программа (команда "
               "vendrix-cli). Повторите, когда она закончит. База не изменена.";
    case TRestoreOutcome::Failed:
    case TRestoreOutcome::Restored:
        break;
    }
    return "Не удалось вернуть копию базы от " + copy.time
        + ": файлы в папке данных не записаны (нет места на диске или прав на папку). База не "
          "изменена.";
}

} // namespace

bool RestoreCopyInProgram(const TBackup& copy)
{
    if (copy.damaged) {
        UI().Message(RefusalText(TRestoreOutcome::Damaged, copy), TIcon::Error);
        return false;
    }
    if (UI().Ask("Вернуть копию базы от " + copy.time
                + "?\r\nЗаменённая база сохранится как ещё одна копия.",
            TIcon::Question, TButtons::YesNoDefaultNo)
        != TAnswer::Yes)
        return false;
    std::string keptAs;
    const TRestoreOutcome outcome = PutInPlaceBusy(copy.name, &keptAs);
    if (outcome != TRestoreOutcome::Restored) {
        UI().Message(RefusalText(outcome, copy), TIcon::Error);
        return false;
    }
    std::string failure = Restart();
    if (failure.empty()) {
        UI().Message("Копия базы от " + copy.time + " возвращена на место базы."
                + (keptAs.empty() ? "" : "\r\nЗаменённая база сохранена как копия " + keptAs + "."),
            TIcon::Information);
        return true;
    }
    // The copy passed its check, yet the program cannot work on it (a table the office spoilt
    // before the copy was made): the database it replaced is a copy now, and goes back as one.
    if (keptAs.empty()) {
        UI().Message(failure, TIcon::Error);
        return true;
    }
    if (UI().Ask(failure + "\r\nПрограмма не может работать на копии базы от " + copy.time
                + ".\r\nВернуть заменённую базу (копия " + keptAs + ")?",
            TIcon::Error, TButtons::YesNo)
        != TAnswer::Yes)
        return true;
    if (PutInPlaceBusy(keptAs, nullptr) != TRestoreOutcome::Restored) {
        UI().Message("Не удалось вернуть заменённую базу (копия " + keptAs
                + "). Выберите её в «Резервные копии» и повторите.",
            TIcon::Error);
        return true;
    }
    failure = Restart();
    UI().Message(failure.empty() ? "Заменённая база возвращена на место." : failure,
        failure.empty() ? TIcon::Information : TIcon::Error);
    return true;
}

std::string WayBackAdvice()
{
    if (DbPath().empty())
        return {};
    const TBackup copy = LastImportBackup();
    if (copy.name.empty())
        return {};
    return "Копия базы перед последней загрузкой из офиса: " + copy.name + " (" + copy.time
        + "). Вернуть её: vendrix-cli restore " + copy.name;
}

} // namespace vendrix
