// The firmware uploads of families 2, 8 and 9 as their web servers see them, against servers
// of the test's own on 127.0.0.1 (ports 80 and 81 of a private namespace): the request line,
// the headers and credentials each family sends, the file part, the progress reports, the
// failures and the abort.

#include "TestFamilies.h"
#include "TestHttpServer.h"
#include "TestTiming.h"

#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {

using TStage = TFirmwareProgress::TStage;

const std::string kBrowserAccept =
    "image/gif, image/jpeg, image/pjpeg, image/pjpeg, application/x-shockwave-flash, */*";

struct Part {
    std::string disposition;
    std::string type;
    std::string data;
};

// The one part of a multipart body; empty fields when the body is not one.
Part FilePart(const HttpRequest& r)
{
    Part part;
    const std::string type = r.Header("Content-Type");
    const std::string prefix = "multipart/form-data; boundary=";
    if (type.rfind(prefix, 0) != 0)
        return part;
    const std::string boundary = "--" + type.substr(prefix.size());
    const std::string& b = r.body;
    const size_t headEnd = b.find("\r\n\r\n");
    const std::string tail = "\r\n" + boundary + "--\r\n";
    if (b.rfind(boundary + "\r\n", 0) != 0 || headEnd == std::string::npos ||
        b.size() < headEnd + 4 + tail.size() || b.substr(b.size() - tail.size()) != tail)
        return part;
    const std::string head = b.substr(boundary.size() + 2, headEnd - boundary.size() - 2);
    for (size_t at = 0; at < head.size();) {
        size_t end = head.find("\r\n", at);
        if (end == std::string::npos)
            end = head.size();
        const std::string line = head.substr(at, end - at);
        if (line.rfind("Content-Disposition: ", 0) == 0)
            part.disposition = line.substr(21);
        else if (line.rfind("Content-Type: ", 0) == 0)
            part.type = line.substr(14);
        at = end + 2;
    }
    part.data = b.substr(headEnd + 4, b.size() - headEnd - 4 - tail.size());
    return part;
}

class HttpUpgrade : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QByteArray content;
    QString file;
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // Starts as both kinds of family-2 file would not: the families that send anything
        // of four bytes must not care.
        content = QByteArray("BNEG", 4);
        for (int i = 0; i < 300000; ++i)
            content.append(char((i * 31) ^ (i >> 8)));
        file = dir.filePath("fw 2.bin");
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    TFirmwareJob Job(int port, TFirmwareKind kind) const
    {
        TFirmwareJob job;
        job.fileName = file;
        job.kind = kind;
        job.ip = "127.0.0.1";
        job.port = port;
        job.user = " admin ";
        job.password = "pw ";
        // Family 9 takes the record's version (below 48.2.0.121: the web port) instead of
        // asking the camera; the others do not look at it.
        TDevInfo cam;
        cam.Family = 9;
        cam.IP = "127.0.0.1";
        cam.Version = "48.2.0.1";
        job.camera = cam;
        return job;
    }
};

