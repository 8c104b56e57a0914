#pragma once

#include "platform/FileChooser.h"

namespace tarvel {

class FileSystem;

// An image in folder as the selection window offers it: its date, its size and how long its
// update takes, or why the update would refuse it.
FileChoice describeChoice(const FileSystem& files, const QString& folder, const QString& name,
                          qint64 modified);

}  // namespace tarvel
