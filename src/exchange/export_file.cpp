// Writing the export file. Lines are converted to windows-1251 and written one by one, so a
// journal of any size needs no more memory than one document's lines. The file is written under
// a temporary name and takes its own name only when complete: an export killed midway or
// stopped by a full disk leaves the previous complete file, never half of a new one.
#include "exchange/export_file.h"

#include "exchange/archive.h"
#include "exchange/exchange_log.h"
#include "platform/atomic_file.h"
#include "storage/codepage.h"
#include "storage/database_location.h"
#include "storage/options.h"
#include "storage/sql_query.h"
#include "storage/transaction.h"
#include "storage/ui_seam.h"
#include "storage/value_formats.h"

#include <cstdio>
#include <optional>
#include <system_error>

namespace vendrix {

namespace {

// Every line goes through here: trimmed, windows-1251, CR LF. Lines made of the program's own
// UTF-8 texts are converted; lines made of the database's values are in its windows-1251 bytes
// already and go out as they are, as they would after a conversion there and back.
class TLineWriter {
public:
    explicit TLineWriter(std::FILE* file)
        : m_file(file)
    {
    }
    void Line(const std::string& text) { Cp1251Line(Utf8ToCp1251(TrimView(text))); }
    void Cp1251Line(std::string_view bytes)
    {
        const std::string_view t = TrimView(bytes);
        if (std::fwrite(t.data(), 1, t.size(), m_file) != t.size()
            || std::fwrite("\r\n", 1, 2, m_file) != 2)
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

// The exchange folder as given, or as the agent picks it; ends in a separator. Empty when the
// agent picked none.
std::string ExportFolder(const std::string& folderText)
{
    std::string folder = Trim(folderText);
    if (folder.empty())
        folder = Trim(PickExchangeFolder());
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\')
        folder.push_back('/');
    return folder;
}

// The XML declaration and the root element: who exports, from which device, after which load.
void WriteHeader(TLineWriter& out)
{
    // Escaped like every other text value: an agent named "A & B" must not make the whole file
    // unreadable at the office. The option is stored trimmed, so an ordinary name keeps its bytes.
    const std::string agent = XmlText(GetOption(nullptr, "AgentName", "Test"));
    const std::string pdaId = GetOption(nullptr, "PDA_ID");
    out.Line("<?xml version=\"1.0\" encoding=\"windows-1251\"?>");
    out.Line(std::string("<VendrixAgent ProtoVersion=\"") + kProtoVersion + "\" DateTime=\""
        + RegionalDateTime() + "\" Agent=\"" + agent + "\" PDA_ID=\"" + pdaId + "\" LastLoadDate=\""
        + LastLoadDate() + "\">");
}

// The columns of the exported headers, looked up on the first row.
struct THeadColumns {
    explicit THeadColumns(const TRowView& row)
        : guid(row.ColumnIndex("GUID"))
        , date(row.ColumnIndex("DOC_DATE"))
        , rec(row.ColumnIndex("REC_TIME"))
        , client(row.ColumnIndex("CLI_GUID"))
        , name(row.ColumnIndex("CLI_NAME"))
        , lines(row.ColumnIndex("ORD_LINES"))
        , prim(row.ColumnIndex("STR_PRIM"))
    {
    }
    int guid, date, rec, client, name, lines, prim;
};

// The columns of the order lines, looked up on the first line of the export.
struct TLineColumns {
    explicit TLineColumns(const TRowView& row)
        : guid(row.ColumnIndex("G_GUID"))
        , name(row.ColumnIndex("G_NAME"))
        , weight(row.ColumnIndex("G_WT"))
    {
    }
    int guid, name, weight;
};

// One document, its header row `head` and its order lines read on `lines`, written straight
// from the database's bytes: at 50,000 orders of 10 lines these are the whole file. `line` is
// scratch space. False when the order lines cannot be read (shown).
bool WriteDocument(TLineWriter& out, const TRowView& head, const THeadColumns& c, TSqlQuery& lines,
    std::optional<TLineColumns>& l, std::string& line)
{
    const std::string_view guid = head.Value(c.guid);
    line.assign("<DOC ID=\"");
    line += guid;
    line += "\" DATEREC=\"";
    line += TrimView(head.Value(c.rec));
    line += "\" DOCDATE=\"";
    line += TrimView(head.Value(c.date));
    line += "\" CLIENT=\"";
    line += TrimView(head.Value(c.client));
    line += "\" CLIENTNAME=\"";
    AppendXmlText(head.Value(c.name), line);
    line += "\" LINES=\"";
    line += TrimView(head.Value(c.lines));
    line += "\" PRIM=\"";
    AppendXmlText(head.Value(c.prim), line);
    line += "\" >";
    out.Cp1251Line(line);
    out.Cp1251Line("<TABLE1>");
    // The GUID goes in exactly as stored, as a string literal: a double-quoted GUID that
    // happened to name a column would match every order line.
    const bool read = lines.ForEachRow("select G_GUID, G_NAME, G_WT from DOC_ORDERS where (DOC_ID="
            + SqlString(Cp1251ToUtf8(guid)) + ")",
        [&](const TRowView& r) {
            if (!l)
                l.emplace(r);
            line.assign("<ROW NGUID=\"");
            line += TrimView(r.Value(l->guid));
            line += "\" NNAME=\"";
            AppendXmlText(r.Value(l->name), line);
            line += "\" NCOUNT=\"";
            line += TrimView(r.Value(l->weight));
            line += "\" />";
            out.Cp1251Line(line);
        });
    if (!read) {
        UI().Message("Таблица DOC_ORDERS недоступна.", TIcon::Warning);
        return false;
    }
    out.Cp1251Line("</TABLE1>");
    out.Cp1251Line("</DOC>");
    return true;
}

// Every order in state 1, one after another, the headers read as they come. False when the
// journal cannot be read (shown).
bool WriteDocuments(TExchangeSink& sink, TLineWriter& out)
{
    constexpr const char* kHeadsUnread = "Таблица DOC_HEADS недоступна.";
    auto heads = TSqlQuery::Create(DbPath(), true);
    if (!heads) {
        UI().Message(kHeadsUnread, TIcon::Warning);
        return false;
    }
    // The count for the progress and the headers themselves from one snapshot of the journal.
    TTransaction headsRead(*heads, TTransaction::TLock::Deferred, TTransaction::TReport::Quiet);
    if (!heads->Exec("select count(*) from DOC_HEADS where (DOC_STATE=1)")) {
        UI().Message(kHeadsUnread, TIcon::Warning);
        return false;
    }
    heads->First();
    const int count = TextToInt(heads->FieldView(0), 0);
    heads->ClearResults();
    // One connection serves the order-line queries of every document, inside one read
    // transaction: the database is locked and unlocked once, not once per order.
    auto lines = TSqlQuery::Create(DbPath(), true);
    if (!lines)
        return false;
    TTransaction linesRead(*lines, TTransaction::TLock::Deferred, TTransaction::TReport::Quiet);
    sink.ProgressStart(count);
    std::optional<THeadColumns> columns;
    std::optional<TLineColumns> lineColumns;
    std::string line;
    int written = 0;
    bool failed = false;
    const bool read = heads->ForEachRow("select GUID, DOC_DATE, REC_TIME, CLI_GUID, CLI_NAME, "
                                        "ORD_LINES, STR_PRIM from DOC_HEADS where (DOC_STATE=1)",
        [&](const TRowView& head) {
            if (failed)
                return; // the rest of the headers pass unread
            if (!columns)
                columns.emplace(head);
            failed = !WriteDocument(out, head, *columns, *lines, lineColumns, line);
            sink.ProgressPosition(++written);
            if (written % 256 == 1)
                UI().ProcessEvents();
        });
    if (failed)
        return false;
    if (!read) {
        UI().Message(kHeadsUnread, TIcon::Warning);
        return false;
    }
    linesRead.Commit();
    headsRead.Commit();
    return true;
}

// Packs the finished file into the archive beside it and removes the file; the archive's path,
// or empty when packing failed (shown and logged).
std::filesystem::path PackExport(TExchangeSink& sink, const std::filesystem::path& xmlPath)
{
    sink.Log("Упаковка...");
    std::filesystem::path zipPath = xmlPath.parent_path() / kExportZipName;
    if (!Pack(xmlPath, zipPath)) {
        sink.Log("(!) Не удалось упаковать файл!");
        UI().Message("Не удалось упаковать файл.", TIcon::Warning);
        return {};
    }
    std::error_code ec;
    std::filesystem::remove(xmlPath, ec);
    return zipPath;
}

} // namespace

bool Export(TExchangeSink& sink, const std::string& folderText, bool useZip,
    std::filesystem::path* resultFile)
{
    const std::string folder = ExportFolder(folderText);
    if (folder.empty())
        return false;
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
    WriteHeader(out);
    // On failure the unfinished file is dropped (by `xml`): the previous complete export stays.
    if (!WriteDocuments(sink, out))
        return false;
    out.Line("</VendrixAgent>");
    // Commit syncs before the rename, so even a power loss leaves the old file or the new one.
    if (out.Failed() || !xml.Commit()) {
        // A full disk must not pass for a finished export the office would then miss orders of.
        UI().Message("Не удалось записать файл выгрузки.", TIcon::Error);
        return false;
    }
    std::filesystem::path result = useZip ? PackExport(sink, xmlPath) : xmlPath;
    if (result.empty())
        return false;
    sink.Log("Выгрузка завершена.\r\n" + result.string());
    if (resultFile)
        *resultFile = result;
    return true;
}

} // namespace vendrix
