#pragma once

#include <cstdio>

namespace tarvel {

// How many columns the output may fill: COLUMNS when it holds a number above 0, else the width
// of the terminal that stream is, else 0 (no terminal: no limit).
int terminalColumns(std::FILE* stream);

// Whether the stream is a terminal.
bool isTerminal(std::FILE* stream);

}  // namespace tarvel
