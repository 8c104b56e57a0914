#pragma once

#include <QString>

class QWidget;

namespace tarvel {

// Shows the log at path in a window of its own that stays open beside parent. Empty when shown,
// else why the file cannot be read.
QString showLog(const QString& path, QWidget* parent);

}  // namespace tarvel
