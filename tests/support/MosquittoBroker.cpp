#include "support/MosquittoBroker.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QStandardPaths>
#include <chrono>

namespace brimvolt::testing {
namespace {

// Connects to 127.0.0.1:port, or binds port 0 there and gives the free port the system chose.
int Loopback(int port, bool connectToIt) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    socklen_t length = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    const bool done = fd >= 0 && (connectToIt ? ::connect(fd, raw, length) == 0
                                              : ::bind(fd, raw, length) == 0 &&
                                                    ::getsockname(fd, raw, &length) == 0);
    if (fd >= 0) {
        ::close(fd);
    }
    return done ? ntohs(address.sin_port) : 0;
}

}  // namespace

QString MosquittoBroker::Program() {
    const QString onPath = QStandardPaths::findExecutable("mosquitto");
    return onPath.isEmpty() ? QStandardPaths::findExecutable("mosquitto", {"/usr/sbin"}) : onPath;
}

MosquittoBroker::MosquittoBroker(bool persistent) : persistent(persistent) {
    process.setProcessChannelMode(QProcess::MergedChannels);
}

MosquittoBroker::~MosquittoBroker() {
    Stop();
}

bool MosquittoBroker::RequirePassword(const QString& user, const QString& password) {
    passwordFile = dir.filePath("passwords");
    return QProcess::execute(QStandardPaths::findExecutable("mosquitto_passwd"),
                             {"-c", "-b", passwordFile, user, password}) == 0;
}

bool MosquittoBroker::Start() {
    // The free port may be taken before the broker binds it: the first start tries others, a
    // restart keeps the port its clients know.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (port == 0) {
            port = Loopback(0, false);
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
    QString config = QString("listener %1 127.0.0.1\n").arg(port);
    config += passwordFile.isEmpty()
                  ? QString("allow_anonymous true\n")
                  : "allow_anonymous false\npassword_file " + passwordFile + "\n";
    // Started as root, the broker would switch to a user who may not write our folder.
    config += ::geteuid() == 0 ? "user root\n" : "";
    if (persistent) {
        config += "persistence true\nqueue_qos0_messages true\npersistence_location " + dir.path() +
                  "/\n";
    }
    QFile file(dir.filePath("mosquitto.conf"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(config.toUtf8()) < 0) {
        error = "cannot write " + file.fileName();
        return false;
    }
    file.close();
    process.start(Program(), {"-c", file.fileName()});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (Loopback(port, true) == port) {
            return true;
        }
        if (process.state() == QProcess::NotRunning || process.waitForFinished(50)) {
            error = process.errorString() + ": " + QString::fromLocal8Bit(process.readAll());
            return false;
        }
    }
    error = "the broker did not listen within 20 s";
    Stop();
    return false;
}

void MosquittoBroker::Stop() {
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
}

}  // namespace brimvolt::testing
