#include "mqtt/MosquittoLib.h"

#include <mosquitto.h>

#include <mutex>

namespace brimvolt {
namespace {

// mosquitto_lib_init is not thread-safe; the count and both calls stay under one lock.
std::mutex libraryMutex;
int libraryUsers = 0;

}  // namespace

CMosquittoLib::CMosquittoLib() {
    const std::lock_guard lock(libraryMutex);
    if (libraryUsers++ == 0) {
        mosquitto_lib_init();
    }
}

CMosquittoLib::~CMosquittoLib() {
    const std::lock_guard lock(libraryMutex);
    if (--libraryUsers == 0) {
        mosquitto_lib_cleanup();
    }
}

}  // namespace brimvolt
