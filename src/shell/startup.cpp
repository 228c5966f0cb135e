// Storage start-up.
#include "shell/startup.h"

#include "documents/reference_lists.h"
#include "storage/schema.h"
#include "storage/sql_query.h"
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

} // namespace vendrix
