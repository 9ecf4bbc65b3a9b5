#pragma once

namespace brimvolt {

/**
 * Holds libmosquitto initialised while any instance lives: the first one initialises it, the
 * last one cleans it up, so every client in the process (the publisher, a test's subscriber)
 * shares one initialisation and nothing is left behind at exit.
 */
class CMosquittoLib {
public:
    CMosquittoLib();
    ~CMosquittoLib();
    CMosquittoLib(const CMosquittoLib&) = delete;
    CMosquittoLib& operator=(const CMosquittoLib&) = delete;
};

}  // namespace brimvolt
