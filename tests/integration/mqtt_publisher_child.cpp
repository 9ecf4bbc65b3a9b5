// The publisher in a process of its own, for the test that kills a program mid-work: it
// publishes a reading every 100 ms under the prefix it was given, and takes a new prefix from
// each line on its standard input.

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <iostream>
#include <string>

#include "mqtt/MqttPublisher.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    brimvolt::MqttPublisherOptions options;
    options.url = brimvolt::ParseMqttUrl(argc > 1 ? argv[1] : "", nullptr).value_or(options.url);
    options.prefix = argc > 2 ? argv[2] : "";
    options.keepAliveSeconds = 5;
    brimvolt::CMqttPublisher publisher(options);

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
        if (std::getline(std::cin, line)) {
            publisher.SetTopicPrefix(QString::fromStdString(line));
        } else {
            input.setEnabled(false);
        }
    });
    return app.exec();
}
