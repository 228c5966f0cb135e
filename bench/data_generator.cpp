// The benchmark data generator. It runs SQL with sqlite3_exec directly: it is a tool that
// prepares a database as the office's systems would, not part of the program.
#include "data_generator.h"

#include "exchange/script_template.h"
#include "storage/codepage.h"
#include "storage/value_formats.h"

#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <random>

namespace vendrix::bench {

namespace {

const char* const kAdjectives[] = {"Свежий", "Домашний", "Отборный", "Летний", "Сибирский",
    "Классический", "Нежный", "Золотой", "Лесной", "Фермерский"};
const char* const kNouns[] = {"сок", "йогурт", "сыр", "хлеб", "чай", "кофе", "мёд", "квас",
    "творог", "кефир", "пряник", "джем"};
const char* const kGroups[] = {"Напитки", "Молочная продукция", "Бакалея", "Кондитерские изделия",
    "Хлеб", "Чай и кофе", "Консервы", "Заморозка"};
const char* const kUnits[] = {"шт", "кг", "л", "уп"};
const char* const kSurnames[] = {"Иванов", "Петров", "Сидорова", "Кузнецов", "Смирнова", "Попов",
    "Волкова", "Соколов", "Лебедев", "Новикова"};

std::string Guid(char kind, int n)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%c%07X-0000-4000-8000-%012X", kind, n, n * 7919);
    return buf;
}

std::string Price(std::mt19937& rng)
{
    const int cents = static_cast<int>(rng() % 500000) + 100;
    return std::to_string(cents / 100) + "." + (cents % 100 < 10 ? "0" : "")
        + std::to_string(cents % 100);
}

const char* const kBrands[]
    = {"«Сад-огород»", "«Сибирская нива»", "«Уральские зори»", "«Бабушкин погребок»", "«Вимм»",
        "«Молочный край»", "«Фермерское подворье»", "«Северная звезда»"};
const char* const kVariants[] = {"классический", "клубника", "без сахара", "с мякотью", "для детей",
    "2,5%", "в/с", "новогодний"};
const char* const kPacks[] = {"0,2 л", "0,5 л", "1 л", "250 г", "400 г", "1 кг", "6 шт", "уп. 12"};
const char* const kStreets[] = {
    "ул. Ленина", "ул. Малышева", "пр. Космонавтов", "ул. 8 Марта", "ул. Мира", "Сибирский тракт"};
const char* const kTowns[] = {"Екатеринбург", "Берёзовский", "Верхняя Пышма", "Арамиль"};
const char* const kForms[] = {"ООО", "ИП", "ЗАО", "АО"};
const char* const kShops[] = {"Магазин", "Гастроном", "Киоск", "Павильон", "Супермаркет"};

struct TGoodsRow {
    std::string guid, name, price, unit, category, code;
    int id, root, folder;
};

// The catalogue as an office's accounting writes it: every column filled, names with their
// brand, variant and pack, each item with its category.
std::vector<TGoodsRow> GoodsRows(const TScale& s)
{
    std::mt19937 rng(s.seed);
    std::vector<TGoodsRow> rows;
    rows.reserve(static_cast<std::size_t>(s.goods) + static_cast<std::size_t>(s.groups));
    for (int g = 1; g <= s.groups; ++g)
        rows.push_back({Guid('A', g), std::string(kGroups[g % 8]) + " " + std::to_string(g), "0",
            "-", "-", "-", g, g > 8 ? (g % 8) + 1 : 0, 1});
    for (int i = 1; i <= s.goods; ++i) {
        std::string name = kAdjectives[rng() % 10];
        name += ' ';
        name += kNouns[rng() % 12];
        name += ' ';
        name += kBrands[rng() % 8];
        name += ' ';
        name += kVariants[rng() % 8];
        name += ' ';
        name += kPacks[rng() % 8];
        name += " арт. " + std::to_string(i);
        std::string code = (i % 3 == 0 ? "А" : "") + std::to_string(100000 + i);
        const int category = static_cast<int>(rng() % static_cast<unsigned>(s.categories)) + 1;
        rows.push_back({Guid('B', i), std::move(name), Price(rng), kUnits[rng() % 4],
            Guid('K', category), std::move(code), s.groups + i,
            static_cast<int>(rng() % static_cast<unsigned>(s.groups)) + 1, 0});
    }
    return rows;
}

const char* const kGoodsTemplate
    = "insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, PRICE, "
      "ED_IZM, CATEGORY, KOD) values ('%1', %2, %3, %4, 0, '%5', '%UPPER(%5)', %6, '%7', '%8', "
      "'%9')";

// Clients and trade points take a template each, as the office writes them: a data line has at
// most nine fields, and a client has no client of its own.
const char* const kClientsTemplate
    = "insert into SPR_CLIENTS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, INFO, "
      "GPS_X, GPS_Y, GPS_Z, KIND, KOD, CLI_GUID) values ('%1', %2, 0, 0, %3, '%4', '%UPPER(%4)', "
      "'%5', '%6', '%7', '0', 1, '%8', '')";
const char* const kPointsTemplate
    = "insert into SPR_CLIENTS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, INFO, "
      "GPS_X, GPS_Y, GPS_Z, KIND, KOD, CLI_GUID) values ('%1', %2, 0, 0, 0, '%3', '%UPPER(%3)', "
      "'%4', '%5', '%6', '0', 2, '%7', '%8')";

std::vector<std::string> Fields(const TGoodsRow& r)
{
    return {r.guid, std::to_string(r.id), std::to_string(r.root), std::to_string(r.folder), r.name,
        r.price, r.unit, r.category, r.code};
}

std::string Coordinate(std::mt19937& rng, int degrees)
{
    const unsigned micro = rng() % 1000000;
    std::string text = std::to_string(micro);
    return std::to_string(degrees) + "." + std::string(6 - text.size(), '0') + text;
}

std::string Address(std::mt19937& rng, int n)
{
    return std::string(kTowns[rng() % 4]) + ", " + kStreets[rng() % 6] + ", "
        + std::to_string(1 + n % 150);
}

// The data lines of the script's clients (`clients`) and of their trade points (`points`):
// `scale.clients` clients, each with one or two trade points (one and a half on average), every
// column filled as the office writes it.
void ForEachClientFields(const TScale& s,
    const std::function<void(const std::vector<std::string>&)>& clients,
    const std::function<void(const std::vector<std::string>&)>& points)
{
    std::mt19937 rng(s.seed + 2);
    for (int c = 1; c <= s.clients; ++c) {
        std::string name = kForms[rng() % 4];
        name += " «";
        name += kSurnames[rng() % 10];
        name += " и партнёры» " + std::to_string(c);
        clients({Guid('C', c), std::to_string(c), c % 50 == 0 ? "1" : "0", name,
            "тел. 8 (343) " + std::to_string(2000000 + c) + "|" + Address(rng, c)
                + "|приёмка товара до 14:00",
            Coordinate(rng, 56), Coordinate(rng, 60), std::to_string(5000 + c)});
    }
    std::mt19937 pointsRng(s.seed + 3);
    int tp = 0;
    for (int c = 1; c <= s.clients; ++c) {
        for (int k = 1 + c % 2; k > 0; --k) {
            ++tp;
            points({Guid('T', tp), std::to_string(1000000 + tp),
                std::string(kShops[pointsRng() % 5]) + " №" + std::to_string(tp),
                Address(pointsRng, tp), Coordinate(pointsRng, 56), Coordinate(pointsRng, 60),
                std::to_string(700000 + tp), Guid('C', c)});
        }
    }
}

} // namespace