// What each family's web server gets: one POST, its request line, headers and file part.
TEST_F(HttpUpgrade, EachFamilySendsItsOwnRequest)
{
    const struct {
        int family;
        int port;
        TFirmwareKind kind;
        const char* target;
        const char* host;
        std::string accept;
        const char* acceptEncoding;  // null: no such header
        bool basic;
        const char* partType;
    } cases[] = {
        {2, 80, TFirmwareKind::System, "/upgrade_firmware.cgi?user=admin&pwd=pw&next_url=reboot.htm",
         "127.0.0.1", "text/html, */*", nullptr, false, "application/octet-stream"},
        {2, 81, TFirmwareKind::System, "/upgrade_firmware.cgi?user=admin&pwd=pw&next_url=reboot.htm",
         "127.0.0.1:81", "text/html, */*", nullptr, false, "application/octet-stream"},
        {8, 80, TFirmwareKind::System, "/cgi-bin/upgrade_firmware.cgi?next_url=reboot.htm", "127.0.0.1",
         kBrowserAccept, "gzip,deflate", true, "application/x-zip-compressed"},
        {8, 81, TFirmwareKind::WebPages, "/cgi-bin/upgrade_htmls.cgi?next_url=reboot.htm", "127.0.0.1:81",
         kBrowserAccept, "gzip,deflate", true, "application/x-zip-compressed"},
        {9, 81, TFirmwareKind::System, "/upgrade_firmware.cgi?loginuse= admin &loginpas=pw ", "127.0.0.1:81",
         kBrowserAccept, "gzip,deflate", true, "application/x-zip-compressed"},
        {9, 80, TFirmwareKind::WebPages, "/upgrade_htmls.cgi?loginuse= admin &loginpas=pw ", "127.0.0.1",
         kBrowserAccept, "gzip,deflate", true, "application/x-zip-compressed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("family " + std::to_string(c.family) + " port " + std::to_string(c.port));
        CameraServer server([](const HttpRequest&) { return HttpAnswer(200, "<html>reboot</html>"); },
                            std::uint16_t(c.port));
        ASSERT_TRUE(server.Listening());
        const TFirmwareOutcome out = UpgradeCamera(testsupport::Families().Get(c.family), Job(c.port, c.kind));
        EXPECT_EQ(out.result, TFirmwareResult::kDone);
        EXPECT_FALSE(out.cameraBack);  // found again by searching
        const auto requests = server.Requests();
        ASSERT_EQ(requests.size(), 1u);
        const HttpRequest& r = requests[0];
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(PercentDecode(r.target), c.target) << r.target;
        EXPECT_NE(r.head.find(" HTTP/1.1\r\n"), std::string::npos);
        EXPECT_EQ(r.Header("Host"), c.host);
        EXPECT_EQ(r.Header("Accept"), c.accept);
        if (c.acceptEncoding)
            EXPECT_EQ(r.Header("Accept-Encoding"), c.acceptEncoding);
        else
            EXPECT_EQ(r.Header("Accept-Encoding"), "") << r.head;
        EXPECT_EQ(r.hasBasic, c.basic) << r.head;
        if (c.basic) {
            EXPECT_EQ(r.basicUser, "admin");
            EXPECT_EQ(r.basicPassword, "pw");
        }
        const Part part = FilePart(r);
        EXPECT_EQ(part.disposition, "form-data; name=\"file\"; filename=\"fw 2.bin\"");
        EXPECT_EQ(part.type, c.partType);
        EXPECT_TRUE(part.data == content.toStdString()) << part.data.size() << " bytes";
    }
}

// Reports go up to the whole body, which holds the whole file.
TEST_F(HttpUpgrade, ProgressCountsTheBodyUpToItsEnd)
{
    for (int family : {2, 8, 9}) {
        SCOPED_TRACE(family);
        CameraServer server([](const HttpRequest&) { return HttpAnswer(200, "ok"); });
        TFirmwareJob job = Job(server.Port(), TFirmwareKind::System);
        std::vector<TFirmwareProgress> reports;
        job.progress = [&](const TFirmwareProgress& p) { reports.push_back(p); };
        ASSERT_EQ(UpgradeCamera(testsupport::Families().Get(family), job).result, TFirmwareResult::kDone);
        ASSERT_GE(reports.size(), 2u);
        EXPECT_EQ(reports.front().stage, TStage::Connecting);
        qint64 last = 0;
        for (size_t i = 1; i < reports.size(); ++i) {
            EXPECT_EQ(reports[i].stage, TStage::Sending);
            EXPECT_GE(reports[i].bytesSent, last);
            EXPECT_EQ(reports[i].bytesTotal, reports.back().bytesTotal);
            last = reports[i].bytesSent;
        }
        const qint64 body = qint64(server.Requests().at(0).body.size());
        EXPECT_EQ(reports.back().bytesSent, body);
        EXPECT_EQ(reports.back().bytesTotal, body);
        EXPECT_GT(body, content.size());
    }
}

TEST_F(HttpUpgrade, ErrorStatusesAndNoServerFail)
{
    const int statuses[] = {400, 401, 404, 500};
    for (int family : {2, 8, 9}) {
        for (int status : statuses) {
            CameraServer server([status](const HttpRequest&) { return HttpAnswer(status, "no"); });
            EXPECT_EQ(UpgradeCamera(testsupport::Families().Get(family), Job(server.Port(), TFirmwareKind::System))
                          .result,
                      TFirmwareResult::kFailed)
                << family << " " << status;
        }
        EXPECT_EQ(UpgradeCamera(testsupport::Families().Get(family), Job(RefusedPort(), TFirmwareKind::System))
                      .result,
                  TFirmwareResult::kFailed)
            << family;
    }
}

// A camera that took the body and never answers, and one that never accepts the connection:
// the abort ends both soon, as kAborted.
TEST_F(HttpUpgrade, AbortEndsASilentUploadSoon)
{
    for (int family : {2, 8, 9}) {
        SCOPED_TRACE(family);
        TestServer silent([](Connection& c, const HttpRequest&) { c.HoldUntilStop(); });
        BlackHoleListener hole;
        for (const std::uint16_t port : {silent.Port(), hole.Port()}) {
            std::atomic<bool> abort{false};
            std::atomic<bool> sending{false};
            TFirmwareJob job = Job(port, TFirmwareKind::System);
            job.abort = &abort;
            job.progress = [&](const TFirmwareProgress& p) { sending = sending || p.stage == TStage::Sending; };
            TFirmwareOutcome out;
            std::thread worker([&] { out = UpgradeCamera(testsupport::Families().Get(family), job); });
            if (port == silent.Port()) {
                // Until the silent server has the whole body.
                const auto until = std::chrono::steady_clock::now() +
                                   std::chrono::milliseconds(testsupport::Slack(5000));
                while (std::chrono::steady_clock::now() < until && silent.RequestCount() == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                ASSERT_EQ(silent.RequestCount(), 1u);
            } else {
                // The connection hangs: give it a while in that state.
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                EXPECT_FALSE(sending.load()) << "the black hole took a body";
            }
            const auto aborted = std::chrono::steady_clock::now();
            abort = true;
            worker.join();
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - aborted)
                                .count();
            EXPECT_EQ(out.result, TFirmwareResult::kAborted) << port;
            EXPECT_LT(ms, testsupport::Slack(2500)) << port;
        }
        silent.Stop();
    }
}

}  // namespace
