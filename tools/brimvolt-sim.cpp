// brimvolt-sim: the tester module simulator on a pseudo-terminal, for tests and trials.

#include <signal.h>
#include <time.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "sim/PtyTransport.h"
#include "sim/SimModule.h"

using brimvolt::sim::CPtyTransport;
using brimvolt::sim::CSimModule;
using brimvolt::sim::Fault;

namespace {

constexpr int kUsageError = 2;

struct Options {
    double speed = 1.0;
    bool run = false;
    std::string link;
    std::string control;
    std::vector<Fault> faults;
    double stateOfCharge = 1.0;
    double fadePerCycle = 0.0;
    int lateMs = 200;
    int startSeconds = 0;
};

std::string Usage() {
    std::string text =
        "Usage: brimvolt-sim [options]\n"
        "Serves a simulated battery tester module on a pseudo-terminal. The first line of\n"
        "standard output is the device path; the module is served until SIGINT or SIGTERM.\n"
        "\n"
        "Options:\n"
        "  --speed N        module seconds per real second (default 1; fractions allowed)\n"
        "  --run            start a run at once, as a start command would\n"
        "  --time SECONDS   the module's elapsed time at start (0 to 921599, default 0)\n"
        "  --link PATH      make PATH a symbolic link to the device (an old link is replaced)\n"
        "  --fault MODE     switch a fault on from the start (repeatable)\n"
        "  --soc PERCENT    charge of the simulated cell at start (default 100)\n"
        "  --fade PERCENT   capacity the cell loses per full cycle (0 to 50, default 0)\n"
        "  --late-ms MS     how long replies wait under late and lateack (default 200)\n"
        "  --control PATH   watch PATH: its words name the faults that are on (empty: none)\n"
        "  --help           show this text\n"
        "\n"
        "Fault modes:\n"
        "  silent      never answer anything\n"
        "  droplink    the cable is pulled: no answer until the fault is switched off\n"
        "  wrongprobe  answer the identification request with other bytes\n"
        "  short       replies too short (3 bytes to identify, 20 to status, 2 to commands)\n"
        "  garbled     replies of the right length with random bytes\n"
        "  late        replies held back by --late-ms\n"
        "  noadc       report the ADC missing (status flag 0x40)\n"
        "  nodac       report the DAC missing (status flag 0x80)\n"
        "  split       one status reply in ten stops for 0.3 s after 20 bytes\n"
        "  lateack     command acknowledgements held back by --late-ms\n"
        "\n"
        "Signals:\n"
        "  SIGUSR1     toggle droplink (unplug or plug the module back in)\n"
        "  SIGUSR2     print the module's state on standard error\n";
    return text;
}

bool ParseNumber(std::string_view text, double& value) {
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc{} && ptr == end;
}

bool ParseInt(std::string_view text, int& value) {
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc{} && ptr == end;
}

/** Parses argv; on error writes the reason and returns false. help is set by --help. */
bool ParseOptions(int argc, char** argv, Options& options, bool& help, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (hasValue) {
                return true;
            }
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };

        if (arg == "--help" || arg == "-h") {
            help = true;
        } else if (arg == "--run" && !hasValue) {
            options.run = true;
        } else if (arg == "--speed") {
            if (!takeValue()) {
                return false;
            }
            if (!ParseNumber(value, options.speed) || !(options.speed > 0.0)) {
                error = "--speed needs a positive number, not '" + value + "'";
                return false;
            }
        } else if (arg == "--link") {
            if (!takeValue()) {
                return false;
            }
            if (value.empty()) {
                error = "--link needs a path";
                return false;
            }
            options.link = value;
        } else if (arg == "--control") {
            if (!takeValue()) {
                return false;
            }
            options.control = value;
        } else if (arg == "--fault") {
            if (!takeValue()) {
                return false;
            }
            const auto fault = brimvolt::sim::FaultFromName(value);
            if (!fault) {
                error = "unknown fault mode '" + value + "'";
                return false;
            }
            options.faults.push_back(*fault);
        } else if (arg == "--soc") {
            double percent = 0.0;
            if (!takeValue()) {
                return false;
            }
            if (!ParseNumber(value, percent) || percent < 0.0 || percent > 100.0) {
                error = "--soc needs a percentage from 0 to 100";
                return false;
            }
            options.stateOfCharge = percent / 100.0;
        } else if (arg == "--fade") {
            double percent = 0.0;
            if (!takeValue()) {
                return false;
            }
            if (!ParseNumber(value, percent) || percent < 0.0 || percent > 50.0) {
                error = "--fade needs a percentage from 0 to 50";
                return false;
            }
            options.fadePerCycle = percent / 100.0;
        } else if (arg == "--time") {
            if (!takeValue()) {
                return false;
            }
            if (!ParseInt(value, options.startSeconds) || options.startSeconds < 0 ||
                options.startSeconds > CSimModule::kMaxElapsedSeconds) {
                error = "--time needs whole seconds from 0 to " +
                        std::to_string(CSimModule::kMaxElapsedSeconds);
                return false;
            }
        } else if (arg == "--late-ms") {
            if (!takeValue()) {
                return false;
            }
            if (!ParseInt(value, options.lateMs) || options.lateMs < 0) {
                error = "--late-ms needs a whole number of milliseconds";
                return false;
            }
        } else {
            error = "unknown option '" + std::string(argv[i]) + "'";
            return false;
        }
    }
    return true;
}

