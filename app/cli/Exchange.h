#pragma once

#include <QString>

namespace tarvel {

class SettingsStore;

enum ExitCode { kSuccess = 0, kFailed = 1, kUsage = 2, kTimeout = 3, kInterrupted = 130 };

// An update or a communication test from the command line, its arguments checked.
struct Exchange {
    bool comTest = false;
    int comPort = 0;     // 1 to 9 for COM1 to COM9; 0 when device names the port
    QString device;      // the device path given instead of a COM name
    QString port;        // as the technician wrote it, for the lines and the record
    QString folder;      // where the images are looked up
    double timeout = 0;  // seconds; 0: none
    QString transcript;  // empty: none
    QString prefix;      // starts every output line
    bool record = true;  // leave a log and a history row
};

// Runs it and returns the exit status.
int runExchange(const Exchange& exchange, SettingsStore& settings);

}  // namespace tarvel
