#!/usr/bin/env python3
"""Writes the demo office's answer: ToPDA.sqd (header version 3: clients, categories,
competitors and a message for the agent) and ToPDA.sql (the goods catalogue in bulk), both in
windows-1251 with CR LF line ends, as the office's accounting system sends them. Everything here
is invented."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))

GROUPS = [
    (1, "Напитки", 0), (2, "Соки и нектары", 1), (3, "Вода", 1),
    (4, "Молочная продукция", 0), (5, "Сыры", 4),
    (6, "Бакалея", 0), (7, "Крупы", 6), (8, "Чай и кофе", 6),
    (9, "Кондитерские изделия", 0), (10, "Хлеб и выпечка", 0),
]

ITEMS = {
    2: [("Сок яблочный «Сад-огород» 1 л", "шт", "89.50"), ("Сок томатный «Сад-огород» 1 л", "шт", "94.00"),
        ("Нектар персиковый 0,95 л", "шт", "79.90"), ("Сок апельсиновый 2 л", "шт", "189.00"),
        ("Морс клюквенный 1 л", "шт", "112.40"), ("Сок виноградный 0,2 л", "шт", "31.20"),
        ("Нектар вишнёвый 1 л", "шт", "99.00")],
    3: [("Вода «Родник Урала» 0,5 л", "шт", "29.00"), ("Вода «Родник Урала» 1,5 л", "шт", "49.00"),
        ("Вода газированная 1 л", "шт", "38.50"), ("Вода детская 5 л", "шт", "139.00"),
        ("Минеральная вода «Кедровая» 0,5 л", "шт", "57.00")],
    4: [("Молоко 3,2% 1 л", "шт", "79.00"), ("Кефир 1% 0,9 л", "шт", "68.40"),
        ("Ряженка 4% 0,5 л", "шт", "54.90"), ("Сметана 20% 300 г", "шт", "96.00"),
        ("Творог 9% 200 г", "шт", "104.00"), ("Йогурт клубничный 125 г", "шт", "39.90"),
        ("Масло сливочное 82,5% 180 г", "шт", "189.00")],
    5: [("Сыр «Российский»", "кг", "689.00"), ("Сыр «Голландский»", "кг", "749.00"),
        ("Сыр плавленый 90 г", "шт", "42.00"), ("Брынза 250 г", "шт", "219.00"),
        ("Сыр «Сулугуни» 300 г", "шт", "289.00"), ("Моцарелла 125 г", "шт", "149.00")],
    7: [("Гречка ядрица 900 г", "уп", "99.00"), ("Рис круглозёрный 900 г", "уп", "89.00"),
        ("Пшено 800 г", "уп", "59.00"), ("Овсяные хлопья 500 г", "уп", "64.00"),
        ("Перловка 800 г", "уп", "44.00"), ("Манка 800 г", "уп", "56.00"),
        ("Булгур 500 г", "уп", "119.00"), ("Чечевица красная 450 г", "уп", "129.00")],
    8: [("Чай чёрный «Утро» 100 пак.", "уп", "259.00"), ("Чай зелёный 25 пак.", "уп", "89.00"),
        ("Кофе молотый 250 г", "уп", "389.00"), ("Кофе растворимый 95 г", "шт", "299.00"),
        ("Какао-порошок 100 г", "шт", "119.00"), ("Цикорий 100 г", "шт", "139.00"),
        ("Чай травяной «Луговой» 20 пак.", "уп", "98.00")],
    9: [("Печенье овсяное 400 г", "уп", "129.00"), ("Пряники тульские 300 г", "уп", "149.00"),
        ("Вафли «Артек» 250 г", "уп", "89.00"), ("Зефир ванильный 300 г", "уп", "159.00"),
        ("Мармелад фруктовый", "кг", "329.00"), ("Конфеты «Ласточка»", "кг", "489.00"),
        ("Шоколад молочный 90 г", "шт", "99.00"), ("Халва подсолнечная 350 г", "шт", "119.00"),
        ("Сушки с маком 250 г", "уп", "54.00"), ("Пастила яблочная 250 г", "уп", "169.00"),
        ("Драже «Морские камушки» 150 г", "шт", "79.00"), ("Торт «Медовик» 500 г", "шт", "349.00")],
    10: [("Хлеб «Бородинский» 400 г", "шт", "59.00"), ("Батон нарезной 380 г", "шт", "46.00"),
         ("Хлеб ржаной 500 г", "шт", "52.00"), ("Багет французский", "шт", "69.00"),
         ("Булочка с маком", "шт", "29.00"), ("Лаваш армянский 250 г", "уп", "55.00"),
         ("Сухари ванильные 250 г", "уп", "74.00"), ("Баранки 300 г", "уп", "63.00")],
}

CLIENTS = [
    ("ООО «Ромашка»", "1001", "тел. 8 (343) 210-11-22|Екатеринбург, ул. Малышева, 5", False,
     ["Магазин «Ромашка» на Малышева", "Киоск у вокзала"]),
    ("ИП Иванов А. А.", "1002", "тел. 8 900 123-45-67|Берёзовский, ул. Ленина, 12", False,
     ["Павильон на рынке"]),
    ("ООО «Продукты у дома»", "1003", "тел. 8 (343) 300-40-50|часы работы 8:00–22:00", False,
     ["Магазин на Гагарина", "Магазин на Мира", "Магазин на Восточной"]),
    ("ИП Петрова Н. В.", "1004", "тел. 8 912 765-43-21", False, []),
    ("ООО «Старый долг»", "1005", "отгрузка запрещена до погашения долга|тел. бухгалтерии 8 (343) 222-33-44",
     True, ["Склад на Монтажников"]),
    ("ЗАО «Уральский гастроном»", "1006", "тел. 8 (343) 355-00-00|приёмка товара до 14:00", False,
     ["Гастроном №1", "Гастроном №2"]),
    ("ИП Сидоров К. Л.", "1007", "", False, ["Ларёк на остановке"]),
]

CATEGORIES = ["Соки", "Вода", "Молочка", "Сыры", "Крупы", "Чай/кофе", "Сладости"]
COMPETITORS = ["Наша продукция", "«Вимм»", "«Молочный край»", "«Уральские сладости»", "Прочие"]


def guid(kind, n):
    return "%s%07X-D0E0-4000-8000-%012X" % (kind, n, n * 7919 + 17)


def write(name, lines):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write("".join(line + "\r\n" for line in lines).encode("cp1251"))


def main():
    sqd = ["Z_AGENT RESPONSE 0003-0000-0000-0001",
           "// Демонстрационный офис: справочники клиентов, категорий и производителей.",
           "<EXEC \"delete from SPR_CLIENTS\">",
           "<EXEC \"delete from SPR_GOOD_CAT\">",
           "<EXEC \"delete from SPR_COMPETITORS\">",
           ]
    client_tpl = ("<REPEAT \"insert into SPR_CLIENTS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, "
                  "UNAME, INFO, KIND, KOD, CLI_GUID) values ('%1', %2, 0, 0, %3, '%4', '%UPPER(%4)', "
                  "'%6', 1, '%5', '')\">")
    point_tpl = ("<REPEAT \"insert into SPR_CLIENTS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, "
                 "UNAME, INFO, KIND, KOD, CLI_GUID) values ('%1', %2, 0, 0, 0, '%3', '%UPPER(%3)', '', 2, "
                 "'', '%4')\">")
    n = 0
    tp = 0
    for i, (name, code, info, blocked, points) in enumerate(CLIENTS, 1):
        n += 1
        sqd.append(client_tpl)
        # An empty field cannot be written in a data line: a client without information
        # gets a template of its own.
        if info:
            sqd.append("\t".join([guid("C", i), str(n), "1" if blocked else "0", name, code, info]))
        else:
            sqd.append(client_tpl.replace("'%6'", "''"))
            sqd.append("\t".join([guid("C", i), str(n), "1" if blocked else "0", name, code]))
        if points:
            sqd.append(point_tpl)
        for p in points:
            tp += 1
            n += 1
            sqd.append("\t".join([guid("T", tp), str(n), p, guid("C", i)]))
    sqd.append("</REPEAT>")
    sqd.append("<REPEAT \"insert into SPR_GOOD_CAT (GUID, ID, IS_DELETED, ANAME, UNAME) values ('%1', %2, 0, '%3', '%UPPER(%3)')\">")
    for i, c in enumerate(CATEGORIES, 1):
        sqd.append("\t".join([guid("K", i), str(i), c]))
    sqd.append("<REPEAT \"insert into SPR_COMPETITORS (GUID, ID, IS_DELETED, ANAME, UNAME) values ('%1', %2, 0, '%3', '%UPPER(%3)')\">")
    for i, c in enumerate(COMPETITORS, 1):
        sqd.append("\t".join([guid("P", i), str(i), c]))
    sqd.append("<SHOWMSGWND \"Добрый день! С 1 декабря действуют новые цены на соки. Заявки на пятницу принимаются до 15:00.\">")
    write("ToPDA.sqd", sqd)

    sql = ["delete from SPR_GOODS;", "begin;"]
    for gid, name, root in GROUPS:
        sql.append("insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, PRICE, "
                   "ED_IZM, CATEGORY, KOD) values ('%s', %d, %d, 1, 0, '%s', '%s', 0, '', '', '');"
                   % (guid("F", gid), gid, root, name, name.upper()))
    item_id = 100
    for group, items in ITEMS.items():
        for k, (name, unit, price) in enumerate(items):
            item_id += 1
            code = ("А" if item_id % 4 == 0 else "") + str(20000 + item_id)
            sql.append("insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, PRICE, "
                       "ED_IZM, CATEGORY, KOD) values ('%s', %d, %d, 0, 0, '%s', '%s', %s, '%s', '%s', '%s');"
                       % (guid("G", item_id), item_id, group, name, name.upper(), price, unit,
                          guid("K", min(group, 7)), code))
    sql.append("commit;")
    write("ToPDA.sql", sql)


if __name__ == "__main__":
    main()
