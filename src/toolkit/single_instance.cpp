// The single-instance channel over QLocalServer / QLocalSocket. A start writes one line,
// "raise", or "raise" and a blank and the launcher's activation token; the running copy brings
// its window up and answers "ok". A copy of an older version writes "raise" alone, which is
// still a request, and takes any line holding "raise" for one, so old and new copies still
// understand each other.
#include "toolkit/single_instance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>

#include <algorithm>
#include <optional>

namespace vendrix {

namespace {

constexpr const char* kRaise = "raise";
constexpr const char* kDone = "ok\n";
// Longer than any token a compositor hands out; a longer line is not a request of ours.
constexpr qint64 kLongestLine = 4096;

// The token of a request line, or nothing when the line is not a request. A token that holds
// anything but printable ASCII is dropped: the window still comes up, without it.
std::optional<QString> ReadRequest(QByteArray line)
{
    line = line.trimmed();
    if (line == kRaise)
        return QString();
    const QByteArray prefix = QByteArray(kRaise) + ' ';
    if (!line.startsWith(prefix))
        return std::nullopt;
    const QByteArray token = line.mid(prefix.size());
    const bool printable
        = std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c < '\x7f'; });
    return printable ? QString::fromLatin1(token) : QString();
}

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

bool TSingleInstance::RaiseRunning(const QString& activationToken, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QByteArray request(kRaise);
    const QByteArray token = activationToken.toLatin1();
    if (!token.isEmpty() && token.size() < kLongestLine - request.size() - 2)
        request += ' ' + token;
    socket.write(request + '\n');
    socket.waitForBytesWritten(timeoutMs);
    // The answer only tells that the first copy came up; a busy copy still counts as running.
    socket.waitForReadyRead(timeoutMs);
    socket.disconnectFromServer();
    return true;
}

bool TSingleInstance::Listen(TOnRaise onRaise)
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
                // The request may come in pieces: one whole line is one request.
                while (socket->canReadLine()) {
                    const QByteArray line = socket->readLine(kLongestLine + 1);
                    if (!line.endsWith('\n')) {
                        socket->abort();
                        return;
                    }
                    const std::optional<QString> token = ReadRequest(line);
                    if (!token)
                        continue;
                    if (m_onRaise)
                        m_onRaise(*token);
                    socket->write(kDone);
                    socket->flush();
                }
                if (socket->bytesAvailable() > kLongestLine)
                    socket->abort();
            });
        }
    });
    return true;
}

} // namespace vendrix
