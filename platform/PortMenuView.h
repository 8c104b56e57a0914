#pragma once

#include <QString>

namespace tarvel {

// The "Com Port" menu: item 0 is "No Com Ports", items 1 to 9 are "Com1" to "Com9".
class PortMenuView {
  public:
    static constexpr int kItemCount = 10;

    virtual ~PortMenuView() = default;
    virtual void setItemVisible(int index, bool visible) = 0;
    virtual bool isItemVisible(int index) const = 0;
    virtual void setItemChecked(int index, bool checked) = 0;
    virtual bool isItemChecked(int index) const = 0;
    virtual void setItemStatusTip(int index, const QString& tip) = 0;
    // The whole menu; off while an exchange with the module runs.
    virtual void setMenuEnabled(bool enabled) = 0;
    // The chosen port as the main screen shows it: "Com2 (/dev/ttyUSB0)", with what became of
    // it ("Com2 (/dev/ttyUSB0): lost"); "No port" before one is chosen.
    virtual void setChosenPort(const QString& text) = 0;
};

}  // namespace tarvel
