// Shared ground for the window tests: waiting on the event loop for a condition, answering a
// modal window from inside its own modal run, and documents written straight into the journal.
#pragma once

#include "storage/value_formats.h"
#include "support/test_support.h"

#include <QApplication>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

namespace vendrix::test {

/// Runs the event loop until `done` holds or `timeoutMs` passes; returns whether it held.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000);

/// Arranges for `act` to run on the next modal window of type T once it is shown (from inside
/// its modal run). Returns a flag that turns true when it ran.
template <typename T> std::shared_ptr<bool> OnNextModal(std::function<void(T*)> act);

/// Writes a journal row: GUID, stored date, state, journal day, client, quantity and sum texts.
void AddDocument(const std::string& guid, TDate recorded, const std::string& state,
    const std::string& client, const std::string& weight = "1", const std::string& sum = "10");

/// Polls for a shown modal widget and hands it to `act`; used by OnNextModal.
void WhenModalShown(const std::function<bool(QWidget*)>& act);

template <typename T> std::shared_ptr<bool> OnNextModal(std::function<void(T*)> act)
{
    auto ran = std::make_shared<bool>(false);
    WhenModalShown([act, ran](QWidget* modal) {
        T* window = dynamic_cast<T*>(modal);
        if (!window)
            return false;
        *ran = true;
        act(window);
        return true;
    });
    return ran;
}

} // namespace vendrix::test
