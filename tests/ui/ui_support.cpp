// Window test helpers.
#include "ui/ui_support.h"

#include "support/test_support.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

namespace vendrix::test {

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

void WhenModalShown(const std::function<bool(QWidget*)>& act)
{
    auto* poll = new QTimer(qApp);
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act, tries] {
        QWidget* modal = QApplication::activeModalWidget();
        if ((modal && modal->isVisible() && act(modal)) || ++*tries > 500)
            poll->deleteLater();
    });
    poll->start(10);
}

void AddDocument(const std::string& guid, TDate recorded, const std::string& state,
    const std::string& client, const std::string& weight, const std::string& sum)
{
    Exec("insert into DOC_HEADS (GUID, DOC_DATE, DOC_STATE, REC_TIME, CLI_NAME, ORD_WEIGHT, "
         "ORD_SUMM) values ('"
        + guid + "', " + DateText(recorded) + ", '" + state + "', " + DateText(recorded) + ", '"
        + client + "', '" + weight + "', '" + sum + "')");
}

} // namespace vendrix::test
