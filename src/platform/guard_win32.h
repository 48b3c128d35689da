// Keeping exceptions out of system callbacks: an exception that unwinds into the system ends
// the process.
#pragma once

#include <exception>

namespace tovalin::platform {

void ReportFailure(const char* where, const char* what) noexcept;

// Runs a callback body; an escaping exception is reported in a message box instead of unwinding
// into the system, which would end the process. Returns false when the body threw.
template <typename Body>
bool Guarded(const char* where, Body&& body) noexcept {
    try {
        body();
        return true;
    } catch (const std::exception& e) {
        ReportFailure(where, e.what());
    } catch (...) {
        ReportFailure(where, "unknown error");
    }
    return false;
}

// Runs a step whose failure is to be ignored: the next step runs whatever happened here.
template <typename Body>
void Ignoring(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

}  // namespace tovalin::platform
