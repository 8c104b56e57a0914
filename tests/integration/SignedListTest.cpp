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
        writeFile(list(), hashOf(image) + "  DVB-GEN-1.bin\n");
    }
    QString file(const QString& name) const { return home.filePath(name); }
    static QByteArray hashOf(const QByteArray& bytes) {
        return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
    }
    QString list() const { return file("images/SHA256SUMS"); }
    QString signature() const { return list() + ".minisig"; }
    static bool minisign(const QStringList& arguments) {
        QProcess tool;
        tool.start(QStringLiteral("minisign"), arguments);
        return tool.waitForFinished(30000) && tool.exitStatus() == QProcess::NormalExit &&
               tool.exitCode() == 0;
    }
    // Signs the list as a release team does; extra: "-l" for the legacy algorithm.
    bool sign(const QString& key = "team", const QStringList& extra = {},
              const QString& comment = "release 2.00 for line 3") {
        return minisign(QStringList{"-S", "-s", file(key + ".key"), "-m", list(), "-t", comment} +
                        extra);
    }
    // minisign's own trusted comment, of a list signed at that time.
    static QString stamped(qint64 at) {
        return QStringLiteral("timestamp:%1\tfile:SHA256SUMS\thashed").arg(at);
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
        return approved ? approved->refusal("DVB-GEN-1.bin", hashOf(image))
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

    // A key file that is a pipe must not hold the update up; one that a link names but is gone
    // is named, not passed over.
    writeFile(file("keys/broken.pub"), "untrusted comment: x\nnot a key\n");
    ASSERT_EQ(::mkfifo(QFile::encodeName(file("keys/fifo.pub")).constData(), 0600), 0);
    ASSERT_EQ(::symlink("/mnt/keys/gone.pub", QFile::encodeName(file("keys/gone.pub")).constData()),
              0);
    QFile::copy(file("team.pub"), file("keys/team.pub"));
    ASSERT_TRUE(sign());
    const QtFileSystem files;
    const TrustedKeys keys = TrustedKeys::load(files, file("keys"));
    const QString trustsNothing = " trusts nothing: ";
    EXPECT_EQ(
        keys.problems(),
        (QStringList{"The key file " + file("keys/broken.pub") + trustsNothing +
                         "its key line is no Ed25519 key in base64.",
                     "The key file " + file("keys/fifo.pub") + trustsNothing + "it is a FIFO.",
                     "The key file " + file("keys/gone.pub") + trustsNothing +
                         "it is a dangling link to /mnt/keys/gone.pub."}));
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

// A list whose signature holds is compared with the newest of its key that the station has used:
// an older one, or one without a time once a list with one was used, is refused with both dates,
// unless the expert lets it through once.
TEST_F(SignedList, AnOlderListThanOneUsedIsRefusedUnlessAllowed) {
    const QString refused = "older-release";
    const struct {
        const char* what;
        QString comment;
        std::optional<qint64> newest;  // used before
        QString problem;               // of the history
        QString allowedBy;             // the expert's answer
        QString code;                  // "" when the list goes through
        QString says;                  // its refusal, or how it was allowed
    } rows[] = {
        {"none used yet", stamped(1765000000), std::nullopt, "", "", "", ""},
        {"the same list again", stamped(1765000000), 1765000000, "", "", "", ""},
        {"a newer list", stamped(1766000000), 1765000000, "", "", "", ""},
        {"an older list", stamped(1765000000), 1766000000, "", "", refused,
         "it was signed 2025-12-06 05:46:40 UTC, before the list of key %1 signed 2025-12-17 "
         "19:33:20 UTC that this station has used"},
        {"no time, after one with a time", "release 2.00 for line 3", 1765000000, "", "", refused,
         "its trusted comment names no time, and this station has used a list of key %1 signed "
         "2025-12-06 05:46:40 UTC"},
        {"no time, none used", "release 2.00 for line 3", std::nullopt, "", "", "", ""},
        {"the history cannot be read", stamped(1766000000), std::nullopt, "history.sqlite: I/O", "",
         refused,
         "whether it is older than a list of key %1 this station has used cannot be told: "
         "history.sqlite: I/O"},
        {"an older list, allowed", stamped(1765000000), 1766000000, "", "the expert", "",
         "allowed once by the expert: it was signed 2025-12-06 05:46:40 UTC, before the list of "
         "key %1 signed 2025-12-17 19:33:20 UTC that this station has used"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        freshList();
        ASSERT_TRUE(sign("team", {}, row.comment));
        std::optional<ApprovedImages> approved = judged();
        ASSERT_TRUE(approved && approved->signature().holds);
        approved->checkRelease(row.newest, row.problem,
                               [&row](const QString&) { return row.allowedBy; });
        const QString says = QString(row.says).arg(idOf("team"));
        const QString why = approved->refusal("DVB-GEN-1.bin", hashOf(image));
        EXPECT_EQ(why, row.code.isEmpty()
                           ? ""
                           : "the approved list " + list() + " is not trusted: " + says);
        EXPECT_EQ(reasonCodeText(approved->code()), row.code.isEmpty() ? "not-approved" : row.code);
        EXPECT_EQ(approved->signature().olderAllowed, row.allowedBy.isEmpty() ? "" : says);
    }
}

// The whole update: a signed list flashes its image; the same list with one byte changed flashes
// nothing, and neither does an older list of the key than one a transfer began with, unless
// --allow-older-release lets it through for that one update. The log, the history and inspect
// name the key and the trusted comment, whose control characters never reach them raw.
TEST_F(SignedList, AModuleGetsItsImageOnlyThroughASignedListNoOlderThanOneUsed) {
    writeFile(file("config/Tarvel_Update_Utility.ini"),
              "[Trust]\nKeys=" + file("keys").toUtf8() + "\n");
    const QString newer = stamped(1766000000) + " line 3\x1b[2J", older = stamped(1765000000);
    const QString olderSays = "it was signed 2025-12-06 05:46:40 UTC, before the list of key " +
                              idOf("team") +
                              " signed 2025-12-17 19:33:20 UTC that this station has used";
    const struct {
        const char* what;
        QString comment;  // the list is signed afresh with it; empty: changed after signing
        QStringList extra;
        bool flashed;
        QString says;  // on stderr, or in the log's Image: line when flashed
    } rows[] = {
        {"signed",
         newer,
         {},
         true,
         ", signed by key " + idOf("team") +
             " (\"timestamp:1766000000 file:SHA256SUMS hashed line 3\\x1b[2J\")"},
        {"changed after signing",
         "",
         {},
         false,
         "(the approved list " + list() + " is not trusted: its signature " + signature() +
             " does not hold: the signature does not match the list"},
        {"older than the list used", older, {}, false, olderSays},
        {"older, allowed once",
         older,
         {"--allow-older-release"},
         true,
         "older release allowed once by --allow-older-release: " + olderSays},
        {"older, once only", older, {}, false, olderSays},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        freshList();
        ASSERT_TRUE(sign("team", {}, row.comment.isEmpty() ? newer : row.comment));
        if (row.comment.isEmpty())
            writeFile(list(), readFile(list()) + "\n");
        QFile::remove(file("flash.bin"));
        CliRun run;
        {
            SimulatorProcess module({"--announce", "UP", "--flash", file("flash.bin")});
            QProcess cli;
            startCli(cli, home.path(),
                     QStringList{"update", "--port", module.path(), "--folder", file("images"),
                                 "--timeout", "60"} +
                         row.extra);
            run = finish(cli, 90);
        }  // the simulator writes its flash as it ends
        EXPECT_EQ(run.exitCode, row.flashed ? 0 : 2) << qPrintable(run.err);
        EXPECT_EQ(readFile(file("flash.bin")) == image, row.flashed);
        const QString log = run.out.section("Log: ", 1).trimmed();
        EXPECT_TRUE((row.flashed ? QString::fromUtf8(readFile(log)) : run.err).contains(row.says))
            << qPrintable(row.flashed ? log : run.err);
    }
    // The override is in the history's row; the older list stays refused, and inspect says why.
    const auto history = [this](const QStringList& arguments) {
        QProcess cli;
        startCli(cli, home.path(), arguments);
        return finish(cli, 60).out;
    };
    const QString listed = history({"history", "--json", "--last", "2"});
    EXPECT_TRUE(listed.contains(
        "\"older_release\":\"allowed once by --allow-older-release: " + olderSays + "\""))
        << qPrintable(listed);
    EXPECT_TRUE(listed.contains("\"signing_key\":\"" + idOf("team") + "\"")) << qPrintable(listed);
    EXPECT_FALSE(history({"history", "--csv"}).contains('\x1b'));
    const QString inspected = history({"inspect", file("images/DVB-GEN-1.bin")});
    EXPECT_TRUE(inspected.contains("signature   valid, key " + idOf("team") +
                                   ", \"timestamp:1765000000 file:SHA256SUMS hashed\"\n"))
        << qPrintable(inspected);
    EXPECT_TRUE(inspected.contains("approved    no (the approved list " + list() +
                                   " is not trusted: " + olderSays + ")"))
        << qPrintable(inspected);
}

}  // namespace
}  // namespace tarvel::test
