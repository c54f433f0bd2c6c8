// The firmware upload against a camera of the test's own on 127.0.0.1: the messages byte for
// byte, every reply code, the failures of each phase and the wait for the restarted camera.
#include "FakeUploadCamera.h"
#include "FirmwareTestSupport.h"
#include "FirmwareUpload.h"
#include "Pk2Package.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using TMessage = TFakeUploadCamera::TMessage;
using TAnswer = TFakeUploadCamera::TAnswer;
using TMode = TFakeUploadCamera::TMode;
using TRestart = TFakeUploadCamera::TRestart;

namespace {
const QString kLoopback = QStringLiteral("127.0.0.1");
const QByteArray kGreeting = "CMD 10\r\necho hello";

bool Eventually(const std::function<bool()>& done, int ms = 10000)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
}

// A loopback port where nothing listens.
quint16 ClosedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

QList<QByteArray> Raws(const QList<TMessage>& messages)
{
    QList<QByteArray> raws;
    for (const TMessage& m : messages)
        raws << m.Raw();
    return raws;
}

TUploadTiming ShortTiming()
{
    TUploadTiming t;
    t.connectMs = 500;
    t.replyMs = 1000;
    t.receiveRetryMs = 50;
    t.modeSwitchMs = 10;
    t.afterCloseMs = 10;
    t.restartMs = 10;
    t.retryMs = 50;
    t.retries = 3;
    return t;
}

TAnswer Writes(std::initializer_list<TFakeUploadCamera::TWrite> writes) { return TAnswer{writes}; }

class UploadTest : public ::testing::Test {
protected:
    TTempFiles files;
    TUploadOptions options;
    std::mutex reportsLock;
    QList<TUploadProgress> reports;

    void SetUp() override
    {
        options.timing = ShortTiming();
        options.progress = [this](const TUploadProgress& p) {
            const std::lock_guard<std::mutex> guard(reportsLock);
            reports << p;
        };
    }

    QString Package(const QList<Pk2::TEntry>& entries)
    {
        const std::optional<QByteArray> bytes = Pk2::BuildPackage(entries);
        EXPECT_TRUE(bytes);
        return files.Write("fw.pk2", bytes.value_or(QByteArray()));
    }
    bool Upload(const QString& package, quint16 port, QString& message,
                const QString& password = QLatin1String(TFakeUploadCamera::kPassword))
    {
        return UploadFirmware(package, kLoopback, port, QLatin1String(TFakeUploadCamera::kUser), password, message,
                              options);
    }
    bool Reached(TUploadPhase phase)
    {
        const std::lock_guard<std::mutex> guard(reportsLock);
        for (const TUploadProgress& p : reports) {
            if (p.phase == phase)
                return true;
        }
        return false;
    }
    // Phase 3 reports once before every connection try.
    int CameraTries()
    {
        const std::lock_guard<std::mutex> guard(reportsLock);
        int tries = 0;
        for (const TUploadProgress& p : reports)
            tries += p.phase == TUploadPhase::WaitForCamera && p.secondsLeft < 0 ? 1 : 0;
        return tries;
    }
};
}  // namespace

// ---- The messages on the wire -------------------------------------------------------------

