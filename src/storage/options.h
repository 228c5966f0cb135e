// The settings of the program: rows of MY_OPTIONS, read at the moment of use (never cached),
// each read naming its own default; the first-run defaults; and the device identifier that
// the office knows this handheld by, served under the name PDA_ID.
#pragma once

#include <string>
#include <string_view>

namespace vendrix {

class TSqlQuery;

/// The value of setting `name` (Latin letters without case), trimmed; `def` when there is no
/// row, the value is blank, or the query fails. On `connection` when given, else on a new one.
/// "PDA_ID" in any case answers the device identifier without touching the database.
std::string GetOption(TSqlQuery* connection, std::string_view name, std::string_view def = {});
/// Replaces the rows named exactly `name` by one row holding `value`, in one transaction.
void SetOption(std::string_view name, std::string_view value);
/// The first-run script: BEGIN, one insert per default setting, COMMIT, joined by CR LF.
std::string DefaultOptionsScript();
/// Runs the first-run script on `connection`; its outcome is not checked.
void StoreDefaultOptions(TSqlQuery& connection);
/// The device identifier: ten groups of four upper-case hex digits joined by "-", 49
/// characters; empty when the machine has no identifier.
std::string DeviceIdentifier();

} // namespace vendrix
