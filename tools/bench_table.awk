# Prints the medians of a benchmark run as a Markdown table, from the JSON that
# brimvolt-bench writes with --benchmark_out_format=json. Only awk is needed; run it
# under LC_ALL=C so that numbers are read and written with a decimal point:
#   LC_ALL=C awk -f tools/bench_table.awk bench.json
#
# The JSON writer puts one "key": value pair on each line, which is all this reads.
# A benchmark run without repetitions has no median: its single run is shown instead.
# User counters (state.counters["bytes_per_sample"]) get a column of their own.
# Runs that watched the window's event loop (counters longest_gap_ms, p99_gap_ms and
# frozen_share) get a second table of their gaps.

function value_of(line) {
    sub(/^[^:]*:[ \t]*/, "", line)
    sub(/,[ \t\r]*$/, "", line)
    sub(/^"/, "", line)
    sub(/"$/, "", line)
    return line
}

function nanoseconds(amount, unit) {
    if (unit == "s") return amount * 1e9
    if (unit == "ms") return amount * 1e6
    if (unit == "us") return amount * 1e3
    return amount
}

# Three significant figures in the unit that keeps the rounded number below a thousand.
function duration(ns,    amount, unit) {
    if (ns >= 999.5e6) { amount = ns / 1e9; unit = "s" }
    else if (ns >= 999.5e3) { amount = ns / 1e6; unit = "ms" }
    else if (ns >= 999.5) { amount = ns / 1e3; unit = "µs" }
    else { amount = ns; unit = "ns" }
    if (amount >= 99.95) return sprintf("%.0f %s", amount, unit)
    if (amount >= 9.995) return sprintf("%.1f %s", amount, unit)
    return sprintf("%.2f %s", amount, unit)
}

function remember(run) {
    if (!(run in seen)) {
        seen[run] = 1
        order[++count] = run
    }
}

# One benchmark object has been read: keep its median, or its only run.
function finish_entry() {
    if (run_name == "") return
    remember(run_name)
    if (errored == "true") {
        if (!(run_name in wall)) failure[run_name] = message
    } else if (aggregate == "median" || (run_type != "aggregate" && !(run_name in median))) {
        wall[run_name] = nanoseconds(real + 0, unit)
        cpu[run_name] = nanoseconds(cpu_time + 0, unit)
        counted[run_name] = counters
        if (counters != "") any_counters = 1
        if (aggregate == "median") median[run_name] = 1
        delete failure[run_name]
        if (longest != "") {
            stall_longest[run_name] = longest + 0
            stall_p99[run_name] = p99 + 0
            stall_frozen[run_name] = frozen + 0
        }
    }
}

function clear_entry() {
    run_name = ""; run_type = ""; aggregate = ""; real = ""; cpu_time = ""
    unit = "ns"; errored = ""; message = ""; counters = ""
    longest = ""; p99 = ""; frozen = ""
}

# A counter's value with three significant figures, large ones with k, M or G.
function counter_text(value,    suffix) {
    value += 0
    suffix = ""
    if (value >= 999.5e6) { value /= 1e9; suffix = "G" }
    else if (value >= 999.5e3) { value /= 1e6; suffix = "M" }
    else if (value >= 999.5) { value /= 1e3; suffix = "k" }
    if (value >= 99.95) return sprintf("%.0f%s", value, suffix)
    if (value >= 9.995) return sprintf("%.1f%s", value, suffix)
    return sprintf("%.2f%s", value, suffix)
}

BEGIN { clear_entry() }

/"library_build_type":/ { library_build = value_of($0) }
/"benchmarks":/ { in_list = 1; next }
!in_list { next }

/^[ \t]*\{/ { clear_entry(); next }
/^[ \t]*\}/ { finish_entry(); clear_entry(); next }
/"run_name":/ { run_name = value_of($0) }
/"name":/ { if (run_name == "") run_name = value_of($0) }
/"run_type":/ { run_type = value_of($0) }
/"aggregate_name":/ { aggregate = value_of($0) }
/"real_time":/ { real = value_of($0) }
/"cpu_time":/ { cpu_time = value_of($0) }
/"time_unit":/ { unit = value_of($0) }
/"error_occurred":/ { errored = value_of($0) }
/"error_message":/ { message = value_of($0) }
/"longest_gap_ms":/ { longest = value_of($0) }
/"p99_gap_ms":/ { p99 = value_of($0) }
/"frozen_share":/ { frozen = value_of($0) }
# Any other number is a user counter.
/^[ \t]*"[a-z_0-9]+": -?[0-9]/ {
    key = $0
    sub(/^[ \t]*"/, "", key)
    sub(/".*$/, "", key)
    if (key !~ /^(family_index|per_family_instance_index|repetitions|repetition_index|threads|iterations|real_time|cpu_time|longest_gap_ms|p99_gap_ms|frozen_share)$/)
        counters = counters (counters == "" ? "" : ", ") key " " counter_text(value_of($0))
}

END {
    if (count == 0) {
        print "No benchmark results in " FILENAME "." > "/dev/stderr"
        exit 1
    }
    if (any_counters) {
        print "| Benchmark | Median wall time | Median CPU time | Counters |"
        print "|---|--:|--:|---|"
    } else {
        print "| Benchmark | Median wall time | Median CPU time |"
        print "|---|--:|--:|"
    }
    for (i = 1; i <= count; ++i) {
        run = order[i]
        extra = any_counters ? " " counted[run] " |" : ""
        if (run in wall) {
            printf "| %s | %s | %s |%s\n", run, duration(wall[run]), duration(cpu[run]), extra
        } else {
            printf "| %s | failed: %s | |%s\n", run, failure[run], extra
        }
    }
    stalls = 0
    for (i = 1; i <= count; ++i) {
        run = order[i]
        if (!(run in stall_longest)) continue
        if (stalls++ == 0) {
            print ""
            print "| Window's event loop | Longest gap | 99th percentile | Time in gaps over 16 ms |"
            print "|---|--:|--:|--:|"
        }
        printf "| %s | %s | %s | %.1f %% |\n", run, duration(stall_longest[run] * 1e6), \
            duration(stall_p99[run] * 1e6), stall_frozen[run] * 100
    }
    if (library_build == "debug") {
        print ""
        print "The benchmark library itself was built without NDEBUG; that is its own build," \
              " not the build of the code measured."
    }
}
