#pragma once

#include <QString>

namespace tarvel {

class SettingsStore;

// The folder that holds the firmware images, for the window, the command line and Add File
// alike. A technician may name one in the settings store (section "Paths", key "ImageFolder").
// Otherwise a program installed below /usr keeps its images in the build's TARVEL_IMAGE_FOLDER
// (/var/lib/tarvel-update-utility),
// which survives upgrades and which the technicians' group may write; a program run from any
// other folder (a build tree, a copied program, every program on Windows) keeps them beside
// itself.
QString imageFolder(const QString& programFolder, const SettingsStore& settings);

}  // namespace tarvel
