# Sanitizer and fuzzing builds. Included before any target is defined, so the libraries, the
# programs and the tests are all instrumented alike: a fault is caught wherever the bad value
# came from, not only in the code a fuzz target calls directly.

option(BRIMVOLT_SANITIZE "Build everything with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(BRIMVOLT_FUZZ "Build the libFuzzer targets of tests/fuzz (needs clang)" OFF)

if(BRIMVOLT_SANITIZE OR BRIMVOLT_FUZZ)
    # Any undefined behaviour aborts the test or fuzz run instead of scrolling past as a warning.
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

if(BRIMVOLT_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "BRIMVOLT_FUZZ needs clang++ (libFuzzer): "
                            "configure with -DCMAKE_CXX_COMPILER=clang++")
    endif()
    # Coverage feedback for the libraries too; the fuzzer's main is linked into the targets only.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
