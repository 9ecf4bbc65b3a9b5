#pragma once

#include <QStringList>
#include <optional>

/** What the command line asks for; without options the program runs as on any computer. */
struct BrimvoltOptions {
    QStringList extraPorts;           // --extra-port PATH, repeatable
    std::optional<double> demoSpeed;  // --demo[=SPEED]
    std::optional<double> headlessDemoSeconds;  // --headless-demo=SECONDS, with --demo only
    QStringList errors;               // options that could not be understood
};

/** Reads the options after the program name. */
BrimvoltOptions ParseOptions(const QStringList& arguments);

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
