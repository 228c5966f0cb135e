// Writing the export file. Lines are converted to windows-1251 and written one by one, so a
// journal of any size needs no more memory than one document's lines. The file is written under
// a temporary name and takes its own name only when complete: an export killed midway or
// stopped by a full disk leaves the previous complete file, never half of a new one.
#include "exchange/export_file.h"

#include "exchange/archive.h"
#include "exchange/exchange_log.h"
#include "platform/atomic_file.h"
#include "storage/codepage.h"
#include "storage/options.h"
#include "storage/sql_query.h"
#include "storage/ui_seam.h"
#include "storage/value_formats.h"

#include <cstdio>
#include <system_error>

namespace vendrix {

namespace {

// Every line goes through here: trimmed, windows-1251, CR LF.
class TLineWriter {
public:
    explicit TLineWriter(std::FILE* file)
        : m_file(file)
    {
    }
    void Line(const std::string& text)
    {
        std::string bytes = Utf8ToCp1251(Trim(text));
        bytes += "\r\n";
        if (std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size())
            m_failed = true;
    }
    bool Failed() const { return m_failed; }

private:
    std::FILE* m_file;
    bool m_failed = false;
};

std::string LastLoadDate()
{
    std::string lld = GetOption(nullptr, "LLD", "");
    if (lld.empty())
        lld = GetOption(nullptr, "LLD_Def", "");
    return lld.empty() ? " " : lld;
}

} // namespace

bool Export(TExchangeSink& sink, const std::string& folderText, bool useZip,
    std::filesystem::path* resultFile)
{
    std::string folder = Trim(folderText);
    if (folder.empty())
        folder = Trim(PickExchangeFolder());
    if (folder.empty())
        return false;
    if (folder.back() != '/' && folder.back() != '\\')
        folder.push_back('/');

    // Escaped like every other text value: an agent named "A & B" must not make the whole file
    // unreadable at the office. The option is stored trimmed, so an ordinary name keeps its bytes.
    const std::string agent = XmlText(GetOption(nullptr, "AgentName", "Test"));
    const std::string pdaId = GetOption(nullptr, "PDA_ID");

    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const std::filesystem::path xmlPath = std::filesystem::path(folder) / kExportXmlName;
    // Also removes the temporary file an export killed earlier left behind.
    platform::TAtomicFile xml(xmlPath);
    // A folder of the file's name could not be replaced by the finished file either.
    const bool blocked
        = std::filesystem::exists(xmlPath, ec) && !std::filesystem::is_regular_file(xmlPath, ec);
    std::FILE* file = blocked ? nullptr : xml.Open();
    if (!file) {
        UI().Message("Не удалось открыть файл для записи.", TIcon::Error);
        return false;
    }
    sink.Log("Начата выгрузка...");
    TLineWriter out(file);
    out.Line("<?xml version=\"1.0\" encoding=\"windows-1251\"?>");
    out.Line(std::string("<VendrixAgent ProtoVersion=\"") + kProtoVersion + "\" DateTime=\""
        + RegionalDateTime() + "\" Agent=\"" + agent + "\" PDA_ID=\"" + pdaId + "\" LastLoadDate=\""
        + LastLoadDate() + "\">");

    auto docs = RunQuery("select GUID, DOC_DATE, REC_TIME, CLI_GUID, CLI_NAME, ORD_LINES, "
                         "STR_PRIM from DOC_HEADS where (DOC_STATE=1)");
    if (!docs) {
        // The unfinished file is dropped (by `xml`): the previous complete export stays.
        UI().Message("Таблица DOC_HEADS недоступна.", TIcon::Warning);
        return false;
    }
    // One connection serves the order-line queries of every document, inside one read
    // transaction: the database is locked and unlocked once, not once per order.
    auto lines = TSqlQuery::Create(DbPath(), true);
    if (!lines)
        return false;
    lines->TryExec("begin;");
    sink.ProgressStart(docs->RowCount());
    const int cGuid = docs->ColumnIndex("GUID"), cDate = docs->ColumnIndex("DOC_DATE"),
              cRec = docs->ColumnIndex("REC_TIME"), cCli = docs->ColumnIndex("CLI_GUID"),
              cName = docs->ColumnIndex("CLI_NAME"), cLines = docs->ColumnIndex("ORD_LINES"),
              cPrim = docs->ColumnIndex("STR_PRIM");
    for (int r = 0; r < docs->RowCount(); ++r) {
        docs->GoToRow(r);
        const std::string guid = docs->Field(cGuid);
        out.Line("<DOC ID=\"" + guid + "\" DATEREC=\"" + Trim(docs->Field(cRec)) + "\" DOCDATE=\""
            + Trim(docs->Field(cDate)) + "\" CLIENT=\"" + Trim(docs->Field(cCli))
            + "\" CLIENTNAME=\"" + XmlText(docs->Field(cName)) + "\" LINES=\""
            + Trim(docs->Field(cLines)) + "\" PRIM=\"" + XmlText(docs->Field(cPrim)) + "\" >");
        out.Line("<TABLE1>");
        lines->ClearResults();
        // The GUID goes in exactly as stored, as a string literal: a double-quoted GUID that
        // happened to name a column would match every order line.
        if (!lines->Exec("select G_GUID, G_NAME, G_WT from DOC_ORDERS where (DOC_ID="
                + SqlString(guid) + ")")) {
            UI().Message("Таблица DOC_ORDERS недоступна.", TIcon::Warning);
            return false;
        }
        const int lGuid = lines->ColumnIndex("G_GUID"), lName = lines->ColumnIndex("G_NAME"),
                  lWt = lines->ColumnIndex("G_WT");
        for (int k = 0; k < lines->RowCount(); ++k) {
            lines->GoToRow(k);
            out.Line("<ROW NGUID=\"" + Trim(lines->Field(lGuid)) + "\" NNAME=\""
                + XmlText(lines->Field(lName)) + "\" NCOUNT=\"" + Trim(lines->Field(lWt))
                + "\" />");
        }
        out.Line("</TABLE1>");
        out.Line("</DOC>");
        sink.ProgressPosition(r + 1);
        if (r % 256 == 0)
            UI().ProcessEvents();
    }
    out.Line("</VendrixAgent>");
    lines->TryExec("commit;");
    // Commit syncs before the rename, so even a power loss leaves the old file or the new one.
    const bool written = !out.Failed() && xml.Commit();
    if (!written) {
        // A full disk must not pass for a finished export the office would then miss orders of.
        UI().Message("Не удалось записать файл выгрузки.", TIcon::Error);
        return false;
    }

    std::filesystem::path result = xmlPath;
    if (useZip) {
        sink.Log("Упаковка...");
        const std::filesystem::path zipPath = std::filesystem::path(folder) / kExportZipName;
        if (!Pack(xmlPath, zipPath)) {
            sink.Log("(!) Не удалось упаковать файл!");
            UI().Message("Не удалось упаковать файл.", TIcon::Warning);
            return false;
        }
        std::filesystem::remove(xmlPath, ec);
        result = zipPath;
    }
    sink.Log("Выгрузка завершена.\r\n" + result.string());
    if (resultFile)
        *resultFile = result;
    return true;
}

} // namespace vendrix