std::vector<std::string> ImportStatements(const TScale& scale)
{
    std::vector<std::string> out;
    const std::string goods = UpperLatin(kGoodsTemplate);
    for (const TGoodsRow& r : GoodsRows(scale))
        out.push_back(FillTemplate(goods, Fields(r)));
    const std::string clients = UpperLatin(kClientsTemplate);
    const std::string points = UpperLatin(kPointsTemplate);
    ForEachClientFields(
        scale,
        [&](const std::vector<std::string>& fields) {
            out.push_back(FillTemplate(clients, fields));
        },
        [&](const std::vector<std::string>& fields) {
            out.push_back(FillTemplate(points, fields));
        });
    return out;
}

int WriteImportScript(const std::filesystem::path& file, const TScale& scale,
    const std::filesystem::path& statementsFile)
{
    std::ofstream script(file, std::ios::binary);
    std::ofstream statements;
    if (!statementsFile.empty())
        statements.open(statementsFile, std::ios::binary);
    int lines = 0;
    std::string tmpl;
    auto put = [&](const std::string& utf8) {
        script << Utf8ToCp1251(utf8) << "\r\n";
        ++lines;
    };
    auto data = [&](const std::vector<std::string>& fields) {
        std::string line;
        for (const std::string& f : fields)
            line += (line.empty() ? "" : "\t") + f;
        put(line);
        if (statements.is_open())
            statements << Utf8ToCp1251(FillTemplate(tmpl, fields)) << '\n';
    };
    put("Z_AGENT RESPONSE 0002-0000-0000-0002");
    put("// каталог офиса");
    put(std::string("<REPEAT \"") + kGoodsTemplate + "\">");
    tmpl = UpperLatin(kGoodsTemplate);
    for (const TGoodsRow& r : GoodsRows(scale))
        data(Fields(r));
    if (scale.clients > 0) {
        // The trade points' template follows the last client's data line.
        bool pointsBegun = false;
        put(std::string("<REPEAT \"") + kClientsTemplate + "\">");
        tmpl = UpperLatin(kClientsTemplate);
        ForEachClientFields(scale, data, [&](const std::vector<std::string>& fields) {
            if (!pointsBegun) {
                pointsBegun = true;
                put(std::string("<REPEAT \"") + kPointsTemplate + "\">");
                tmpl = UpperLatin(kPointsTemplate);
            }
            data(fields);
        });
    }
    return lines - 1;
}

