#pragma once

#include <QString>

namespace tarvel {

enum class MessageIcon { None, Critical, Question, Information };
enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageResult { Ok, Cancel, Yes, No };

// Modal message boxes. A box whose title is empty carries the application title.
class Dialogs {
  public:
    virtual ~Dialogs() = default;
    virtual MessageResult messageBox(const QString& text, const QString& title, MessageIcon icon,
                                     MessageButtons buttons = MessageButtons::Ok) = 0;
    // A box with a second part in smaller print below its text (an error's reason); where a
    // front end has no such part, the text alone.
    virtual MessageResult detailedMessageBox(const QString& text, const QString& detail,
                                             const QString& title, MessageIcon icon) {
        (void)detail;
        return messageBox(text, title, icon);
    }
};

}  // namespace tarvel
