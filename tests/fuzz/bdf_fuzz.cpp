// Battery Data Format files from other programs and testers, plain or gzip'd, read into steps.
//
// Input: the file's bytes.

#include <cstddef>
#include <cstdint>

#include "FuzzInput.h"
#include "bdf/BdfImport.h"

using namespace brimvolt;
using brimvolt::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::CFuzzInput input(data, size);
    const BdfRead read = ReadBdf(input.Rest(), QStringLiteral("f.bdf"), 1'700'000'000);
    if (!read.Ok()) {
        Check(read.steps.empty(), "a refusal keeps no step");
        Check(read.error.startsWith(QLatin1String("f.bdf:")) && !read.error.contains(u'\n'),
              "a refusal is one line naming the file");
        return 0;
    }
    Check(!read.steps.empty(), "an accepted file has a step");
    for (const BdfStep& step : read.steps) {
        const RunRecord& run = step.run;
        Check(!step.samples.empty() && run.sampleCount == std::ssize(step.samples), "samples");
        Check(step.samples.front().seconds == 0 && run.state == RunState::Stopped, "a stopped run");
        for (std::size_t i = 1; i < step.samples.size(); ++i) {
            Check(step.samples[i].seconds > step.samples[i - 1].seconds, "one reading a second");
        }
        Check(
            run.durationSeconds == step.samples.back().seconds && run.durationSeconds <= 255 * 3600,
            "the duration is the last reading's, within the module's clock");
        Check(run.endMv == step.samples.back().voltageMv && run.energyUj >= 0, "totals");
    }
    return 0;
}
