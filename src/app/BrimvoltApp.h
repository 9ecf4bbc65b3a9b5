#pragma once

#include <QString>
#include <QStringList>
#include <optional>

/** What the command line asks for; without options the program runs as on any computer. */
struct BrimvoltOptions {
    QStringList extraPorts;                     // --extra-port PATH, repeatable
    bool bench = false;                         // --bench: a window for every module found
    QStringList ports;                          // --port NAME: only these; several with --bench
    std::optional<double> demoSpeed;            // --demo[=SPEED]
    std::optional<double> headlessDemoSeconds;  // --headless-demo=SECONDS, with --demo only
    QString journalPath;                        // --journal PATH; empty: in the data folder
    std::optional<QString> mqttUrl;             // --mqtt URL
    std::optional<QString> mqttPrefix;          // --mqtt-prefix PREFIX, with --mqtt only
    std::optional<QString> programPath;         // --program FILE
    QString language;                           // --lang=ru|en; empty: the system's
    std::optional<QString> badLanguage;         // a --lang value naming no language it has
    bool help = false;                          // --help: the usage, and nothing else
    bool version = false;                       // --version
    QString curveFile;                          // FILE.raz or FILE.zar: opened at start
    QStringList errors;                         // options that could not be understood
};

/** Whether arguments of one dash are Qt's own (-platform NAME, -style NAME, -session ID). */
enum class QtArguments {
    Pass,    // left to QApplication, each with the value that follows it
    Refuse,  // what QApplication left of them is no option of the program
};

/** Reads the options after the program name. */
BrimvoltOptions ParseOptions(const QStringList& arguments,
                             QtArguments qtArguments = QtArguments::Refuse);

/** The usage text --help prints: every option, one line each. */
QString Usage();

/** The application: sets up Qt, runs the main window modally and ends with it. */
class CBrimvoltApp {
public:
    CBrimvoltApp(int& argc, char** argv);
    ~CBrimvoltApp();

    /** Runs the program; the process's exit code. */
    int InitInstance();

private:
    int& argc;
    char** argv;
};
