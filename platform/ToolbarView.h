#pragma once

namespace tarvel {

// The toolbar's buttons by position, 1 to 7.
class ToolbarView {
  public:
    enum Button {
        kPlaceholder1 = 1,
        kPlaceholder2 = 2,
        kAddFile = 3,
        kUpdate = 4,
        kExpert = 5,
        kSeparator = 6,
        kExit = 7,
    };

    virtual ~ToolbarView() = default;
    virtual void setButtonVisible(int index, bool visible) = 0;
    virtual bool isButtonVisible(int index) const = 0;
    virtual void setButtonEnabled(int index, bool enabled) = 0;
    virtual bool isButtonEnabled(int index) const = 0;
};

}  // namespace tarvel
