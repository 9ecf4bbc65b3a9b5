#include "support/MosquittoBroker.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QStandardPaths>
#include <QThread>
#include <chrono>

namespace brimvolt::testing {
namespace {

// A port the system just handed out and took back: free unless someone grabs it meanwhile,
// which Start() survives by trying another.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return 0;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool connected =
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

}  // namespace

QString MosquittoBroker::Program() {
    QString program = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
    if (program.isEmpty()) {
        program = QStandardPaths::findExecutable(
            QStringLiteral("mosquitto"),
            {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")});
    }
    return program;
}

MosquittoBroker::MosquittoBroker(bool persistent) : persistent(persistent) {
    process.setProcessChannelMode(QProcess::MergedChannels);
}

MosquittoBroker::~MosquittoBroker() {
    Stop();
}

bool MosquittoBroker::RequirePassword(const QString& user, const QString& password) {
    passwordFile = dir.filePath(QStringLiteral("passwords"));
    QProcess tool;
    tool.start(QStandardPaths::findExecutable(QStringLiteral("mosquitto_passwd")),
               {QStringLiteral("-c"), QStringLiteral("-b"), passwordFile, user, password});
    return tool.waitForFinished(20000) && tool.exitStatus() == QProcess::NormalExit &&
           tool.exitCode() == 0;
}

bool MosquittoBroker::Start() {
    // A port taken between FreePort() and the broker's bind: the first start tries another; a
    // restart keeps its port, which the clients know.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (port == 0) {
            port = FreePort();
        }
        if (StartOnce()) {
            everStarted = true;
            return true;
        }
        if (everStarted) {
            return false;
        }
        port = 0;
    }
    return false;
}

bool MosquittoBroker::StartOnce() {
    const QString program = Program();
    if (program.isEmpty() || !dir.isValid() || port == 0) {
        error = QStringLiteral("no mosquitto program, scratch folder or free port");
        return false;
    }
    QString config = QStringLiteral("listener %1 127.0.0.1\n").arg(port);
    config += passwordFile.isEmpty()
                  ? QStringLiteral("allow_anonymous true\n")
                  : QStringLiteral("allow_anonymous false\npassword_file %1\n").arg(passwordFile);
    // Started as root, mosquitto would switch to its own user, who may not write our folder.
    if (::geteuid() == 0) {
        config += QStringLiteral("user root\n");
    }
    if (persistent) {
        config +=
            QStringLiteral("persistence true\npersistence_location %1/\nqueue_qos0_messages true\n")
                .arg(dir.path());
    }
    QFile file(dir.filePath(QStringLiteral("mosquitto.conf")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(config.toUtf8()) != config.toUtf8().size()) {
        error = QStringLiteral("cannot write the broker's configuration");
        return false;
    }
    file.close();

    process.start(program, {QStringLiteral("-c"), file.fileName()});
    if (!process.waitForStarted(10000)) {
        error = process.errorString();
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (Accepts(port)) {
            return true;
        }
        if (process.waitForFinished(50)) {
            error = QString::fromLocal8Bit(process.readAll());
            return false;
        }
    }
    error = QStringLiteral("the broker did not accept connections within 20 s");
    process.kill();
    process.waitForFinished(5000);
    return false;
}

void MosquittoBroker::Stop() {
    if (process.state() == QProcess::NotRunning) {
        return;
    }
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

}  // namespace brimvolt::testing
