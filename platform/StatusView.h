#pragma once

#include <QString>
#include <QtGlobal>

namespace tarvel {

// The status controls of the main window as the logic sees them. Colours are 0x00BBGGRR.
class StatusView {
  public:
    virtual ~StatusView() = default;
    virtual void setTitleColor(quint32 color) = 0;  // Label_title
    virtual void setTitleText(const QString& text) = 0;
    virtual void setEnglishText(const QString& text) = 0;  // Label_englisch
    virtual void setGermanText(const QString& text) = 0;   // Label_deutsch
    virtual void setElapsedText(const QString& text) = 0;  // lblZeit
    virtual void setProgressMaximum(int maximum) = 0;      // ProgressBar1
    virtual int progressMaximum() const = 0;
    virtual void setProgressValue(int value) = 0;
    // Label1; shown at once, without waiting for the next event processing.
    virtual void setPercentText(const QString& text) = 0;
    virtual void setActivityText(const QString& text) = 0;  // StatusBar1 panel 2
    virtual void setVersionText(const QString& text) = 0;   // StatusBar1 panel 3
    virtual void setFileNameText(const QString& text) = 0;  // Text_Filename
    virtual void setBusyPointer(bool busy) = 0;
    // A passing note on the status bar, such as a record that cannot be written.
    virtual void showNotice(const QString& text) = 0;
    // How the last update or test ended, in English and in German, kept in sight until the
    // next one starts; empty: none.
    virtual void setLastOutcome(const QString& english, const QString& german, quint32 color) = 0;
};

}  // namespace tarvel
