// Ground for the document windows' tests: a program folder with a small office catalogue
// (clients with trade points and a blocked client, goods in two groups and a sub-group, goods
// categories and competitors), and a way to act on the next modal window exactly once.
#pragma once

#include "support/test_support.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace vendrix::test {

/// Writes the sample reference tables and loads the reference lists.
void FillCatalogue();

/// Runs `act` on the next modal window of type T, once, as soon as it is shown (from inside its
/// modal run). The returned flag turns true when it ran.
template <typename T> std::shared_ptr<bool> WhenShown(std::function<void(T*)> act)
{
    auto ran = std::make_shared<bool>(false);
    auto* poll = new QTimer(qApp);
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act, ran, tries] {
        T* window = dynamic_cast<T*>(QApplication::activeModalWidget());
        if (window && window->isVisible()) {
            // Stopped first: the act may run nested modal windows of its own.
            poll->stop();
            poll->deleteLater();
            *ran = true;
            act(window);
        } else if (++*tries > 500) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start(5);
    return ran;
}

/// The first child of `owner` that is a T (the windows have no meta-objects of their own, so
/// findChild would take any widget).
template <typename T> T* FindChild(const QObject* owner)
{
    for (QObject* child : owner->findChildren<QObject*>()) {
        if (T* found = dynamic_cast<T*>(child))
            return found;
    }
    return nullptr;
}

/// Types `text` into `widget` key by key, Cyrillic included (QTest's own typing takes ASCII).
void Type(QWidget* widget, const QString& text);

/// Fires a one-shot timer now instead of waiting for it.
inline void FireTimer(QTimer* timer)
{
    timer->stop();
    QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
}

/// A folder with the catalogue, started as the program starts.
class CatalogueTest : public StartedFolderTest {
protected:
    void SetUp() override;
};

} // namespace vendrix::test
