#pragma once

#include "serial/SerialLink.h"
#include "status/Outcome.h"

#include <QString>

namespace tarvel {

class SettingsStore;

// An update or a communication test from the command line, its arguments checked.
struct Exchange {
    bool communicationTest = false;
    PortChoice port;                 // COM1 to COM9, or a device path
    QString prefix;                  // starts every output line
    QString folder;                  // where the images are looked up
    double timeout = 0;              // seconds; 0: none
    double switchWait = 0;           // seconds the module has to make itself known; 0: for ever
    bool nextModule = false;         // only a module that comes after a round without an answer
    bool allowOlderRelease = false;  // an older signed list than one already used, this once
    QString transcript;              // empty: none
    bool record = true;              // leave a log and a history row
    bool recordFromModule = false;   // none for a wait that ends before a module is known
    bool forward = true;             // forward the row to the line's history (else a station does)
    bool json = false;               // JSON Lines on stdout instead of text
};

// Runs it and returns the exit status.
int runExchange(const Exchange& exchange, SettingsStore& settings);

}  // namespace tarvel
