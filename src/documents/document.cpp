// Document persistence. Save runs its statements in one transaction: a failure part-way
// leaves the stored document exactly as it was, so no order is ever half rewritten.
#include "documents/document.h"

#include "documents/amounts.h"
#include "storage/database_location.h"
#include "storage/options.h"
#include "storage/sql_query.h"
#include "storage/transaction.h"
#include "storage/ui_seam.h"

#include <map>
#include <memory>

namespace vendrix {

namespace {

constexpr const char* kOrderTooLarge
    = "Слишком большая заявка: её сумма или количество не помещаются в базу.\r\n"
      "Разделите её на несколько заявок.";

// Whether the header can keep the order's totals exactly: each line fits, but many lines near
// the limit would add up beyond what the database gives back unrounded (or past 64 bits).
bool TotalsFit(const std::vector<TOrderLine>& lines)
{
    __int128 quantity = 0;
    __int128 sum = 0;
    for (const TOrderLine& line : lines) {
        quantity += TextToAmount(line.quantity, 0);
        sum += TextToAmount(line.sum, 0);
    }
    const auto fits
        = [](__int128 total) { return total <= kMaxOrderAmount && total >= -kMaxOrderAmount; };
    return fits(quantity) && fits(sum);
}

// GUIDs go into SQL as string literals, exactly as stored, so that none can be taken for a
// column name ("GUID" would match every row as a double-quoted token).
std::string Key(std::string_view guid)
{
    return SqlString(guid);
}

// The leading "yyyy-MM-dd" of a stored date, as save writes it and as the journal shows it (a
// time part written by other software is ignored); false when the text does not begin so.
bool ReadStoredDate(const std::string& text, TDate& out)
{
    if (text.size() < 10 || text[4] != '-' || text[7] != '-')
        return false;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    return EncodeDate(std::stoi(text.substr(0, 4)), std::stoi(text.substr(5, 2)),
        std::stoi(text.substr(8, 2)), out);
}

// The comment on one line: the office's 1C takes STR_PRIM as a single-line text.
std::string FlattenComment(const std::string& comment)
{
    std::string t = Trim(comment);
    std::string out;
    out.reserve(t.size());
    for (std::size_t i = 0; i < t.size(); ++i) {
        const char c = t[i];
        if (c == '\r' && i + 1 < t.size() && t[i + 1] == '\n') {
            out.push_back(' ');
            ++i;
        } else if (c == '\r' || c == '\n' || c == '\b' || c == '\t') {
            out.push_back(' ');
        } else {
            out.push_back(c);
        }
    }
    return out;
}

// The quantity as written into DOC_ORDERS.G_WT: the text as shown when it is a plain decimal;
// an empty text as 0; any other readable number in its normal form; never raw text that could
// break the statement.
std::string QuantityValue(const std::string& text)
{
    std::string t = Trim(text);
    if (t.empty())
        return "0"; // the keypad leaves zero quantities empty
    bool plain = true;
    bool point = false;
    for (std::size_t i = 0; i < t.size() && plain; ++i) {
        const char c = t[i];
        if (c == '-' && i == 0 && t.size() > 1)
            continue;
        if (c == '.' && !point && i > 0 && i + 1 < t.size()) {
            point = true;
            continue;
        }
        plain = c >= '0' && c <= '9';
    }
    if (plain)
        return t;
    return AmountText(TextToAmount(t, 0), 4, false);
}

// Column index -> category GUID from the "c=GUID\n" lines of the column map.
std::map<int, std::string> ParseColumnMap(const std::string& map)
{
    std::map<int, std::string> out;
    std::size_t at = 0;
    while (at < map.size()) {
        std::size_t end = map.find('\n', at);
        if (end == std::string::npos)
            end = map.size();
        const std::string line = map.substr(at, end - at);
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            out[TextToInt(line.substr(0, eq), -1)] = line.substr(eq + 1);
        at = end + 1;
    }
    return out;
}

// Runs one statement of the save; on failure shows the statement itself after SQLite's message.
bool SaveStep(TSqlQuery& q, const std::string& sql)
{
    if (q.Exec(sql))
        return true;
    UI().Message(sql, TIcon::None);
    return false;
}

constexpr const char* kRefusedTaken = "Изменение запрещено.\r\nДокумент выгружен в центр. БД.";
constexpr const char* kRefusedDeleted = "Документ удалён. Сохранение невозможно.";

// The one guard of a stored document's save, asked inside the save's transaction so that
// nothing can change in between: the office may have taken it over, or the journal or the
// office's DELALL deleted it, while its form was open. Returns the refusal to show, or empty
// when the save may go on; `failed` when the database could not say.
std::string StoredDocumentRefusal(
    TSqlQuery& q, const std::string& guid, int recordState, bool& failed)
{
    failed = false;
    if (recordState > 1)
        return kRefusedTaken;
    const int before = q.RowCount();
    if (!q.Exec("select DOC_STATE from DOC_HEADS where (GUID=" + Key(guid) + ") limit 1")) {
        failed = true;
        return {};
    }
    // Writing a deleted document again would bring it back as a new order, sent once more.
    if (q.RowCount() == before)
        return kRefusedDeleted;
    if (TextToInt(Trim(q.LastRowValue(0)), 0) > 1)
        return kRefusedTaken;
    return {};
}

} // namespace

std::string StatusText(int state)
{
    if (state == 0 || state == 1)
        return kStatusWritten;
    if (state == 2)
        return kStatusTaken;
    return "[" + std::to_string(state) + "] статус не опознан*";
}

TDate NewDocumentDate()
{
    int days = TextToInt(GetOption(nullptr, "NEWDOC_DATE", "0"), 0);
    if (days < 0)
        days = 0;
    return Today() + days;
}

void TDocument::Reset()
{
    guid.clear();
    clientGuid.clear();
    statusText = kStatusNew;
    shipmentDate = NewDocumentDate();
    clientName.clear();
    comment.clear();
    lines.clear();
    state = 0;
    page = 0;
    modified = false;
    sumColumn = false;
    useSums = GetOption(nullptr, "UseSUMS", "1") != "0";
    BuildSkuGridAxes(sku, false);
}

void TDocument::Open(const std::string& documentGuid, bool asCopy)
{
    guid = documentGuid;
    copy = asCopy;
    Load();
    if (copy)
        guid.clear();
}

void TDocument::Load()
{
    const std::string key = Trim(guid);
    if (key.empty() || key == kNullGuid)
        return;
    useSums = GetOption(nullptr, "UseSUMS", "1") != "0";
    if (useSums)
        sumColumn = true;
    BuildSkuGridAxes(sku, true);
    lines.clear();

    bool readLines = true;
    bool readSku = true;
    if (ReadHeader()) {
        if (copy)
            ApplyCopyOptions(readLines, readSku);
        if (readLines)
            ReadOrderLines();
        if (readSku)
            ReadSkuCounts();
    }
    sku.grid.RemoveRow(0);
    sku.hasGuidRow = false;
    modified = false;
}

bool TDocument::ReadHeader()
{
    auto head = RunQuery("select GUID, DOC_DATE, DOC_STATE, EXP_DATE, REC_TIME, CLI_GUID, "
                         "CLI_NAME, STR_PRIM, TP_GUID, TP_NAME from DOC_HEADS where (GUID="
        + Key(guid) + ")");
    if (!head)
        return false; // the database cannot be read at all: keep what the record holds
    if (head->RowCount() == 0) {
        UI().Message("Не удалось прочитать заголовок.", TIcon::None);
        return true; // the lines are still read
    }
    head->First();
    state = TextToInt(Trim(head->FieldByName("DOC_STATE")), 0);
    statusText = StatusText(state);
    // A date that does not begin as "yyyy-MM-dd" (other software, a damaged row) shows today;
    // the stored text is rewritten only when the agent saves.
    if (!ReadStoredDate(Trim(head->FieldByName("DOC_DATE")), shipmentDate))
        shipmentDate = Today();
    clientGuid = Trim(head->FieldByName("CLI_GUID"));
    clientName = Trim(head->FieldByName("CLI_NAME"));
    tradePointGuid = Trim(head->FieldByName("TP_GUID"));
    tradePointName = Trim(head->FieldByName("TP_NAME"));
    comment = Trim(head->FieldByName("STR_PRIM"));
    return true;
}

void TDocument::ApplyCopyOptions(bool& readLines, bool& readSku)
{
    statusText = kStatusNew;
    state = 0;
    if (GetOption(nullptr, "NOCOPY_DATE", "0") == "1")
        shipmentDate = NewDocumentDate();
    if (GetOption(nullptr, "NOCOPY_TP", "0") == "1") {
        tradePointName.clear();
        tradePointGuid.clear();
    }
    if (GetOption(nullptr, "NOCOPY_CLI", "0") == "1") {
        clientName.clear();
        clientGuid.clear();
    }
    if (GetOption(nullptr, "NOCOPY_COMM", "0") == "1")
        comment.clear();
    readLines = GetOption(nullptr, "NOCOPY_TABLE1", "0") != "1";
    readSku = GetOption(nullptr, "NOCOPY_SKU", "") != "1";
    // Read and unused: the prices page keeps no stored data, but the option belongs to the set
    // the settings form edits.
    GetOption(nullptr, "NOCOPY_PRICES", "");
}

void TDocument::ReadOrderLines()
{
    auto q = RunQuery("select DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE from DOC_ORDERS where "
                      "(DOC_ID="
        + Key(guid) + ") order by ORDER_ID");
    if (!q)
        return;
    const int cGuid = q->ColumnIndex("G_GUID"), cName = q->ColumnIndex("G_NAME"),
              cWt = q->ColumnIndex("G_WT"), cPrice = q->ColumnIndex("PRICE");
    lines.reserve(static_cast<std::size_t>(q->RowCount()));
    for (int r = 0; r < q->RowCount(); ++r) {
        q->GoToRow(r);
        const TAmount price = TextToAmount(q->Field(cPrice), 0);
        const TAmount quantity = TextToAmount(q->Field(cWt), 0);
        TOrderLine line;
        line.price = TextToHundredths(q->Field(cPrice), 0);
        line.goodsGuid = Trim(q->Field(cGuid));
        line.goodsName = Trim(q->Field(cName));
        line.quantity = AmountText(quantity, 2, false);
        if (useSums) {
            const auto product = static_cast<__int128>(price) * quantity / kAmountScale;
            line.sum = AmountText(static_cast<TAmount>(product), 2, false);
        }
        lines.push_back(std::move(line));
    }
}

void TDocument::ReadSkuCounts()
{
    auto q = RunQuery("select DOC_ID, G_GUID, C_GUID, G_CNT from DOC_SKUS where (DOC_ID="
        + Key(guid) + ") order by ORDER_ID");
    if (!q)
        return;
    for (int r = 0; r < q->RowCount(); ++r) {
        q->GoToRow(r);
        const std::string category = Trim(q->FieldByName("G_GUID"));
        const std::string competitor = Trim(q->FieldByName("C_GUID"));
        int column = -1;
        for (int c = 2; c < sku.grid.ColumnCount() && column < 0; ++c) {
            if (sku.grid.Cell(0, c) == category)
                column = c;
        }
        int row = -1;
        for (int k = 1; k < sku.grid.RowCount() && row < 0 && column >= 0; ++k) {
            if (sku.grid.Cell(k, 0) == competitor)
                row = k;
        }
        if (column < 0 || row < 0)
            continue; // the category or the producer is gone from the reference data
        const TAmount count = TextToAmount(q->FieldByName("G_CNT"), 0) / kAmountScale;
        sku.grid.SetCell(row, column, std::to_string(count));
    }
}

bool TDocument::CheckRequiredFields() const
{
    if (Trim(clientName).empty() || Trim(clientGuid).empty()) {
        UI().Message("Не заполнено поле \"Клиент\".", TIcon::Information);
        return false;
    }
    if (GetOption(nullptr, "DOC_TRADE_P_REQ", "0") == "1"
        && (Trim(tradePointName).empty() || Trim(tradePointGuid).empty())) {
        UI().Message("Не заполнено поле \"Торговая точка\".", TIcon::Information);
        return false;
    }
    return true;
}

bool TDocument::Save()
{
    if (!CheckRequiredFields())
        return false;
    if (!TotalsFit(lines)) {
        UI().Message(kOrderTooLarge, TIcon::Warning);
        return false;
    }
    const bool isNew = Trim(guid).empty();
    auto q = TSqlQuery::Create(DbPath(), true);
    if (!q)
        return false;
    TTransaction transaction(*q, TTransaction::TLock::Immediate);
    if (!transaction.Open())
        return false;

    const std::string documentGuid = isNew ? NewGuidText() : guid;
    if (!isNew) {
        bool failed = false;
        const std::string refusal = StoredDocumentRefusal(*q, documentGuid, state, failed);
        if (failed)
            return false;
        if (!refusal.empty()) {
            UI().Message(refusal, TIcon::None);
            return false;
        }
    }
    if (!WriteHeader(*q, documentGuid, isNew) || !WriteOrderLines(*q, documentGuid)
        || !WriteSkuCounts(*q, documentGuid) || !transaction.Commit())
        return false;
    guid = documentGuid;
    modified = false;
    if (isNew)
        statusText = kStatusWritten;
    return true;
}

bool TDocument::WriteHeader(TSqlQuery& q, const std::string& documentGuid, bool isNew) const
{
    TAmount quantityTotal = 0;
    TAmount sumTotal = 0;
    for (const TOrderLine& line : lines) {
        quantityTotal += TextToAmount(line.quantity, 0);
        sumTotal += TextToAmount(line.sum, 0);
    }
    const std::string weightText = AmountText(quantityTotal, 2, false);
    const std::string sumText = AmountText(sumTotal, 2, false);
    const std::string lineCount = std::to_string(lines.size());
    const std::string flatComment = FlattenComment(comment);
    if (isNew)
        return SaveStep(q,
            "insert into DOC_HEADS (GUID, ID, IS_DELETED, DOC_DATE, DOC_NUM, DOC_STATE, "
            "REC_TIME, CLI_GUID, CLI_NAME, ORD_SUMM, ORD_WEIGHT, ORD_LINES, SKU_LINES, "
            "PRC_LINES, STR_BASIS, STR_PRIM, GPS_X, GPS_Y, GPS_Z,TP_GUID,TP_NAME) values ("
                + Key(documentGuid) + ", 0, 0, " + DateText(shipmentDate) + ", \"б/н\", 1, "
                + DateText(Today()) + ", '" + SqlQuote(clientGuid) + "', '" + SqlQuote(clientName)
                + "', " + sumText + ", " + weightText + ", " + lineCount + ", 0, 0, \"\", '"
                + SqlQuote(flatComment) + "', 0, 0, 0,'" + SqlQuote(tradePointGuid) + "','"
                + SqlQuote(tradePointName) + "')");
    return SaveStep(q,
        "update DOC_HEADS set DOC_DATE=" + DateText(shipmentDate) + ", CLI_GUID='"
            + SqlQuote(clientGuid) + "', CLI_NAME='" + SqlQuote(clientName)
            + "', ORD_SUMM=" + sumText + ", ORD_WEIGHT=" + weightText + ", ORD_LINES=" + lineCount
            + ", SKU_LINES=0, PRC_LINES=0, STR_PRIM='" + SqlQuote(flatComment) + "', TP_GUID='"
            + SqlQuote(tradePointGuid) + "', TP_NAME='" + SqlQuote(tradePointName)
            + "' where (GUID=" + Key(documentGuid) + ")");
}

bool TDocument::WriteOrderLines(TSqlQuery& q, const std::string& documentGuid) const
{
    if (!SaveStep(q, "delete from DOC_ORDERS where (DOC_ID=" + Key(documentGuid) + ")"))
        return false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const TOrderLine& line = lines[i];
        if (!SaveStep(q,
                "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) values ("
                    + Key(documentGuid) + ", " + std::to_string(i) + ", '"
                    + SqlQuote(line.goodsGuid) + "', '" + SqlQuote(line.goodsName) + "', "
                    + QuantityValue(line.quantity) + ", " + AmountText(line.price * 100, 2, false)
                    + ")"))
            return false;
    }
    return true;
}

