#pragma once

#include <QByteArray>
#include <QString>

namespace tarvel::test {

// A fresh pseudo-terminal pair: the program opens slavePath() as its serial port, the test
// plays the module on the master side.
class PseudoTerminal {
  public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool isValid() const { return master_ >= 0; }
    QString slavePath() const { return slavePath_; }
    bool write(const QByteArray& bytes);
    // The module's end hangs up.
    void closeMaster();
    // Reads until count bytes have come or the time limit has passed.
    QByteArray read(int count, int timeoutMs);

  private:
    int master_ = -1;
    QString slavePath_;
};

}  // namespace tarvel::test
