// tarvel-update inspect through the real program, and its forecast against a paced update.
#include "platform/qt/QtFileSystem.h"
#include "tests/support/Rig.h"
#include "update/ImageInspection.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

struct Inspect : ::testing::Test {
    void SetUp() override {
        QFile out(image);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(requestImage(1)) == 65536);
    }
    // tarvel-update's exit code; its lines of output go to lines.
    int run(const QStringList& arguments, QList<QByteArray>* lines = nullptr) {
        QProcess cli;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", folder.filePath("config"));
        cli.setProcessEnvironment(environment);
        cli.start(QStringLiteral(TARVEL_UPDATE), arguments);
        cli.waitForFinished(60000);
        if (lines)
            *lines = cli.readAllStandardOutput().split('\n');
        return cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    }
    QTemporaryDir folder;
    const QString image = folder.filePath("DVB-GEN-1.bin");
};

TEST_F(Inspect, JsonVerdictsAndExitCodes) {
    QList<QByteArray> lines;
    EXPECT_EQ(run({"inspect", "--json", image, "none.bin"}, &lines), 1);
    const QByteArray sha256 = QCryptographicHash::hash(requestImage(1), QCryptographicHash::Sha256);
    EXPECT_EQ(QJsonDocument::fromJson(lines.value(0)).object(),
              // clang-format off
              (QJsonObject{{"file", image}, {"size", 65536}, {"kind", "request"}, {"sectors", 1},
                           {"data_blocks", {}}, {"blank_blocks", {}}, {"bytes_to_module", 65551},
                           {"predicted_seconds", 12.89}, {"sha256", QString(sha256.toHex())},
                           {"usable", true}, {"reason", {}}}));
    // clang-format on
    EXPECT_EQ(QJsonDocument::fromJson(lines.value(1)).object()["reason"], "it cannot be opened");
    EXPECT_EQ(run({"inspect", image, "--json"}), 0);
    for (const QStringList& bad : {QStringList{"inspect"}, QStringList{"inspect", "--frob", image},
                                   QStringList{"inspect", "--kind", "zip", image}})
        EXPECT_EQ(run(bad), 2) << qPrintable(bad.join(' '));
}

TEST_F(Inspect, PacedUpdateTakesThePredictedTime) {
    const double predicted =
        inspectImage(QtFileSystem(), image, kindForName("DVB-GEN-1.bin")).forecast->seconds;
    QProcess module;  // killed at the end
    module.start(QStringLiteral(TARVEL_MODULE_SIM),
                 {"--announce", "UP", "--baud", "115200", "--reply-delay", "0"});
    ASSERT_TRUE(module.waitForReadyRead(5000));
    const QString port = QString::fromLocal8Bit(module.readLine()).trimmed();
    QElapsedTimer took;
    took.start();
    EXPECT_EQ(run({"update", "--port", port, "--folder", folder.path()}), 0);
    EXPECT_NEAR(took.nsecsElapsed() / 1e9, predicted, 0.03 * predicted);
}

}  // namespace
}  // namespace tarvel::test
