// The office's answer to an export: the script "ToPDA.sqd" whose lines refresh the reference
// tables, move documents to the office's states, order old documents deleted and carry
// messages for the agent; with header version 3 also the bulk script "ToPDA.sql". The script is
// the office's own and trusted: whatever SQL it carries is executed.
#pragma once

#include <string>

namespace vendrix {

class TExchangeSink;

constexpr const char* kImportScriptName = "ToPDA.sqd";
constexpr const char* kImportZipName = "ToPDA.zip";

/// Runs the script in `folder` (asks for a folder when it is empty); with `useZip` extracts it
/// from "ToPDA.zip" first. True when the script ran to its end and the load was recorded; every
/// failure has been shown or logged, and statements that ran before a failing line stay applied.
bool Import(TExchangeSink& sink, const std::string& folder, bool useZip);

} // namespace vendrix
