// Storage start-up, and the way back when an office answer left a database the program cannot
// start on.
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
