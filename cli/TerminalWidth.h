#pragma once

#include <cstdio>

namespace tarvel {

// The widest line drawn, whatever COLUMNS says: lines are made in memory at their full width, and
// COLUMNS=2147483647 would ask for gigabytes. Far beyond any screen.
constexpr int kWidestTerminal = 1000;

// How many columns the output may fill: COLUMNS when it holds a number above 0 (at most
// kWidestTerminal), else the width of the terminal that stream is, else 0 (no terminal: no
// limit).
int terminalColumns(std::FILE* stream);

// Whether the stream is a terminal.
bool isTerminal(std::FILE* stream);

}  // namespace tarvel
