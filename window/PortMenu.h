#pragma once

namespace tarvel {

class Dialogs;
class PortMenuView;
class UpdateSession;

// The "Com Port" menu: the ports Com1 to Com9 that could be opened at start-up, and the pick of
// one, which closes the port in use and opens the picked one.
class PortMenu {
  public:
    PortMenu(UpdateSession& session, PortMenuView& menu, Dialogs& dialogs);

    void ScanComPorts();
    // The menu pick: closes the checked port and opens the one of Index.
    void com_Click(int Index);

  private:
    void uncheckAll();

    UpdateSession& session_;
    PortMenuView& menu_;
    Dialogs& dialogs_;
};

}  // namespace tarvel
