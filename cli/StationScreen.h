#pragma once

#include "cli/TerminalWidth.h"
#include "station/StationPort.h"
#include "station/StationVerdict.h"

#include <QString>

#include <cstdio>
#include <vector>

namespace tarvel {

// The widths of a station's live lines, the same for every port so that the columns align.
struct StationColumns {
    int port = 4;
    int module = 0;  // 0: left out
    int image = 0;   // 0: left out
    int bar = 0;     // with its brackets; 0: left out
    int count = 0;   // "#12"; 0: no port counts yet
};

// What a station shows on stdout. On a terminal: one line per port (port, module, image, a bar,
// the percentage, the status word, the elapsed time), redrawn in place. Into a file or a pipe:
// a line "PORT: what changed" as it happens. At the end a summary table, each failure's reason
// and the verdict.
class StationScreen {
  public:
    // shown: whether the lines are shown at all (not under --json); on a terminal they are
    // fitted to its width and coloured where it has colours (colorWanted).
    StationScreen(std::FILE* out, bool shown)
        : out_(out),
          terminal_(shown && isTerminal(out)),
          columns_(terminalColumns(out)),
          color_(shown && colorWanted(out)) {}

    // The terminal's lines, drawn over the previous ones.
    void draw(const std::vector<PortView>& ports);
    // Outside a terminal: one change of one port.
    void change(const QString& port, const QString& text);
    // The table of every module's outcome, a count per port when one saw several, each failed
    // module's reason once in port order, and the verdict.
    void summary(const PortResults& ports);

    // The widths for these ports within width - 1 characters (the last column stays free, so
    // that no terminal wraps): the bar and the status word first, then the module, then the
    // image, then the bar gets what is left.
    static StationColumns fit(const std::vector<PortView>& ports, int width);
    // One port's live line in those widths; its status word coloured with color.
    static QString line(const PortView& view, const StationColumns& columns, bool color);

  private:
    std::FILE* out_;
    bool terminal_;
    int columns_;
    bool color_;
    int drawn_ = 0;  // lines drawn last time
};

}  // namespace tarvel
