// Whole downloads against loopback servers, each checked by sha256.
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
  testsupport::NginxServer http(files.path());
  for (const auto& c : cases) {
    const auto source = files.writeRandomFile(c.name, c.size, 11);
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

class TransferTest : public DownloadFixture {};

// Sizes the division must get right and a stale longer file in the way that
// must lose its tail. (A file of one byte: the probe's table above; the
// server matrix and redirects: the engine's and the command line's tests.)
TEST_F(TransferTest, HttpDownloadsMatchTheirSource) {
  const struct {
    const char* name;
    int64_t size;
    unsigned branches;
    int64_t stale;  // a file of that size is there before
  } cases[] = {{"big.bin", 3 << 20, 4, 0}, {"empty.bin", 0, 2, 0}, {"stale.bin", 100000, 2, 300000}};
  testsupport::NginxServer http(files.path());
  for (const auto& c : cases) {
    const auto source = files.writeRandomFile(c.name, c.size, 5);
    if (c.stale) out.writeRandomFile(c.name, c.stale, 4);
    const int task = Create(http.url(c.name), c.branches);
    EXPECT_TRUE(Complete(task, 30)) << c.name << "\n" << http.log();
    EXPECT_EQ(std::filesystem::file_size(out.path() / c.name), static_cast<uintmax_t>(c.size)) << c.name;
    EXPECT_EQ(Result(c.name), sha256OfFile(source)) << c.name;
    EXPECT_EQ(list.RootOf(task)->GetData().GetSubItem(2), QStringLiteral("100")) << c.name;
    EXPECT_EQ(list.RootOf(task)->GetData().GetSubItem(0), GroupNumber(c.size)) << c.name;
  }
}

TEST_F(TransferTest, AFailureBeforeTheFirstByteLeavesNoEmptyFile) {
  files.writeFile("here.bin", "x");
  out.writeFile("kept.bin", "");  // not the task's: it stays
  testsupport::PyftpdServer ftp(files.path());
  list.SetRetryPolicy({.firstwait = 100, .maxwait = 200, .maxfailures = 2});
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

}  // namespace
