// The publisher in a process of its own, for the tests that kill a program mid-work: it connects
// with a short keep-alive, publishes a reading every 100 ms, prints every status text, and takes
// a new topic prefix from each line on its standard input.

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <iostream>
#include <string>

#include "mqtt/MqttPublisher.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::cerr << "usage: mqtt-publisher-child URL PREFIX\n";
        return 2;
    }
    QString error;
    const auto url = brimvolt::ParseMqttUrl(QString::fromLocal8Bit(argv[1]), &error);
    if (!url) {
        std::cerr << error.toStdString() << '\n';
        return 2;
    }
    brimvolt::MqttPublisherOptions options;
    options.url = *url;
    options.prefix = QString::fromLocal8Bit(argv[2]);
    options.discoveryPrefix.clear();
    options.keepAliveSeconds = 5;
    brimvolt::CMqttPublisher publisher(options);
    QObject::connect(&publisher, &brimvolt::CMqttPublisher::StatusTextChanged,
                     [](const QString& text) { std::cout << text.toStdString() << std::endl; });

    QTimer readings;
    brimvolt::MqttStatus status;
    QObject::connect(&readings, &QTimer::timeout, [&] {
        ++status.elapsedSeconds;
        publisher.PublishStatus(status);
    });
    readings.start(100);

    QSocketNotifier input(fileno(stdin), QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        std::string line;
        if (!std::getline(std::cin, line)) {
            input.setEnabled(false);
            return;
        }
        publisher.SetTopicPrefix(QString::fromStdString(line));
    });
    return app.exec();
}
