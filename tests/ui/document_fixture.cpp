// The sample catalogue of the document windows' tests.
#include "ui/document_fixture.h"

#include "documents/reference_lists.h"

#include <QTest>

namespace vendrix::test {

void FillCatalogue()
{
    Exec("insert into SPR_CLIENTS (GUID, IS_FOLDER, IS_DELETED, ANAME, UNAME, KIND, KOD, INFO, "
         "CLI_GUID) values "
         "('C-1', 0, 0, 'Иванов И. И.', 'a', 0, 'А12', 'тел. 22-33|ул. Садовая, 5', ''),"
         "('C-2', 0, 1, 'Закрытый клиент', 'b', 1, 'A13', '', ''),"
         "('C-3', 0, 0, 'Ивашкин', 'c', 0, '014', 'склад', ''),"
         "('C-4', 0, 0, 'Петров', 'd', 0, '015', '', ''),"
         "('T-1', 0, 0, 'Магазин на Садовой', 'e', 2, 'Т1', '', 'C-1'),"
         "('T-2', 0, 0, 'Киоск Ивашкина', 'f', 2, 'Т2', '', 'C-3')");
    Exec("insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, ANAME, UNAME, PRICE, ED_IZM, KOD) "
         "values "
         "('F-1', 1, 0, 1, 'Напитки', 'a', '', '', ''),"
         "('G-1', 10, 1, 0, 'Сок яблочный', 'b', '12.50', 'шт', '101'),"
         "('G-2', 11, 1, 0, 'Сок вишнёвый', 'c', '10', 'шт', '102'),"
         "('F-2', 2, 1, 1, 'Воды', 'd', '', '', ''),"
         "('G-3', 20, 2, 0, 'Вода минеральная', 'e', '0.29', 'л', '201'),"
         "('F-3', 3, 0, 1, 'Бакалея', 'f', '', '', ''),"
         "('G-4', 30, 3, 0, 'Рис круглый', 'g', '5', 'кг', '301'),"
         "('G-5', 31, 3, 0, 'Гречка', 'h', '7.5', 'кг', '302')");
    Exec("insert into SPR_GOOD_CAT (GUID, ID, ANAME) values ('CAT-1', 1, 'Соки'),"
         "('CAT-2', 2, 'Воды'), ('CAT-3', 3, 'Чай');"
         "insert into SPR_COMPETITORS (GUID, ID, ANAME) values ('P-1', 1, 'Наш завод'),"
         "('P-2', 2, 'Соседи')");
    LoadReferenceLists(true);
}

void Type(QWidget* widget, const QString& text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

void CatalogueTest::SetUp()
{
    StartedFolderTest::SetUp();
    FillCatalogue();
}

} // namespace vendrix::test
