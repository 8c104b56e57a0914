// Approved lists signed by a release team, proven against the tool release teams sign with
// (minisign): with a trusted key installed, an image reaches a module only when a valid signature
// by that key holds for the list that names it; every other list stops every image and says why.
#include "platform/qt/QtFileSystem.h"
#include "tests/support/Fakes.h"
#include "tests/support/Programs.h"
#include "update/ApprovedImages.h"
#include "update/TrustedKeys.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace tarvel::test {
namespace {

struct SignedList : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(file("images")) && QDir().mkpath(file("keys")));
        ASSERT_TRUE(minisign({"-G", "-W", "-p", file("team.pub"), "-s", file("team.key")}));
        ASSERT_TRUE(minisign({"-G", "-W", "-p", file("other.pub"), "-s", file("other.key")}));
        ASSERT_TRUE(QFile::copy(file("team.pub"), file("keys/team.pub")));
        freshList();
    }
    // The image and its list as the release team made them, not yet signed.
    void freshList() {
        ::unlink(QFile::encodeName(signature()).constData());
        image = requestImage(1);
        writeFile(file("images/DVB-GEN-1.bin"), image);
        writeFile(list(), QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex() +
                              "  DVB-GEN-1.bin\n");
    }
    QString file(const QString& name) const { return home.filePath(name); }
    QString list() const { return file("images/SHA256SUMS"); }
    QString signature() const { return list() + ".minisig"; }
    static bool minisign(const QStringList& arguments) {
        QProcess tool;
        tool.start(QStringLiteral("minisign"), arguments);
        return tool.waitForFinished(30000) && tool.exitStatus() == QProcess::NormalExit &&
               tool.exitCode() == 0;
    }
    // Signs the list as a release team does; extra: "-l" for the legacy algorithm.
    bool sign(const QString& key = "team", const QStringList& extra = {}) {
        return minisign(QStringList{"-S", "-s", file(key + ".key"), "-m", list(), "-t",
                                    "release 2.00 for line 3"} +
                        extra);
    }
    // The key's id as minisign writes it into the public key's comment (one key in sixteen has
    // fewer than 16 digits there: no leading zeros).
    QString idOf(const QString& key) const {
        return QString::fromLatin1(
            readFile(file(key + ".pub")).split('\n').first().split(' ').last());
    }
    std::optional<ApprovedImages> judged() const {
        const QtFileSystem files;
        const MemorySettingsStore settings;
        return approvedImagesFor(files, settings, file("images"),
                                 TrustedKeys::load(files, file("keys")));
    }
    QString refusal() const {
        const std::optional<ApprovedImages> approved = judged();
        return approved ? approved->refusal(
                              "DVB-GEN-1.bin",
                              QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex())
                        : QStringLiteral("(no list)");
    }

    QTemporaryDir home;
    QByteArray image;
};

