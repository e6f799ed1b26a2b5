// Whole downloads against loopback servers, each checked by sha256.
#include "core/listfile.h"
#include "core/treegridrules.h"
#include "download/numbertext.h"
#include "downloadfixture.h"

namespace {

using testsupport::sha256OfFile;

int ResumeOf(void* node) {
  int resume = -1;
  lark::getresumeenable(node, resume);
  return resume;
}

class ProbeTest : public DownloadFixture {};

std::string Partial(int first, int last, int total) {
  return "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) +
         "/" + std::to_string(total) + "\r\nContent-Length: " + std::to_string(last - first + 1) + "\r\n\r\n";
}

// The probe answer is put in place as if the 0x67 message had brought it;
// the branches then fetch the real file from nginx.
TEST_F(ProbeTest, HttpAnswersDecideLengthAndDivision) {
  const struct {
    const char* name;
    int64_t size;
    unsigned branches;
    std::string answer;
    const char* total;
    int resume;
    std::vector<int64_t> ends;
  } cases[] = {
      {"ranged", 1000, 3, Partial(1, 999, 1000), "1000", 1, {333, 666, 1000}},
      {"norange", 1000, 3, "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n", "1000", 0, {1000}},
      {"lying", 1000, 3, Partial(0, 999, 1000), "1000", 0, {1000}},
      {"onebyte", 1, 2, "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */1\r\n\r\n", "1", 0, {1}},
      {"nolength", 5000, 2, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", "-1", 0, {0}},
      {"short", 2, 3, Partial(1, 1, 2), "2", 1, {2}},
  };
  for (const auto& c : cases) {
    const auto source = files.writeRandomFile(c.name, c.size, 11);
    testsupport::NginxServer http(files.path());
    const int task = Create(http.url(c.name), c.branches, false);
    CDownRootAppend& t = list.Task(task);
    t.probe.state = ProbeState::ProbeAnswered;
    t.probe.reply = QString::fromStdString(c.answer);
    list.downloadtick();
    EXPECT_EQ(t.totallength, QString::fromLatin1(c.total)) << c.name;
    EXPECT_EQ(ResumeOf(t.node), c.resume) << c.name;
    std::vector<int64_t> ends;
    for (int m = 0; m < t.SegmentCount(); ++m) ends.push_back(t.SegEnd(m));
    EXPECT_EQ(ends, c.ends) << c.name;
    EXPECT_TRUE(Complete(task, 20)) << c.name << "\n" << http.log();
    EXPECT_EQ(t.totallength, QString::number(c.size)) << c.name;
    EXPECT_EQ(Result(c.name), sha256OfFile(source)) << c.name;
  }
}

// A refused probe ends the task at once with the server's words, in the
// row too; no branch starts.
TEST_F(ProbeTest, RefusedProbeFailsTheTask) {
  files.writeFile("gone.bin", "x");
  testsupport::FaultServer http(testsupport::FaultProtocol::Http, "status=404", files.path());
  testsupport::FaultServer refusing(testsupport::FaultProtocol::Ftp, "refuse-login", files.path());
  const struct {
    std::string url;
    const char* says;
  } cases[] = {{http.url("gone.bin"), "the server answered \"HTTP/1.1 404"},
               {refusing.url("gone.bin"), "login refused"}};
  for (const auto& c : cases) {
    const int task = Create(c.url, 2);
    EXPECT_TRUE(RunUntil([&] { return list.HasGivenUp(task); }, 10)) << c.url;
    EXPECT_TRUE(list.FailureReason(task).startsWith(QString::fromUtf8(c.says)))
        << list.FailureReason(task).toStdString();
    EXPECT_EQ(list.Task(task).starttick, 0u);
    EXPECT_FALSE(list.IsComplete(task));
    // The row says so, with the reason as the status's tooltip.
    const CItemInfo& row = list.RootOf(task)->GetData();
    EXPECT_EQ(row.status, QStringLiteral("Failed")) << c.url;
    EXPECT_EQ(row.statustip, list.FailureReason(task)) << c.url;
    EXPECT_EQ(row.stateimage, kTaskFailed) << c.url;
  }
}

// Every stored segment's bytes on disk are the source's; the bytes they hold.
int64_t ExpectSegmentsMatch(const CDownRootAppend& t, const std::filesystem::path& file,
                            const std::filesystem::path& source) {
  const std::string got = testsupport::readWholeFile(file), want = testsupport::readWholeFile(source);
  int64_t written = 0;
  for (int m = 0; m < t.SegmentCount(); ++m) {
    const auto start = static_cast<size_t>(t.SegStart(m));
    const auto length = static_cast<size_t>(t.SegPos(m)) - start;
    written += static_cast<int64_t>(length);
    EXPECT_EQ(got.substr(start, length), want.substr(start, length)) << "segment " << m;
  }
  return written;
}

class TransferTest : public DownloadFixture {};

// Sizes the division must get right, a redirect every branch follows, and
// a stale longer file in the way that must lose its tail. (The server
// matrix: the engine's tests.)
TEST_F(TransferTest, HttpDownloadsMatchTheirSource) {
  const struct {
    const char* name;
    int64_t size;
    unsigned branches;
    bool redirect;  // by the fault server, else nginx
    int64_t stale;  // a file of that size is there before
  } cases[] = {
      {"big.bin", 3 << 20, 4, false, 0}, {"empty.bin", 0, 2, false, 0},           {"one.bin", 1, 3, false, 0},
      {"moved.bin", 400000, 2, true, 0}, {"stale.bin", 100000, 2, false, 300000},
  };
  for (const auto& c : cases) {
    const auto source = files.writeRandomFile(c.name, c.size, 5);
    if (c.stale) out.writeRandomFile(c.name, c.stale, 4);
    std::unique_ptr<testsupport::LoopbackServer> server;
    if (c.redirect)
      server = std::make_unique<testsupport::FaultServer>(testsupport::FaultProtocol::Http, "redirect-absolute",
                                                          files.path());
    else
      server = std::make_unique<testsupport::NginxServer>(files.path());
    const int task = Create(server->url(c.redirect ? std::string("redirect/") + c.name : c.name), c.branches);
    EXPECT_TRUE(Complete(task, 30)) << c.name << "\n" << server->log();
    EXPECT_EQ(std::filesystem::file_size(out.path() / c.name), static_cast<uintmax_t>(c.size)) << c.name;
    EXPECT_EQ(Result(c.name), sha256OfFile(source)) << c.name;
    EXPECT_EQ(list.RootOf(task)->GetData().GetSubItem(2), QStringLiteral("100")) << c.name;
    EXPECT_EQ(list.RootOf(task)->GetData().GetSubItem(0), GroupNumber(c.size)) << c.name;
  }
}

// A server that refuses REST is fetched on one connection from byte 0,
// whatever the branch count. (Plain FTP downloads: skylark-cli's tests.)
TEST_F(TransferTest, FtpWithoutRestartIsOneConnectionFromByteZero) {
  const auto source = files.writeRandomFile("f.bin", 2 << 20, 9);
  testsupport::FaultServer ftp(testsupport::FaultProtocol::Ftp, "refuse-rest", files.path());
  const int task = Create(ftp.url("f.bin"), 3);
  EXPECT_TRUE(Complete(task, 40)) << ftp.log();
  EXPECT_EQ(ResumeOf(list.Task(task).node), 0);
  EXPECT_EQ(list.Task(task).SegmentCount(), 1);
  EXPECT_EQ(Result("f.bin"), sha256OfFile(source));
}

// No tick is needed between the probe's steps: from creation to running
// branches takes milliseconds, not the next one-second tick (or two).
TEST_F(TransferTest, BranchesStartAsSoonAsTheProbeIsAnswered) {
  const auto source = files.writeRandomFile("p.bin", 300000, 9);
  testsupport::NginxServer http(files.path());
  testsupport::VsftpdServer ftp(files.path());
  for (const std::string& url : {http.url("p.bin"), ftp.url("p.bin")}) {
    std::filesystem::remove(out.path() / "p.bin");
    QElapsedTimer clock;
    clock.start();
    const int task = Create(url, 4);
    while (clock.elapsed() < 5000 && list.Task(task).probe.state != ProbeState::Downloading) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      QThread::usleep(500);
    }
    EXPECT_EQ(list.Task(task).probe.state, ProbeState::Downloading) << url;
    EXPECT_LT(clock.elapsed(), 500) << url;
    EXPECT_TRUE(Complete(task, 20)) << url;
    EXPECT_EQ(Result("p.bin"), sha256OfFile(source)) << url;
  }
}

TEST_F(TransferTest, CredentialsInTheUrlNeverTravel) {
  const auto source = files.writeRandomFile("k.bin", 200000, 5);
  testsupport::NginxServer http(files.path());
  std::string url = http.url("k.bin");
  url.replace(url.find("127.0.0.1"), 9, "me:hush@127.0.0.1");
  const int task = Create(url, 2);
  EXPECT_TRUE(Complete(task, 20));
  EXPECT_EQ(Result("k.bin"), sha256OfFile(source));
  std::string log;
  lark::getoutputmsg(list.Task(task).node, log, 1);
  EXPECT_NE(log.find("Referer: http://127.0.0.1"), std::string::npos) << log;
  EXPECT_EQ(log.find("hush"), std::string::npos) << log;

  // The password lives in the password field only: not in the record's
  // URL, the URL column or anywhere else in the list file's bytes.
  const CDownRootAppend& t = list.Task(task);
  EXPECT_EQ(t.url.toStdString(), http.url("k.bin"));
  EXPECT_EQ(t.user, "me");
  EXPECT_EQ(t.pass, "hush");
  EXPECT_EQ(list.RootOf(task)->GetData().GetSubItem(5).toStdString(), http.url("k.bin"));
  const QString path = UseListFile();
  ASSERT_TRUE(list.SaveListFile());
  QByteArray bytes;
  ASSERT_TRUE(ReadListFile(path, bytes));
  EXPECT_EQ(bytes.count("hush"), 1);
  EXPECT_FALSE(bytes.contains("me:hush@"));
  list.SetListFilePath(QString());
}

TEST_F(TransferTest, AFailureBeforeTheFirstByteLeavesNoEmptyFile) {
  files.writeFile("here.bin", "x");
  out.writeFile("kept.bin", "");  // not the task's: it stays
  testsupport::PyftpdServer ftp(files.path());
  RetryPolicy quick;
  quick.firstwait = 100;
  quick.maxwait = 200;
  quick.maxfailures = 2;
  list.SetRetryPolicy(quick);
  for (const char* name : {"missing.bin", "kept.bin"}) {
    const int task = Create(ftp.url(name), 1);
    // A 550 ends the probe (waiting) or, once retried enough, the branches.
    EXPECT_TRUE(
        RunUntil([&] { return list.HasGivenUp(task) || list.Task(task).probe.state == ProbeState::ProbeAnswered; }, 30))
        << name;
    RunUntil([] { return false; }, 1);
  }
  EXPECT_FALSE(std::filesystem::exists(out.path() / "missing.bin"));
  EXPECT_TRUE(std::filesystem::exists(out.path() / "kept.bin"));
}

TEST_F(TransferTest, StoppedBranchIsTakenOverByAnother) {
  const auto source = files.writeRandomFile("t.bin", 1200000, 8);
  // Each branch needs about 4 s: the stop at 1 s finds the second half unfinished.
  testsupport::NginxServer http(files.path(), {.rateLimit = 150000});
  const int task = Create(http.url("t.bin"), 2);
  list.Model().Expand(list.RootOf(task));
  ASSERT_TRUE(RunUntil([&] { return list.Task(task).tracking == 1; }, 10));
  RunUntil([] { return false; }, 1);
  list.StopBranch(2);  // row 2: the second branch
  EXPECT_EQ(list.Task(task).branchstopped[1], 1u);
  EXPECT_TRUE(Complete(task, 30)) << http.log();
  const CDownRootAppend& t = list.Task(task);
  EXPECT_GE(t.SegmentCount(), 3);
  EXPECT_EQ(t.segowner.back(), 0u);  // branch 0 took the rest over
  EXPECT_EQ(Result("t.bin"), sha256OfFile(source));
}

// What the task holds when the "cut" server has answered every try with
// half of what was asked: each retry asks from 4 KiB before its position
// (never before the last try's start), so a short try may bring nothing new.
int64_t CutServerOutcome(int64_t size, int64_t goodtry, int maxfailures) {
  int64_t segstart = 0, pos = 0, ask = 0;
  for (int failures = 0;;) {
    const int64_t reached = ask + (size - ask) / 2;
    const int64_t brought = std::max<int64_t>(0, reached - pos);
    pos = std::max(pos, reached);
    failures = brought >= goodtry ? 0 : failures + 1;
    if (failures >= maxfailures) return pos;
    ask = std::max(segstart, pos - 4096);
    segstart = pos;
  }
}

// Every answer stops half way. A try that brought enough is taken up again
// at once; short tries in a row run out, and the task fails with the last
// reason. Whatever arrived is the source's bytes in the right place.
TEST_F(TransferTest, CutConnectionsAreRetriedUntilShortTriesRunOut) {
  constexpr int64_t size = 400000;
  const auto source = files.writeRandomFile("c.bin", size, 2);
  testsupport::FaultServer http(testsupport::FaultProtocol::Http, "cut", files.path());
  for (int64_t goodtry : {int64_t{65536}, int64_t{4000}}) {
    std::filesystem::remove(out.path() / "c.bin");
    RetryPolicy policy;
    policy.firstwait = 50;
    policy.maxwait = 200;
    policy.maxfailures = 3;
    policy.goodtry = goodtry;
    list.SetRetryPolicy(policy);
    const int task = Create(http.url("c.bin"), 1);
    EXPECT_TRUE(RunUntil([&] { return list.HasGivenUp(task); }, 40)) << http.log();
    const CDownRootAppend& t = list.Task(task);
    EXPECT_FALSE(list.IsComplete(task));
    EXPECT_NE(list.FailureReason(task).indexOf(QStringLiteral("connection closed by server (after 3 tries)")), -1)
        << list.FailureReason(task).toStdString() << "\n"
        << http.log();
    EXPECT_EQ(ExpectSegmentsMatch(t, out.path() / "c.bin", source), CutServerOutcome(size, goodtry, 3)) << goodtry;
  }
}

TEST_F(TransferTest, StopSaveReloadAndContinueResumesEverySegment) {
  const auto source = files.writeRandomFile("r.bin", 1500000, 6);
  const QString listpath = UseListFile();
  testsupport::NginxServer http(files.path(), {.rateLimit = 250000});
  const int task = Create(http.url("r.bin"), 3);
  auto done = [&](CDownloadList& l, int i) {
    int64_t sum = 0;
    for (int m = 0; m < l.Task(i).SegmentCount(); ++m) sum += l.Task(i).SegPos(m) - l.Task(i).SegStart(m);
    return sum;
  };
  ASSERT_TRUE(RunUntil([&] { return done(list, task) > 400000; }, 20));
  RunUntil([] { return false; }, 1);  // longer than the save period

  // Saved while running, behind the bytes on disk.
  {
    ReloadedDownloads saved(listpath);
    ASSERT_EQ(saved.result, ListFileLoad::Loaded);
    ASSERT_EQ(saved.list.TaskCount(), 1);
    EXPECT_GT(ExpectSegmentsMatch(saved.list.Task(0), out.path() / "r.bin", source), 0);
  }

  list.StopDownload(0);
  EXPECT_EQ(seam.questions.value(0),
            QStringLiteral("The whole selected download task will be disconnected, are you sure?"));
  list.updateprogress(task);
  ASSERT_TRUE(list.SaveListFile());
  const int64_t before = done(list, task);

  ReloadedDownloads next(listpath);
  CDownloadList& again = next.list;
  ASSERT_EQ(next.result, ListFileLoad::Loaded);
  again.recreatenodes();
  ASSERT_EQ(again.TaskCount(), 1);
  EXPECT_EQ(done(again, 0), before);
  int started = 0;
  QObject::connect(&again, &CDownloadList::commandPosted, [&](int) { ++started; });
  again.ResumeDownload(0);
  EXPECT_EQ(started, 0);  // a started task resumes, it does not start over
  EXPECT_TRUE(::RunUntil([&] { return again.IsComplete(0); }, 30000, [&] { again.downloadtick(); }, 250)) << http.log();
  EXPECT_EQ(Result("r.bin"), sha256OfFile(source));
  lark::disconnect(again.Task(0).node, 0);
  Settle(400);
}

}  // namespace
