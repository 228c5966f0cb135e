// The export for the office: every order in state 1 with its order lines, written into
// "PDATo1C.xml" exactly as the office's 1C reads it (windows-1251, CR LF, one element per line),
// and packed into "PDATo1C.zip" when the exchange uses ZIP.
#pragma once

#include <filesystem>
#include <string>

namespace vendrix {

class TExchangeSink;

constexpr const char* kExportXmlName = "PDATo1C.xml";
constexpr const char* kExportZipName = "PDATo1C.zip";
constexpr const char* kProtoVersion = "0002-0000-0000-0002";

/// Writes the export into `folder` (asks for a folder when it is empty). With `useZip` packs it
/// and removes the XML. Returns true on success, with the result file's path in `resultFile`
/// when given; failures are shown and logged as the office expects. A failed or killed export
/// leaves the earlier file of that name whole. The database is not changed.
bool Export(TExchangeSink& sink, const std::string& folder, bool useZip,
    std::filesystem::path* resultFile = nullptr);

} // namespace vendrix