TEST_F(SignedList, OnlyAValidSignatureByATrustedKeyLetsTheListThrough) {
    // As minisign showed this key's id: "Signature key id in Z.minisig is 1CE77A6AD1369B8".
    EXPECT_EQ(keyIdText(QByteArray::fromHex("b86913ada677ce01")), "1CE77A6AD1369B8");
    const struct {
        const char* what;
        std::function<void(SignedList&)> arrange;
        const char* code;  // "" when the image may be flashed
        QString says;      // a part of the refusal
    } rows[] = {
        {"signed (a hash of the list, minisign's default)", [](SignedList& t) { t.sign(); }, "",
         ""},
        {"signed over the list itself (legacy)", [](SignedList& t) { t.sign("team", {"-l"}); }, "",
         ""},
        {"the list changed after signing",
         [](SignedList& t) {
             t.sign();
             QByteArray text = readFile(t.list());
             text[0] = text[0] == 'a' ? 'b' : 'a';
             writeFile(t.list(), text);
         },
         "bad-signature",
         "does not hold: the signature does not match the list: the list was changed after it "
         "was signed"},
        {"the trusted comment changed",
         [](SignedList& t) {
             t.sign();
             writeFile(t.signature(),
                       readFile(t.signature()).replace("release 2.00", "release 9.99"));
         },
         "bad-signature", "the trusted comment was changed after it was signed"},
        {"signed by a key not trusted here", [](SignedList& t) { t.sign("other"); },
         "untrusted-key", ""},
        {"no signature", [](SignedList&) {}, "not-signed", "cannot be read: it does not exist"},
        {"truncated base64",
         [](SignedList& t) {
             t.sign();
             QList<QByteArray> lines = readFile(t.signature()).split('\n');
             lines[1].chop(8);
             writeFile(t.signature(), lines.join('\n'));
         },
         "bad-signature", "is unusable: its signature lines are not signatures in base64"},
        {"10 MB", [](SignedList& t) { writeFile(t.signature(), QByteArray(10 << 20, 'A')); },
         "bad-signature", "is too large for a signature"},
        {"a FIFO",
         [](SignedList& t) { ::mkfifo(QFile::encodeName(t.signature()).constData(), 0600); },
         "not-signed", "cannot be read: it is a FIFO"},
        {"a dangling link",
         [](SignedList& t) {
             ::symlink("/mnt/share/SHA256SUMS.minisig",
                       QFile::encodeName(t.signature()).constData());
         },
         "not-signed", "it is a dangling link to /mnt/share/SHA256SUMS.minisig"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        freshList();
        row.arrange(*this);
        const std::optional<ApprovedImages> approved = judged();
        ASSERT_TRUE(approved.has_value());
        const QString why = refusal();
        if (QString(row.code).isEmpty()) {
            EXPECT_EQ(why, "");
            EXPECT_EQ(approved->signature().keyId, idOf("team"));
            EXPECT_EQ(approved->signature().trustedComment, "release 2.00 for line 3");
            continue;
        }
        EXPECT_EQ(reasonCodeText(approved->code()), row.code);
        // The list, the signature file and why, in one sentence.
        EXPECT_TRUE(why.startsWith("the approved list " + list() +
                                   " is not trusted: its signature " + signature() + " "))
            << qPrintable(why);
        const QString says =
            QString(row.code) == "untrusted-key"
                ? "was made by key " + idOf("other") + ", which is not trusted here"
                : row.says;
        EXPECT_TRUE(why.contains(says)) << qPrintable(why);
    }
}

// Without a key file nothing changes; a key file that is no key is named and trusts nothing; a
// folder that anyone may write trusts nothing at all; with keys and no list, nothing is flashed.
TEST_F(SignedList, TheKeysFolderDecidesWhetherListsMustBeSigned) {
    QFile::remove(file("keys/team.pub"));
    EXPECT_EQ(refusal(), "");  // an unsigned list, as before keys were installed

    writeFile(file("keys/broken.pub"), "untrusted comment: x\nnot a key\n");
    QFile::copy(file("team.pub"), file("keys/team.pub"));
    ASSERT_TRUE(sign());
    const QtFileSystem files;
    const TrustedKeys keys = TrustedKeys::load(files, file("keys"));
    EXPECT_EQ(keys.problems(),
              QStringList{"The key file " + file("keys/broken.pub") +
                          " trusts nothing: its key line is no Ed25519 key in base64."});
    EXPECT_EQ(refusal(), "");

    ASSERT_EQ(::chmod(QFile::encodeName(file("keys")).constData(), 0777), 0);
    EXPECT_EQ(TrustedKeys::load(files, file("keys")).problems().value(0),
              "The trusted keys' folder " + file("keys") +
                  " may be written by anyone, who could add a key of their own: no key in it is "
                  "trusted.");
    EXPECT_TRUE(refusal().contains("which is not trusted here")) << qPrintable(refusal());
    ASSERT_EQ(::chmod(QFile::encodeName(file("keys")).constData(), 0755), 0);

    QFile::remove(list());
    const std::optional<ApprovedImages> none = judged();
    ASSERT_TRUE(none.has_value());
    EXPECT_EQ(reasonCodeText(none->code()), "not-signed");
    EXPECT_EQ(refusal(), "the approved list: there is none, and with trusted keys in " +
                             file("keys") + " every image must be named by a signed one");
}

// The whole update: a signed list flashes its image; the same list with one byte changed
// flashes nothing, and the update and inspect say why.
TEST_F(SignedList, AModuleGetsItsImageOnlyThroughASignedList) {
    writeFile(file("config/Tarvel_Update_Utility.ini"),
              "[Trust]\nKeys=" + file("keys").toUtf8() + "\n");
    ASSERT_TRUE(sign());
    for (const bool tampered : {false, true}) {
        SCOPED_TRACE(tampered ? "tampered" : "signed");
        if (tampered)
            writeFile(list(), readFile(list()) + "\n");
        CliRun run;
        {
            SimulatorProcess module({"--announce", "UP", "--flash", file("flash.bin")});
            QProcess cli;
            startCli(
                cli, home.path(),
                {"update", "--port", module.path(), "--folder", file("images"), "--timeout", "60"});
            run = finish(cli, 90);
        }  // the simulator writes its flash as it ends
        EXPECT_EQ(run.exitCode, tampered ? 2 : 0) << qPrintable(run.err);
        EXPECT_EQ(readFile(file("flash.bin")) == image, !tampered);
        if (tampered) {
            EXPECT_TRUE(run.err.contains("(the approved list " + list() +
                                         " is not trusted: its signature " + signature() +
                                         " does not hold: the signature does not match the list"))
                << qPrintable(run.err);
            QFile::remove(file("flash.bin"));
        }
    }
}

}  // namespace
}  // namespace tarvel::test
