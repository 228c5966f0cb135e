// Deterministic, realistic data for the benchmarks: an office's catalogue (a goods tree with
// Cyrillic names, prices, units and codes), clients with trade points and blocked clients,
// goods categories and competitors, and a journal of orders with their lines and SKU counts.
// Written either as the office's import script or straight into a database.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vendrix::bench {

struct TScale {
    int goods = 1000; // items, besides the groups
    int groups = 20;
    int clients = 200; // clients; each has 0 to 2 trade points on top
    int categories = 10;
    int competitors = 8;
    int documents = 0;
    int linesPerDocument = 10;
    std::uint32_t seed = 20261210;
};

/// The statements that fill the reference tables and the journal for `scale`, one per row.
std::vector<std::string> GenerateStatements(const TScale& scale);

/// The office's import script (version 2 header, REPEAT templates and TAB-separated data lines)
/// for the goods of `scale` and, when it has any, its clients with one or two trade points each,
/// in windows-1251; returns the number of body lines. With `statementsFile` also writes there the
/// statements the script turns into, one a line in windows-1251, for the reference run.
int WriteImportScript(const std::filesystem::path& file, const TScale& scale,
    const std::filesystem::path& statementsFile = {});

/// The statements the script of `scale` turns into (UTF-8), for the reference run.
std::vector<std::string> ImportStatements(const TScale& scale);

/// Fills the database at `db` (already created with the program's schema) in one transaction.
bool FillDatabase(const std::filesystem::path& db, const TScale& scale);

} // namespace vendrix::bench
