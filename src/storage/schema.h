// The layout of base.sdb: the ten tables with their columns in order, and the steps that bring
// a database written by an older release up to date. Runs once per start, before any window.
#pragma once

#include <string>
#include <string_view>

namespace vendrix {

class TSqlQuery;

/// Creates or upgrades every table on one connection to DbPath() and stores the default settings
/// on a new database; false when any step failed (SQLite's message has been shown).
bool CheckSchema();

/// Whether `table` has `columns` ("*" for the table itself), probed on `connection`; false
/// without touching the database when the database is new.
bool TableHas(TSqlQuery& connection, std::string_view table, std::string_view columns);

/// The statement that creates `table` (one of the ten), or the empty text.
std::string CreateTableStatement(std::string_view table);

} // namespace vendrix