bool TDocument::WriteSkuCounts(TSqlQuery& q, const std::string& documentGuid) const
{
    if (!SaveStep(q, "delete from DOC_SKUS where (DOC_ID=" + Key(documentGuid) + ")"))
        return false;
    const std::map<int, std::string> categories = ParseColumnMap(sku.columnMap);
    int n = 0;
    for (int c = 2; c < sku.grid.ColumnCount(); ++c) {
        const auto category = categories.find(c);
        for (int r = sku.hasGuidRow ? 1 : 0; r < sku.grid.RowCount(); ++r) {
            const TAmount count = TextToAmount(sku.grid.Cell(r, c), 0) / kAmountScale;
            if (count <= 0)
                continue;
            ++n;
            if (!SaveStep(q,
                    "insert into DOC_SKUS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_CNT, C_GUID, "
                    "C_NAME) VALUES ("
                        + Key(documentGuid) + ", " + std::to_string(n) + ", '"
                        + SqlQuote(category == categories.end() ? "" : category->second) + "', '"
                        + SqlQuote(sku.grid.Column(c).caption) + "', " + std::to_string(count)
                        + ", '" + SqlQuote(sku.grid.Cell(r, 0)) + "', '"
                        + SqlQuote(sku.grid.Cell(r, 1)) + "')"))
                return false;
        }
    }
    return true;
}

bool DeleteDocument(const std::string& guid)
{
    auto q = TSqlQuery::Create(DbPath(), true);
    if (!q)
        return false;
    // Each table's statement runs whatever the one before did, as the journal always deleted:
    // a table that fails (reported) keeps no other table's lines alive. One transaction around
    // them all, so that a failing disk never leaves a head without its lines or the reverse.
    TTransaction transaction(*q, TTransaction::TLock::Immediate);
    if (!transaction.Open())
        return false;
    bool ok = true;
    for (const char* table : {"DOC_HEADS where (GUID=", "DOC_ORDERS where (DOC_ID=",
             "DOC_SKUS where (DOC_ID=", "DOC_COMPETS where (DOC_ID="}) {
        ok = q->Exec(std::string("delete from ") + table + Key(guid) + ")") && ok;
        if (transaction.Dropped())
            return false; // the device failed and SQLite undid the deletion: nothing went
    }
    return transaction.Commit() && ok;
}

} // namespace vendrix