std::vector<std::string> GenerateStatements(const TScale& s)
{
    std::mt19937 rng(s.seed + 1);
    std::vector<std::string> out;
    for (const TGoodsRow& r : GoodsRows(s))
        out.push_back("insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, "
                      "UNAME, PRICE, ED_IZM, KOD) values ('"
            + r.guid + "', " + std::to_string(r.id) + ", " + std::to_string(r.root) + ", "
            + std::to_string(r.folder) + ", 0, '" + r.name + "', '" + r.name + "', " + r.price
            + ", '" + r.unit + "', '" + r.code + "')");
    std::vector<std::string> clientGuids, clientNames;
    int tp = 0;
    for (int c = 1; c <= s.clients; ++c) {
        const std::string guid = Guid('C', c);
        const std::string name
            = std::string("ИП ") + kSurnames[rng() % 10] + " " + std::to_string(c);
        clientGuids.push_back(guid);
        clientNames.push_back(name);
        out.push_back("insert into SPR_CLIENTS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, "
                      "UNAME, INFO, KIND, KOD, CLI_GUID) values ('"
            + guid + "', " + std::to_string(c) + ", 0, 0, " + (c % 50 == 0 ? "1" : "0") + ", '"
            + name + "', '" + name + "', 'тел. 8-900-" + std::to_string(1000000 + c)
            + "|ул. Ленина, " + std::to_string(c % 200) + "', 1, '" + std::to_string(5000 + c)
            + "', '')");
        for (unsigned k = rng() % 3; k > 0; --k) {
            ++tp;
            const std::string tpName = "Магазин №" + std::to_string(tp);
            out.push_back("insert into SPR_CLIENTS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, "
                          "ANAME, UNAME, INFO, KIND, KOD, CLI_GUID) values ('"
                + Guid('T', tp) + "', " + std::to_string(100000 + tp) + ", 0, 0, 0, '" + tpName
                + "', '" + tpName + "', '', 2, '', '" + guid + "')");
        }
    }
    for (int k = 1; k <= s.categories; ++k)
        out.push_back("insert into SPR_GOOD_CAT (GUID, ID, IS_DELETED, ANAME, UNAME) values ('"
            + Guid('K', k) + "', " + std::to_string(k) + ", 0, 'Категория " + std::to_string(k)
            + "', '')");
    for (int k = 1; k <= s.competitors; ++k)
        out.push_back("insert into SPR_COMPETITORS (GUID, ID, IS_DELETED, ANAME, UNAME) values ('"
            + Guid('P', k) + "', " + std::to_string(k) + ", 0, 'Производитель " + std::to_string(k)
            + "', '')");
    for (int d = 1; d <= s.documents; ++d) {
        const std::string guid = Guid('D', d);
        const int c = static_cast<int>(rng() % static_cast<unsigned>(std::max(1, s.clients)));
        // Half the journal on one day, half on the next, so a period can take half of it.
        const std::string day = d % 2 ? "2026-12-01" : "2026-12-02";
        out.push_back(
            "insert into DOC_HEADS (GUID, ID, IS_DELETED, DOC_DATE, DOC_NUM, DOC_STATE, "
            "REC_TIME, CLI_GUID, CLI_NAME, ORD_SUMM, ORD_WEIGHT, ORD_LINES, STR_PRIM) values ('"
            + guid + "', 0, 0, '2026-12-03', 'б/н', " + (d % 4 == 0 ? "2" : "1") + ", '" + day
            + "', '" + clientGuids[static_cast<std::size_t>(c)] + "', '"
            + clientNames[static_cast<std::size_t>(c)] + "', 1234.50, 25.00, "
            + std::to_string(s.linesPerDocument) + ", 'доставка до обеда')");
        for (int l = 0; l < s.linesPerDocument; ++l) {
            const int g = static_cast<int>(rng() % static_cast<unsigned>(std::max(1, s.goods))) + 1;
            out.push_back("insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) "
                          "values ('"
                + guid + "', " + std::to_string(l) + ", '" + Guid('B', g) + "', 'Товар "
                + std::to_string(g) + "', 2.5, 10.25)");
        }
        out.push_back(
            "insert into DOC_SKUS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_CNT, C_GUID, C_NAME) "
            "values ('"
            + guid + "', 1, '" + Guid('K', 1) + "', 'Категория 1', 3, '" + Guid('P', 1)
            + "', 'Производитель 1')");
    }
    return out;
}

bool FillDatabase(const std::filesystem::path& db, const TScale& scale)
{
    sqlite3* handle = nullptr;
    if (sqlite3_open(db.c_str(), &handle) != SQLITE_OK) {
        sqlite3_close(handle);
        return false;
    }
    bool ok = sqlite3_exec(handle, "begin", nullptr, nullptr, nullptr) == SQLITE_OK;
    for (const std::string& sql : GenerateStatements(scale)) {
        if (!ok)
            break;
        ok = sqlite3_exec(handle, Utf8ToCp1251(sql).c_str(), nullptr, nullptr, nullptr)
            == SQLITE_OK;
    }
    ok = ok && sqlite3_exec(handle, "commit", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(handle);
    return ok;
}

} // namespace vendrix::bench