TEST_F(UploadTest, FileOf3000BytesGoesOutAsFiveAcknowledgedMessages)
{
    TFakeUploadCamera camera;
    const QByteArray data = Pattern(3000);
    QString message = "stale";
    ASSERT_TRUE(Upload(Package({Pk2::TEntry::File("fw.bin", data)}), camera.Port(), message));
    EXPECT_EQ(message, "");

    EXPECT_EQ(camera.CtpRequests(),
              (QList<QByteArray>{"CMD cfgusr CTP/1.0\r\nContent-Length:21\r\n\r\n-login admin:fwpw\r\n\r\n",
                                 "CMD exit CTP/1.0\r\n"}));
    const QList<TMessage> messages = camera.UploadMessages();
    ASSERT_EQ(messages.size(), 6);
    const QList<QByteArray> lines = {"CMD 10\r\n",    "FILE 11\r\n",  "DATA 1400\r\n",
                                     "DATA 1400\r\n", "DATA 200\r\n", "MD5 16\r\n"};
    const QList<QByteArray> payloads = {"echo hello",       "fw.bin 3000",          data.mid(0, 1400),
                                        data.mid(1400, 1400), data.mid(2800, 200),
                                        QByteArray::fromHex("a216503cb86d01a23e71e047d4ccf001")};
    for (int i = 0; i < messages.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(messages[i].line, lines[i]);
        EXPECT_EQ(messages[i].payload, payloads[i]);
    }
    EXPECT_EQ(camera.Malformed(), 0);
    EXPECT_TRUE(Eventually([&] { return camera.ProbeConnections() == 1; }));
    EXPECT_EQ(camera.Accepted(), 3);

    // Progress: phases in order, the acknowledged bytes of the package's 3000.
    TUploadPhase last = TUploadPhase::LeaveCommandMode;
    QList<qint64> sent;
    for (const TUploadProgress& p : reports) {
        EXPECT_GE(int(p.phase), int(last));
        last = p.phase;
        if (p.phase == TUploadPhase::SendPackage && p.secondsLeft < 0 && p.bytesSent > 0) {
            sent << p.bytesSent;
            EXPECT_EQ(p.bytesTotal, 3000);
        }
    }
    EXPECT_EQ(sent, (QList<qint64>{1400, 2800, 3000}));
    EXPECT_EQ(last, TUploadPhase::WaitForCamera);
    EXPECT_EQ(reports.last().bytesSent, 3000);
}

TEST_F(UploadTest, CameraReceivesThePlainBytesAndTheirDigest)
{
    TFakeUploadCamera camera;
    QString message;
    ASSERT_TRUE(Upload(files.Write("tiny.pk2", kTinyPackage), camera.Port(), message));
    EXPECT_EQ(Raws(camera.UploadMessages()),
              (QList<QByteArray>{kGreeting, "FILE 3\r\na 5", "DATA 5\r\nhello",
                                 Raw("MD5 16\r\n\x5D\x41\x40\x2A\xBC\x4B\x2A\x76\xB9\x71\x9D\x91\x10\x17\xC5\x92"),
                                 "CMD 2\r\nls"}));
}

