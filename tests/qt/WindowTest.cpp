// The window offscreen: its controls after start-up, the port menu and the stored port.
#include "app/ActivityIndWidget.h"
#include "app/Program.h"
#include "app/Version.h"
#include "platform/qt/QtSerialDevice.h"
#include "status/StatusTexts.h"
#include "tests/qt/PseudoTerminal.h"
#include "tests/support/Fakes.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

// Answers every message box the window opens, and remembers its text.
class MessageBoxWatcher {
  public:
    MessageBoxWatcher() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts << box->text();
                box->accept();
            }
        });
        timer_.start(10);
    }
    QStringList texts;

  private:
    QTimer timer_;
};

struct Window : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(pty.isValid());
        settings.values["Ports/COM1"] = pty.slavePath();
        for (int port = 2; port <= 9; ++port)
            settings.values[QStringLiteral("Ports/COM%1").arg(port)] = "/nonexistent/tty";
    }
    PseudoTerminal pty;
    MemorySettingsStore settings;
    QtSerialDevice serial;
    MessageBoxWatcher boxes;
};

TEST_F(Window, StartsInTheReadyState) {
    Program program(settings, serial, QDir::tempPath());
    program.start();
    MainWindow& window = program.window();
    EXPECT_EQ(window.windowTitle(), "Tarvel Update Utility");
    EXPECT_EQ(window.titleText(), "Ready");
    EXPECT_EQ(window.englishText(), texts::readyEnglish());
    EXPECT_EQ(window.germanText(), texts::readyGerman());
    EXPECT_EQ(window.elapsedText(), "0:00:00");
    EXPECT_EQ(window.percentText(), "0%");
    EXPECT_EQ(window.progressValue(), 0);
    EXPECT_TRUE(window.activityText().isEmpty());
    EXPECT_FALSE(window.dateText().isEmpty());
    EXPECT_EQ(window.versionText(),
              versionText(TARVEL_VERSION_MAJOR, TARVEL_VERSION_MINOR, TARVEL_VERSION_PATCH));
    EXPECT_EQ(window.activitySurface()->size(), QSize(113, 105));
    EXPECT_EQ(program.form().Activity1.buffer().size(), QSize(113, 105));
    EXPECT_TRUE(boxes.texts.isEmpty());
}

TEST_F(Window, ToolbarShowsItsButtonsWithAddFileHidden) {
    Program program(settings, serial, QDir::tempPath());
    program.start();
    MainWindow& window = program.window();
    EXPECT_FALSE(window.toolbarButton(MainWindow::kAddFile)->isVisible());
    EXPECT_EQ(window.toolbarButton(MainWindow::kUpdate)->text(), "Update");
    EXPECT_EQ(window.toolbarButton(MainWindow::kExpert)->text(), "Expert");
    EXPECT_EQ(window.toolbarButton(MainWindow::kExit)->text(), "Exit");
    EXPECT_TRUE(window.toolbarButton(MainWindow::kSeparator)->isSeparator());
}

TEST_F(Window, MenuOffersThePortsFoundAndRestoresTheSavedOne) {
    settings.values["Settings/COM-Port"] = "1";
    Program program(settings, serial, QDir::tempPath());
    program.start();
    MainWindow& window = program.window();
    EXPECT_FALSE(window.comItem(0)->isVisible());
    EXPECT_TRUE(window.comItem(1)->isVisible());
    EXPECT_TRUE(window.comItem(1)->isChecked());
    EXPECT_EQ(window.comItem(1)->statusTip(), pty.slavePath());
    for (int index = 2; index <= 9; ++index)
        EXPECT_FALSE(window.comItem(index)->isVisible());
    EXPECT_TRUE(serial.isOpen());
    window.close();
    EXPECT_FALSE(serial.isOpen());
    EXPECT_EQ(settings.values.value("Settings/COM-Port"), "1");
}

TEST_F(Window, NoPortAtAllIsReportedAndTheWindowStillStarts) {
    settings.values["Ports/COM1"] = "/nonexistent/tty";
    Program program(settings, serial, QDir::tempPath());
    program.start();
    EXPECT_EQ(boxes.texts, QStringList{"No Com Ports available!"});
    EXPECT_TRUE(program.window().comItem(0)->isVisible());
    EXPECT_EQ(program.window().titleText(), "Ready");
}

TEST_F(Window, MenuPickOpensThePort) {
    Program program(settings, serial, QDir::tempPath());
    program.start();
    ASSERT_FALSE(serial.isOpen());
    program.window().comItem(1)->trigger();
    EXPECT_TRUE(serial.isOpen());
    EXPECT_TRUE(program.window().comItem(1)->isChecked());
}

}  // namespace
}  // namespace tarvel::test
