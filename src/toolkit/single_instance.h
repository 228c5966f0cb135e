// There is one running copy of the program per user: the first copy listens on a local channel
// named from the marker "Zelmor_Agent" and the user's name; a later start asks it to come to
// the front and then ends, handing over the launcher's activation token when it was given one
// (under Wayland only a token lets the running copy come forward). A copy that was killed
// leaves a stale channel, which the next start removes when nobody answers on it.
#pragma once

#include <QString>

#include <functional>
#include <memory>

class QLocalServer;

namespace vendrix {

/// "Zelmor_Agent-" and the user's login name.
QString SingleInstanceName();

class TSingleInstance {
public:
    explicit TSingleInstance(QString name = SingleInstanceName());
    ~TSingleInstance();
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;

    /// Called with the activation token a later start handed over (empty when it had none).
    using TOnRaise = std::function<void(const QString& activationToken)>;

    /// Asks a running copy to come to the front, passing on `activationToken` (the launcher's
    /// XDG_ACTIVATION_TOKEN; empty: none), and waits up to `timeoutMs` for its answer.
    /// Returns true when a copy is running (this one should then end).
    bool RaiseRunning(const QString& activationToken = {}, int timeoutMs = 3000);

    /// Marks this copy as the running one; `onRaise` runs whenever a later start asks for it.
    /// False when the channel cannot be opened (the program then runs unmarked).
    bool Listen(TOnRaise onRaise);

private:
    QString m_name;
    std::unique_ptr<QLocalServer> m_server;
    TOnRaise m_onRaise;
};

} // namespace vendrix
