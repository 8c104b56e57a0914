#pragma once

#include <QString>

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

// Whether to colour what goes to the stream: only a terminal, and not when NO_COLOR is set to
// anything (no-color.org) or TERM says the terminal is dumb.
bool colorWanted(std::FILE* stream);

// The text in lines of at most columns - 1 characters (the last column stays free, so that no
// terminal wraps), broken between words, each further line indented by two blanks; a word
// longer than a line stays whole. columns 0: the text as it is.
QString wrapped(const QString& text, int columns);

}  // namespace tarvel
