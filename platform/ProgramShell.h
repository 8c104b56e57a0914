#pragma once

#include <QString>

#include <optional>

namespace tarvel {

// What the logic asks of the program around it: the modal windows that return a choice, and the
// end of the program.
class ProgramShell {
  public:
    virtual ~ProgramShell() = default;
    // frmLogin, modal: true when the password was accepted, false on Cancel, nothing when the
    // window was closed by its frame.
    virtual std::optional<bool> showExpertLogin() = 0;
    // The open-file dialog: the chosen path, or nothing when cancelled.
    virtual std::optional<QString> chooseFileToOpen(const QString& title, const QString& filterName,
                                                    const QString& filterPattern,
                                                    const QString& initialName) = 0;
    // Unloads the window and ends the program once control is back in its main loop.
    virtual void endProgram() = 0;
};

}  // namespace tarvel
