#pragma once

#include "cli/StationPort.h"

#include <QString>

#include <cstdio>
#include <vector>

namespace tarvel {

// What a station shows on stdout. On a terminal: one line per port (port, module, image, a bar
// fitted to the width, the status word, the elapsed time), redrawn in place. Into a file or a
// pipe: a line "PORT: what changed" as it happens. At the end a summary table.
class StationScreen {
  public:
    // columns: the width to fit on a terminal (0: no terminal).
    StationScreen(std::FILE* out, bool terminal, int columns)
        : out_(out), terminal_(terminal), columns_(columns) {}

    // The terminal's lines, drawn over the previous ones.
    void draw(const std::vector<PortView>& ports);
    // Outside a terminal: one change of one port.
    void change(const QString& port, const QString& text);
    // The table of every module's outcome, and a count per port when one saw several.
    void summary(const std::vector<std::pair<QString, std::vector<ModuleResult>>>& ports);

    // One port's live line, at most width - 1 characters (the last column stays free, so that
    // no terminal wraps).
    static QString line(const PortView& view, int portWidth, int width);

  private:
    std::FILE* out_;
    bool terminal_;
    int columns_;
    int drawn_ = 0;  // lines drawn last time
};

}  // namespace tarvel
