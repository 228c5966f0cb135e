// The order document the agent is editing: header (shipment date, client, trade point,
// comment), state and status text, order lines and the SKU grid, with reset to a new document,
// open (to edit or to copy), load from and save to DOC_HEADS, DOC_ORDERS and DOC_SKUS. The
// document form shows and edits this record; it keeps no copy of its own.
#pragma once

#include "documents/reference_lists.h"
#include "storage/value_formats.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vendrix {

class TSqlQuery;

/// One ordered goods line.
struct TOrderLine {
    std::string goodsGuid;
    std::string goodsName;
    std::string quantity; // decimal text, two decimals as load and the goods forms write it
    std::string sum; // two decimals; only while sums are used, empty counts as 0
    std::int64_t price = 0; // unit price in hundredths (12.50 is 1250)
};

constexpr const char* kStatusNew = "новый документ";
constexpr const char* kStatusWritten = "документ записан";
constexpr const char* kStatusTaken = "документ передан в БД";

/// The status text of a stored state: written (0, 1), taken over by the office (2), unknown.
std::string StatusText(int state);

class TDocument {
public:
    /// Puts the record into the state of a new, empty document.
    void Reset();
    /// Takes the GUID and the copy flag and loads; a copy has no GUID afterwards.
    void Open(const std::string& guid, bool copy);
    /// Reads the document named by the GUID; with no GUID (or the all-zero one) does nothing.
    void Load();
    /// Writes the document; false when it was refused (the office took it over, or it was
    /// deleted while open) or a statement failed. The user has been told, and the stored
    /// document is as it was before.
    bool Save();

    std::string guid;
    int state = 0;
    std::string statusText = kStatusNew;
    TDate shipmentDate = 0;
    std::string clientName;
    std::string clientGuid;
    std::string tradePointName;
    std::string tradePointGuid;
    std::string comment;
    bool copy = false;
    bool modified = false;
    bool useSums = true;
    bool sumColumn = false; // the order table shows its "Сумма" column
    int page = 0; // the form's current page
    std::vector<TOrderLine> lines;
    TSkuGrid sku;

private:
    // The steps of Load and Save, in the order they run.
    bool ReadHeader();
    void ApplyCopyOptions(bool& readLines, bool& readSku);
    void ReadOrderLines();
    void ReadSkuCounts();
    bool CheckRequiredFields() const;
    bool WriteHeader(TSqlQuery& q, const std::string& documentGuid, bool isNew) const;
    bool WriteOrderLines(TSqlQuery& q, const std::string& documentGuid) const;
    bool WriteSkuCounts(TSqlQuery& q, const std::string& documentGuid) const;
};

/// Deletes the stored document `guid` (as passed) with its order, SKU and competitor lines, each
/// table's statement running whatever the others did, in one transaction. True when all four
/// worked (a GUID that names no document included); false when one failed (SQLite's message has
/// been shown); a failure of the device itself deletes nothing.
bool DeleteDocument(const std::string& guid);

/// Shipment date of a new document: today plus NEWDOC_DATE days (negative counts as 0).
TDate NewDocumentDate();

} // namespace vendrix