TEST_F(UploadTest, PackagesWithoutSendableRecordsSendOnlyTheGreeting)
{
    const struct {
        const char* what;
        QByteArray package;
        QList<QByteArray> messages;
    } cases[] = {
        {"count 0", PackageHeader(0), {kGreeting}},
        {"unknown tag skipped", PackageHeader(2) + Record("XTRA", 7, "1234567") + Record("CMD ", 2, Raw("\x36\xB0")),
         {kGreeting, "CMD 2\r\nls"}},
        {"empty file", PackageHeader(1) + FileRecord("e", {}),
         {kGreeting, "FILE 3\r\ne 0", Raw("MD5 16\r\n\xD4\x1D\x8C\xD9\x8F\x00\xB2\x04\xE9\x80\x09\x98\xEC\xF8\x42\x7E")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TFakeUploadCamera camera;
        QString message;
        EXPECT_TRUE(Upload(files.Write("p.pk2", c.package), camera.Port(), message));
        EXPECT_EQ(Raws(camera.UploadMessages()), c.messages);
        // Phase 3 followed: the camera saw the connection that found it back.
        EXPECT_TRUE(Eventually([&] { return camera.ProbeConnections() == 1; }));
    }
}

// ---- Replies ------------------------------------------------------------------------------

TEST_F(UploadTest, RepliesDecideEachMessage)
{
    const struct {
        const char* what;
        int answeredMessage;  // index of the message that gets this answer; the others get OK
        TAnswer answer;
        bool result;
        int messagesSent;
    } cases[] = {
        // The camera is busy for longer than the reply time: without a limit the upload waits.
        {"Continue, then OK later", 1, Writes({{"REPLY Continue 5\r\n"}, {"REPLY OK\r\n", 1500}}), true, 2},
        {"Continue and OK in one receive", 1, Writes({{"REPLY Continue 5\r\nREPLY OK\r\n"}}), true, 2},
        {"Continue 0 ends the wait", 1, Writes({{"REPLY Continue 0\r\n"}}), true, 2},
        {"ERROR to the command", 1, Writes({{"REPLY ERROR\r\n"}}), false, 2},
        {"ERROR to the greeting", 0, Writes({{"REPLY ERROR\r\n"}}), false, 1},
        {"lower-case ok", 1, Writes({{"REPLY ok\r\n"}}), false, 2},
        {"not a reply", 1, Writes({{"CTP/1.0 200 OK\r\n"}}), false, 2},
        {"no reply", 1, Writes({}), false, 2},
        {"connection closed", 1, TAnswer{{}, true}, false, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reports.clear();
        TFakeUploadCamera camera;
        camera.SetUploadHandler([&c](int index, const TMessage&) {
            return index == c.answeredMessage ? c.answer : Writes({{"REPLY OK\r\n"}});
        });
        QString message = "stale";
        EXPECT_EQ(Upload(Package({Pk2::TEntry::Command("ls")}), camera.Port(), message), c.result);
        EXPECT_EQ(message, "");
        // A refused message ends the upload: nothing more is sent, the camera is not awaited.
        EXPECT_EQ(camera.UploadMessages().size(), c.messagesSent);
        EXPECT_EQ(Reached(TUploadPhase::WaitForCamera), c.result);
    }
}

TEST_F(UploadTest, LeftoverInputIsNotTakenForTheNextReply)
{
    const struct {
        const char* what;
        QByteArray reply;
    } cases[] = {
        {"a second reply in the same receive", "REPLY OK\r\nREPLY ERROR\r\n"},
        {"a reply longer than one receive", "REPLY OK " + QByteArray(300, 'x') + "\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TFakeUploadCamera camera;
        camera.SetUploadHandler([&c](int index, const TMessage&) {
            // The next message's own reply comes late, so that any leftover is there first.
            return index == 1 ? Writes({{c.reply}}) : Writes({{"REPLY OK\r\n", index == 2 ? 200 : 0}});
        });
        QString message;
        EXPECT_TRUE(Upload(Package({Pk2::TEntry::Command("ls"), Pk2::TEntry::Command("df")}), camera.Port(), message));
        EXPECT_EQ(Raws(camera.UploadMessages()), (QList<QByteArray>{kGreeting, "CMD 2\r\nls", "CMD 2\r\ndf"}));
    }
}

TEST_F(UploadTest, RefusedChunkEndsTheFile)
{
    TFakeUploadCamera camera;
    camera.SetUploadHandler([](int index, const TMessage&) {
        return Writes({{index == 3 ? "REPLY ERROR\r\n" : "REPLY OK\r\n"}});
    });
    QString message;
    EXPECT_FALSE(Upload(Package({Pk2::TEntry::File("fw.bin", Pattern(3000)), Pk2::TEntry::Command("ls")}),
                        camera.Port(), message));
    QList<QByteArray> lines;
    for (const TMessage& m : camera.UploadMessages())
        lines << m.line;
    EXPECT_EQ(lines, (QList<QByteArray>{"CMD 10\r\n", "FILE 11\r\n", "DATA 1400\r\n", "DATA 1400\r\n"}));
    EXPECT_FALSE(Reached(TUploadPhase::WaitForCamera));
}

TEST(SendUpgrade, GivesTheCodeOfEachReply)
{
    const struct {
        const char* what;
        TAnswer answer;
        qint32 code;
    } cases[] = {
        {"OK", Writes({{"REPLY OK\r\n"}}), 0},
        {"OK and more", Writes({{"REPLY OKAY\r\n"}}), 0},
        {"ERROR", Writes({{"REPLY ERROR\r\n"}}), 1},
        {"Continue, then ERROR", Writes({{"REPLY Continue 5\r\n"}, {"REPLY ERROR\r\n", 100}}), 1},
        {"Continue, then OK", Writes({{"REPLY Continue 5\r\n"}, {"REPLY Continue 3\r\n", 100}, {"REPLY OK\r\n", 100}}), 0},
        {"Continue 0", Writes({{"REPLY Continue 0\r\n"}}), 0},
        {"reset", TAnswer{{}, false, true}, -1},
        {"silence", Writes({}), -2},
        {"not a reply", Writes({{"reply OK\r\n"}}), -3},
        {"a zero byte first", Writes({{Raw("\0REPLY OK\r\n")}}), -3},
        {"closed", TAnswer{{}, true}, -4},
        {"Continue, then closed", TAnswer{{{"REPLY Continue 5\r\n"}}, true}, -4},
    };
    TUploadOptions options;
    options.timing = ShortTiming();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TFakeUploadCamera camera(TMode::Upload);
        camera.SetUploadHandler([&c](int, const TMessage&) { return c.answer; });
        const std::unique_ptr<TSocketThread> s = TSocketThread::Create(kLoopback, camera.Port(), options);
        ASSERT_EQ(s->Connect(), 0);
        ASSERT_TRUE(s->SetMessage("CMD 2\r\n", "ls", 2));
        EXPECT_EQ(s->SendUpgrade(), c.code);
        EXPECT_EQ(Raws(camera.UploadMessages()), QList<QByteArray>{"CMD 2\r\nls"});
    }

    // Not connected: the send comes up short.
    const std::unique_ptr<TSocketThread> unconnected = TSocketThread::Create(kLoopback, 9, options);
    unconnected->SetMessage("CMD 2\r\n", "ls", 2);
    EXPECT_EQ(unconnected->SendUpgrade(), -5);
}

TEST(SendUpgrade, AbortEndsTheUnlimitedWaitOfABusyCamera)
{
    TFakeUploadCamera camera(TMode::Upload);
    camera.SetUploadHandler([](int, const TMessage&) { return Writes({{"REPLY Continue 5\r\n"}}); });
    std::atomic<bool> abort{false};
    TUploadOptions options;
    options.timing = ShortTiming();
    options.abort = &abort;
    const std::unique_ptr<TSocketThread> s = TSocketThread::Create(kLoopback, camera.Port(), options);
    ASSERT_EQ(s->Connect(), 0);
    s->SetMessage("CMD 2\r\n", "ls", 2);
    std::thread closer([&] {
        // Well past the reply time, so the wait is the one without a limit.
        Eventually([&] { return camera.UploadMessages().size() == 1; });
        std::this_thread::sleep_for(std::chrono::milliseconds(options.timing.replyMs + 500));
        abort = true;
    });
    EXPECT_EQ(s->SendUpgrade(), -7);
    closer.join();
}

TEST(SendUpgrade, MessagesMustFitTheSendBuffer)
{
    const std::unique_ptr<TSocketThread> s = TSocketThread::Create(kLoopback, 9);
    const QByteArray fits(2040, 'x');
    EXPECT_TRUE(s->SetMessage("CMD 2040\r\n", fits.constData(), 2038));
    EXPECT_EQ(s->Message().size(), 2048);
    EXPECT_FALSE(s->SetMessage("CMD 2039\r\n", fits.constData(), 2039));
    EXPECT_EQ(s->Message().size(), 2048);  // unchanged
}

// ---- Connections --------------------------------------------------------------------------

TEST(Connect, CountsOnlyConnectionsTheCameraAccepted)
{
    TUploadOptions options;
    options.timing = ShortTiming();

    // A listener whose queue of one is full: the handshake of any further connection is
    // dropped, as by a camera that is still starting.
    const int full = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(full, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(full, 0), 0);
    socklen_t len = sizeof a;
    ::getsockname(full, reinterpret_cast<sockaddr*>(&a), &len);
    const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);

    TFakeUploadCamera camera(TMode::Probe);
    const struct {
        const char* what;
        QString ip;
        qint32 port;
        qint32 code;
    } cases[] = {
        {"listening camera", kLoopback, camera.Port(), 0},
        {"refused", kLoopback, ClosedPort(), 5},
        {"unanswered", kLoopback, ntohs(a.sin_port), 5},
        {"port out of range", kLoopback, 70000, 5},
        {"not dotted", "1.2.3", camera.Port(), 4},
        {"a name", "localhost", camera.Port(), 4},
        {"empty", "", camera.Port(), 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::unique_ptr<TSocketThread> s = TSocketThread::Create(c.ip, c.port, options);
        EXPECT_EQ(s->Connect(), c.code);
        EXPECT_EQ(s->CloseSocket(), 0);
    }
    EXPECT_TRUE(Eventually([&] { return camera.ProbeConnections() == 1; }));
    ::close(filler);
    ::close(full);
}

TEST(Connect, TriesAgainOnAFreshSocket)
{
    TUploadOptions options;
    options.timing = ShortTiming();
    const quint16 port = ClosedPort();
    const std::unique_ptr<TSocketThread> s = TSocketThread::Create(kLoopback, port, options);
    EXPECT_EQ(s->Connect(), 5);

    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    EXPECT_EQ(s->Connect(), 0);
    ::close(listener);
}

// ---- Phase 1 ------------------------------------------------------------------------------

TEST_F(UploadTest, EachFailureOfTheFirstPhaseGivesItsMessage)
{
    const QString good = Package({Pk2::TEntry::Command("ls")});
    const QString notPk2 = files.Write("notpk2.pk2", "PK2x" + PackageHeader(0).mid(4));
    const QString shortFile = files.Write("short.pk2", PackageHeader(0).left(27));
    const QString lying = files.Write("lying.pk2", PackageHeader(2) + Record("CMD ", 2, "ls"));
    const QString pastEnd = files.Write("pastend.pk2", PackageHeader(1) + Record("CMD ", 200, "ls"));
    const QString bigCommand = files.Write("big.pk2", PackageHeader(1) + Record("CMD ", 2039, QByteArray(2039, 'c')));
    const QString longName = files.Write("name.pk2", PackageHeader(1) + FileRecord(QByteArray(256, 'n'), "x"));

    const QString errFile = "IDS_ERRFILE";
    const QString cantConnect = "IDS_CANTCONNECT";
    const QString errAccess = "IDS_ERRACCESS";
    const QString exitMode = "IDS_EXITCURMODE";
    enum class TCamera { None, Normal, LoginSilent, ExitRefused, ExitSilent };
    const struct {
        const char* what;
        QString package;
        TCamera camera;
        QString ip;
        QString password;
        QString message;
    } cases[] = {
        // Package faults are found before any connection: there is no camera to find here.
        {"not PK2", notPk2, TCamera::None, kLoopback, "fwpw", errFile},
        {"shorter than a header", shortFile, TCamera::None, kLoopback, "fwpw", errFile},
        {"count beyond the records", lying, TCamera::None, kLoopback, "fwpw", errFile},
        {"command past the end", pastEnd, TCamera::None, kLoopback, "fwpw", errFile},
        {"command too large", bigCommand, TCamera::None, kLoopback, "fwpw", errFile},
        {"256-byte name", longName, TCamera::None, kLoopback, "fwpw", errFile},
        {"missing file", files.Path("none.pk2"), TCamera::None, kLoopback, "fwpw", errFile},
        {"no camera", good, TCamera::None, kLoopback, "fwpw", cantConnect},
        {"address not dotted", good, TCamera::Normal, "1.2.3", "fwpw", cantConnect},
        {"wrong password", good, TCamera::Normal, kLoopback, "wrong", errAccess},
        {"login unanswered", good, TCamera::LoginSilent, kLoopback, "fwpw", errAccess},
        {"exit refused", good, TCamera::ExitRefused, kLoopback, "fwpw", exitMode},
        {"exit unanswered", good, TCamera::ExitSilent, kLoopback, "fwpw", exitMode},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reports.clear();
        TFakeUploadCamera camera;
        if (c.camera == TCamera::LoginSilent)
            camera.SetLoginAnswer(std::nullopt);
        if (c.camera == TCamera::ExitRefused)
            camera.SetExitAnswer("CTP/1.0 400 Bad Request\r\n\r\n-error not now\r\n\r\n");
        if (c.camera == TCamera::ExitSilent)
            camera.SetExitAnswer(std::nullopt);
        const quint16 port = c.camera == TCamera::None ? ClosedPort() : camera.Port();
        QString message;
        EXPECT_FALSE(UploadFirmware(c.package, c.ip, port, "admin", c.password, message, options));
        EXPECT_EQ(message, c.message);
        EXPECT_FALSE(Reached(TUploadPhase::SendPackage));
    }
}

TEST_F(UploadTest, NoSocketGivesTheCreateSocketMessage)
{
    const QString expected = "IDS_CREATESOCKETERR";
    const QString package = Package({Pk2::TEntry::Command("ls")});

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowest = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(lowest, 0);
    ::close(lowest);
    rlimit none = saved;
    none.rlim_cur = rlim_t(lowest);  // every descriptor below is taken
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
    // Looked at once descriptors can be had again: a sanitizer's own checks need some.
    std::exception_ptr thrown;
    try {
        TSocketThread::Create(kLoopback, 9);
    } catch (...) {
        thrown = std::current_exception();
    }
    QString message;
    const bool result = UploadFirmware(package, kLoopback, 9, "admin", "fwpw", message, options);
    ::setrlimit(RLIMIT_NOFILE, &saved);

    ASSERT_TRUE(thrown);
    try {
        std::rethrow_exception(thrown);
    } catch (const EUploadError& e) {
        EXPECT_EQ(e.MessageKey(), expected);
        EXPECT_STREQ(e.what(), "IDS_CREATESOCKETERR");
    }
    EXPECT_FALSE(result);
    EXPECT_EQ(message, expected);
}

// ---- Phase 3 ------------------------------------------------------------------------------

TEST_F(UploadTest, CameraThatStaysDownIsNeverReportedBack)
{
    for (const TRestart how : {TRestart::Refuse, TRestart::Unanswered}) {
        SCOPED_TRACE(how == TRestart::Refuse ? "refused" : "unanswered");
        reports.clear();
        TFakeUploadCamera camera;
        camera.SetRestart(how, -1);
        QString message;
        EXPECT_FALSE(Upload(Package({Pk2::TEntry::Command("ls")}), camera.Port(), message));
        EXPECT_EQ(message, "");
        EXPECT_EQ(Raws(camera.UploadMessages()), (QList<QByteArray>{kGreeting, "CMD 2\r\nls"}));
        // The first try and every retry.
        EXPECT_EQ(CameraTries(), options.timing.retries + 1);
        EXPECT_EQ(camera.ProbeConnections(), 0);
    }
}

TEST_F(UploadTest, CameraIsReportedBackOnlyOnceItAcceptsAgain)
{
    options.timing.retryMs = 150;
    options.timing.retries = 10;
    TFakeUploadCamera camera;
    camera.SetRestart(TRestart::Refuse, 600);
    QString message;
    ASSERT_TRUE(Upload(Package({Pk2::TEntry::Command("ls")}), camera.Port(), message));
    const auto returned = std::chrono::steady_clock::now();
    ASSERT_TRUE(camera.BackAt());
    EXPECT_LT(*camera.BackAt(), returned);
    EXPECT_GE(CameraTries(), 2);  // refused at least once while the camera restarted
    EXPECT_TRUE(Eventually([&] { return camera.ProbeConnections() == 1; }));
}

TEST_F(UploadTest, AbortEndsTheWaitForTheRestartedCamera)
{
    options.timing.restartMs = TUploadTiming{}.restartMs;
    std::atomic<bool> abort{false};
    options.abort = &abort;
    int firstSecondsLeft = -1;
    options.progress = [&](const TUploadProgress& p) {
        if (p.phase == TUploadPhase::WaitForCamera && p.secondsLeft > 0 && firstSecondsLeft < 0) {
            firstSecondsLeft = p.secondsLeft;
            abort = true;
        }
    };
    TFakeUploadCamera camera;
    QString message;
    EXPECT_FALSE(Upload(Package({Pk2::TEntry::Command("ls")}), camera.Port(), message));
    EXPECT_EQ(message, "");
    EXPECT_EQ(firstSecondsLeft, 40);
}
