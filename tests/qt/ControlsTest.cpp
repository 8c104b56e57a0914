// The toolbar, the keys, the expert login and Add File in the real window, offscreen.
#include "app/Program.h"
#include "platform/qt/QtSerialDevice.h"
#include "tests/qt/ModalDriver.h"
#include "tests/qt/PseudoTerminal.h"
#include "tests/support/Fakes.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

struct Controls : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(pty.isValid());
        ASSERT_TRUE(programFolder.isValid() && elsewhere.isValid());
        settings.values["Ports/COM1"] = pty.slavePath();
        for (int port = 2; port <= 9; ++port)
            settings.values[QStringLiteral("Ports/COM%1").arg(port)] = "/nonexistent/tty";
        settings.values["Settings/COM-Port"] = "1";
        program = std::make_unique<Program>(settings, serial, programFolder.path());
        program->start();
    }
    MainWindow& window() { return program->window(); }
    bool visible(int button) { return window().isButtonVisible(button); }
    void click(int button) { window().toolbarButton(button)->trigger(); }
    static void writeFile(const QString& path, const QByteArray& contents) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }
    static QByteArray readFile(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    PseudoTerminal pty;
    QTemporaryDir programFolder;
    QTemporaryDir elsewhere;
    MemorySettingsStore settings;
    QtSerialDevice serial;
    ModalDriver driver;
    std::unique_ptr<Program> program;
};

TEST_F(Controls, ToolbarAtStartShowsUpdateExpertExitButNotAddFile) {
    EXPECT_FALSE(visible(ToolbarView::kAddFile));
    EXPECT_TRUE(visible(ToolbarView::kUpdate));
    EXPECT_TRUE(visible(ToolbarView::kExpert));
    EXPECT_TRUE(visible(ToolbarView::kExit));
    EXPECT_FALSE(window().toolbarButton(ToolbarView::kUpdate)->icon().isNull());
}

TEST_F(Controls, RightPasswordEntersExpertMode) {
    driver.logins = {{"58014", true}};
    click(ToolbarView::kExpert);
    EXPECT_TRUE(visible(ToolbarView::kAddFile));
    EXPECT_FALSE(visible(ToolbarView::kExpert));
    EXPECT_TRUE(program->form().ManualFileSelect);
    EXPECT_TRUE(driver.messages.isEmpty());
}

TEST_F(Controls, WrongPasswordsAreRefusedAndCancelChangesNothing) {
    driver.logins = {{"12345", true}, {"58014 ", true}, {"58014", false}};
    click(ToolbarView::kExpert);
    EXPECT_EQ(driver.messages, QStringList(2, "Invalid Password. Please try again!"));
    EXPECT_EQ(driver.messageTitles, QStringList(2, "Expert Password"));
    EXPECT_EQ(driver.loginDialogsSeen, 3);  // the dialog stayed open after each refusal
    EXPECT_FALSE(visible(ToolbarView::kAddFile));
    EXPECT_TRUE(visible(ToolbarView::kExpert));
    EXPECT_FALSE(program->form().ManualFileSelect);
}

TEST_F(Controls, F2LogsInWhicheverControlHasTheFocusAndAlsoWithExpertHidden) {
    driver.logins = {{"58014", true}};
    QTest::keyClick(window().findChild<QLineEdit*>(), Qt::Key_F2);
    EXPECT_EQ(driver.messages, QStringList{"F2"});
    EXPECT_FALSE(visible(ToolbarView::kExpert));
    driver.logins = {{"", false}};
    QTest::keyClick(&window(), Qt::Key_F2);
    EXPECT_EQ(driver.loginDialogsSeen, 2);
}

TEST_F(Controls, AddFileAsksBeforeOverwritingAndCopiesOnlyAfterOk) {
    driver.logins = {{"58014", true}};
    click(ToolbarView::kExpert);
    const QString source = elsewhere.filePath("DVB-SAT-7.bin");
    const QString destination = programFolder.filePath("DVB-SAT-7.bin");
    writeFile(source, "new");
    writeFile(destination, "old");

    driver.filesToOpen = {source};
    driver.messageAnswers = {QMessageBox::Cancel};
    click(ToolbarView::kAddFile);
    EXPECT_EQ(driver.messages, QStringList{"File already exists! Overwrite?"});
    EXPECT_EQ(driver.messageTitles, QStringList{"Tarvel_Update_Utility"});
    EXPECT_EQ(readFile(destination), "old");

    driver.filesToOpen = {source};
    driver.messageAnswers = {QMessageBox::Ok};
    click(ToolbarView::kAddFile);
    EXPECT_EQ(readFile(destination), "new");
    EXPECT_FALSE(QFile::exists(destination + ".part"));
}

TEST_F(Controls, EscClosesThePortStoresItsNumberAndClosesTheWindow) {
    ASSERT_TRUE(serial.isOpen());
    settings.values.remove("Settings/COM-Port");
    QTest::keyClick(&window(), Qt::Key_Escape);
    EXPECT_FALSE(serial.isOpen());
    EXPECT_EQ(settings.values.value("Settings/COM-Port"), "1");
    EXPECT_FALSE(window().isVisible());
}

TEST_F(Controls, KeysThatWouldShareThePortAreIgnoredDuringAnUpdate) {
    // Nobody answers on the line: the update keeps identifying until the technician exits.
    bool menuEnabledDuring = true;
    bool updateEnabledDuring = true;
    QTimer::singleShot(300, [&] {
        menuEnabledDuring = window().comMenu()->isEnabled();
        updateEnabledDuring = window().toolbarButton(ToolbarView::kUpdate)->isEnabled();
        QTest::keyClick(&window(), Qt::Key_F1);
        QTest::keyClick(&window(), Qt::Key_T, Qt::ControlModifier);
    });
    QTimer::singleShot(600, [&] { QTest::keyClick(&window(), Qt::Key_Escape); });
    driver.messageAnswers = {QMessageBox::Yes};
    click(ToolbarView::kUpdate);
    EXPECT_FALSE(menuEnabledDuring);
    EXPECT_FALSE(updateEnabledDuring);
    EXPECT_EQ(driver.messages, QStringList{"An update is running. Exit anyway?"});
    EXPECT_TRUE(window().activityText().isEmpty());
    EXPECT_FALSE(window().isVisible());
    EXPECT_FALSE(serial.isOpen());
}

TEST_F(Controls, ClosingTheWindowDuringAnUpdateCanBeRefused) {
    QTimer::singleShot(300, [&] { window().close(); });
    QTimer::singleShot(600, [&] { QTest::keyClick(&window(), Qt::Key_Escape); });
    driver.messageAnswers = {QMessageBox::No, QMessageBox::Yes};
    click(ToolbarView::kUpdate);
    EXPECT_EQ(driver.messages, QStringList(2, "An update is running. Exit anyway?"));
    EXPECT_FALSE(window().isVisible());
}

}  // namespace
}  // namespace tarvel::test