/** Sets the faults to exactly those the control file names, when its text has changed. */
void ApplyControlFile(const std::string& path, std::string& lastText, CSimModule& module) {
    std::ifstream file(path);
    if (!file) {
        return;
    }
    std::stringstream content;
    content << file.rdbuf();
    std::string text = content.str();
    if (text == lastText) {
        return;
    }
    lastText = text;
    std::vector<Fault> wanted;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        if (const auto fault = brimvolt::sim::FaultFromName(word)) {
            wanted.push_back(*fault);
        } else if (word != "none") {
            std::cerr << "brimvolt-sim: control file: unknown fault mode '" << word << "'\n";
        }
    }
    for (Fault fault : brimvolt::sim::kAllFaults) {
        const bool on = std::find(wanted.begin(), wanted.end(), fault) != wanted.end();
        module.SetFault(fault, on);
    }
}

void PrintState(CSimModule& module) {
    const auto state = module.State();
    std::cerr << "brimvolt-sim: " << state.voltageMv << " mV, " << state.currentMa << " mA, "
              << state.elapsedSeconds << " s, " << state.capacityMah << " mAh, "
              << static_cast<int>(state.temperature) << " C, flags 0x" << std::hex
              << static_cast<int>(state.flags) << std::dec << ", faults:";
    for (Fault fault : brimvolt::sim::kAllFaults) {
        if (module.HasFault(fault)) {
            std::cerr << ' ' << brimvolt::sim::FaultName(fault);
        }
    }
    std::cerr << '\n';
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    bool help = false;
    std::string error;
    if (!ParseOptions(argc, argv, options, help, error)) {
        std::cerr << "brimvolt-sim: " << error << "\n\n" << Usage();
        return kUsageError;
    }
    if (help) {
        std::cout << Usage();
        return 0;
    }

    // Signals are taken synchronously in the loop below; the serving thread inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2}) {
        sigaddset(&signals, s);
    }
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    brimvolt::sim::CellConfig cell;
    cell.stateOfCharge = options.stateOfCharge;
    cell.fadePerCycle = options.fadePerCycle;
    CSimModule module(cell);
    module.SetLateDelayMs(options.lateMs);
    module.UseWallClock(options.speed);
    if (options.startSeconds > 0) {
        // Through the module's own time command, so the clock stands as a client would set it.
        const int t = options.startSeconds;
        module.Handle({'t', static_cast<std::uint8_t>(t % 60),
                       static_cast<std::uint8_t>(t % 3600 / 60),
                       static_cast<std::uint8_t>(t / 3600)});
    }
    if (options.run) {
        // Through the module's own command, so the run starts exactly as a client would start it.
        module.Handle({'p', 0, 0, 0});
    }
    for (Fault fault : options.faults) {
        module.SetFault(fault, true);
    }

    CPtyTransport transport(module);
    if (!transport.Open(options.link)) {
        std::cerr << "brimvolt-sim: " << transport.ErrorText() << '\n';
        return 1;
    }
    std::cout << transport.DevicePath() << std::endl;
    transport.Start();

    std::string controlText;
    const timespec tick{0, 100'000'000};
    while (true) {
        if (!options.control.empty()) {
            ApplyControlFile(options.control, controlText, module);
        }
        const int s = sigtimedwait(&signals, nullptr, &tick);
        if (s == SIGINT || s == SIGTERM) {
            break;
        }
        if (s == SIGUSR1) {
            module.SetFault(Fault::DropLink, !module.HasFault(Fault::DropLink));
        } else if (s == SIGUSR2) {
            PrintState(module);
        }
    }
    transport.Stop();
    return 0;
}
