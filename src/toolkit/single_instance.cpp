// The single-instance channel over QLocalServer / QLocalSocket. A start writes "raise"; the
// running copy brings its window up and answers "ok".
#include "toolkit/single_instance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>

namespace vendrix {

namespace {

constexpr const char* kRaise = "raise\n";
constexpr const char* kDone = "ok\n";

} // namespace

QString SingleInstanceName()
{
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("LOGNAME");
    if (user.isEmpty())
        user = QDir::home().dirName();
    // The name becomes a socket file name: nothing that could leave the folder.
    user.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    return QStringLiteral("Zelmor_Agent-") + user;
}

TSingleInstance::TSingleInstance(QString name)
    : m_name(std::move(name))
{
}

TSingleInstance::~TSingleInstance() = default;

bool TSingleInstance::RaiseRunning(int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(kRaise);
    socket.waitForBytesWritten(timeoutMs);
    // The answer only tells that the first copy came up; a busy copy still counts as running.
    socket.waitForReadyRead(timeoutMs);
    socket.disconnectFromServer();
    return true;
}

bool TSingleInstance::Listen(std::function<void()> onRaise)
{
    m_onRaise = std::move(onRaise);
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // Nobody answered RaiseRunning: whatever is left under the name belongs to a dead copy.
    QLocalServer::removeServer(m_name);
    if (!m_server->listen(m_name)) {
        m_server.reset();
        return false;
    }
    QObject::connect(m_server.get(), &QLocalServer::newConnection, m_server.get(), [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                if (!socket->readAll().contains("raise"))
                    return;
                if (m_onRaise)
                    m_onRaise();
                socket->write(kDone);
                socket->flush();
            });
        }
    });
    return true;
}

} // namespace vendrix
