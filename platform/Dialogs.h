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
};

}  // namespace tarvel
