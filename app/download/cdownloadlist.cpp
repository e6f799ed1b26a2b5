#include "cdownloadlist.h"

#include "core/nodewait.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QStringDecoder>
#include <QUrl>

#include <algorithm>

#include "core/carchive.h"
#include "core/enginemessageevent.h"
#include "core/programdirectory.h"
#include "core/savedirectory.h"
#include "core/treegridrules.h"
#include "core/urlcredentials.h"
#include "lark.h"
#include "numbertext.h"

namespace {
constexpr qsizetype kUrlColumn = 5;  // of the root row's sub-items
std::string Local8(const QString& text) { return text.toStdString(); }

// A local name as shown: UTF-8 when it is, else byte for byte.
QString ShownName(const std::string& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString name = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  return utf8.hasError() ? QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size())) : name;
}
}  // namespace

CDownloadList::CDownloadList(CMessageSeam& messages, QObject* parent)
    : QObject(parent), m_messages(messages), m_listpath(ProgramDirectory() + QStringLiteral("/lark2.dat")) {
  m_model.SetColumns(ColumnHeaders(), kStatusColumn, kTimeLeftColumn);
  m_model.SetSizeColumns({1, 2, 4});
}

CDownloadList::~CDownloadList() = default;

QStringList CDownloadList::ColumnHeaders() {
  return {
      QStringLiteral("FileName"),  QStringLiteral("Total length(Bytes)"), QStringLiteral("Downloaded length(Bytes)"),
      QStringLiteral("Percent"),   QStringLiteral("Speed(Byte/Sec)"),     QStringLiteral("Status"),
      QStringLiteral("Time left"), QStringLiteral("Directory"),           QStringLiteral("URL")};
}

int CDownloadList::IndexOfRoot(const CTreeItem* root) const {
  const int index = m_model.GetRootIndex(root);
  return index < TaskCount() ? index : -1;
}

int CDownloadList::TaskOfRow(int row) const {
  CTreeItem* root = m_model.GetRootItemOfRow(row);
  return root ? IndexOfRoot(root) : -1;
}

int CDownloadList::BranchOfRow(int row) const {
  CTreeItem* item = m_model.GetTreeItem(row);
  CTreeItem* root = m_model.GetRootItemOfRow(row);
  if (!item || !root || item == root) return -1;
  while (item->GetParentItem() && item->GetParentItem() != root) item = item->GetParentItem();
  return m_model.GetChildIndex(root, item);
}

void* CDownloadList::LogNodeOfRow(int row) const {
  const int task = TaskOfRow(row);
  if (task < 0) return nullptr;
  void* node = m_tasks[static_cast<size_t>(task)]->node;
  const int k = BranchOfRow(row);
  if (k < 0) return node;
  void* branch = nullptr;
  if (lark::getdownbranch(node, static_cast<unsigned>(k + 1), branch) != 0) return nullptr;
  return branch;
}

void CDownloadList::SetRootImage(int task, ItemKind kind, int32_t image) {
  CTreeItem* root = RootOf(task);
  if (!root) return;
  CItemInfo& info = root->GetData();
  if (info.kind == kind && (kind == ItemKind::FileInDirectory || info.image == image)) return;
  info.kind = kind;
  if (kind != ItemKind::FileInDirectory) info.image = image;
  m_model.ItemChanged(root);
}

void CDownloadList::SetBranchImage(int task, int k, int32_t image) {
  CTreeItem* branch = m_model.GetChildAt(RootOf(task), k);
  if (!branch || branch->GetData().image == image) return;
  branch->GetData().image = image;
  m_model.ItemChanged(branch);
}

void CDownloadList::ResizeRetry(int task) {
  CDownRootAppend& t = Task(task);
  const size_t n = std::max<size_t>(t.branchcount, t.branchactive.size());
  if (t.retry.size() < n) t.retry.resize(n);
}

bool CDownloadList::HasUrl(const QString& url) const {
  const QString wanted = WithoutUrlCredentials(url);
  for (int i = 0; i < m_model.GetRootCount(); ++i)
    if (m_model.GetRootAt(i)->GetData().GetSubItem(5) == wanted) return true;
  return false;
}

void CDownloadList::AddCreatedTask(void* node, const QString& url) {
  std::string path, dir, user, pass;
  lark::getftppathfile(node, path);
  lark::getlocaldir(node, dir);
  lark::getuser(node, user);
  lark::getpass(node, pass);
  int ascii = 0, pasv = 0;
  unsigned port = 0, count = 0;
  lark::getascimode(node, ascii);
  lark::getpasvmode(node, pasv);
  lark::getserverport(node, port);
  lark::getdownbranchcount(node, count);
  std::string localname;
  lark::getlocalfilename(node, localname);
  const QString name = ShownName(localname);
  const QString localdir = QString::fromStdString(dir);

  auto info = std::make_unique<CItemInfo>();
  info->kind = ItemKind::OwnImage;
  info->text = name;
  info->subitems = {QString(),
                    QString(),
                    QString(),
                    QString(),
                    QDir::cleanPath(ResolveSaveDirectory(localdir, ProgramDirectory())),
                    WithoutUrlCredentials(url)};
  info->image = kTaskStopped;
  CTreeItem* root = m_model.InsertRootItem(std::move(info));
  for (unsigned k = 0; k < std::max(count, 1u); ++k) {
    auto branch = std::make_unique<CItemInfo>();
    branch->kind = ItemKind::OwnImage;
    branch->text = name;
    branch->image = kBranchIdle;
    m_model.InsertItem(root, std::move(branch), false);
  }

  auto task = std::make_unique<CDownRootAppend>();
  task->node = node;
  task->url = WithoutUrlCredentials(url);
  task->user = QString::fromStdString(user);
  task->pass = QString::fromStdString(pass);
  task->ascimode = static_cast<uint32_t>(ascii);
  task->pasvmode = static_cast<uint32_t>(pasv);
  task->port = port;
  task->localdir = localdir;
  task->branchcount = count;
  task->id = m_nextid++;
  task->shownstate = TaskState::NotStarted;  // so that its first end is news
  m_tasks.push_back(std::move(task));
  ResizeRetry(TaskCount() - 1);
  RefreshStatus(TaskCount() - 1);
  // "Connect immediately": the probe goes out as soon as the node is up.
  int connected = 0;
  if (lark::getserverconnected(node, connected, 0) == 0 && connected) ProbeSoon();
}

unsigned CDownloadList::CreateDownloadTask(QString url, unsigned branches, unsigned port, QString user, QString pass,
                                           const QString& localdir, bool connectnow, bool pasv, bool ascii) {
  MoveUrlCredentials(url, user, pass);
  void* node = nullptr;
  const unsigned result = lark::addnode(node, Local8(url), branches, port, Local8(user), Local8(pass), Local8(localdir),
                                        connectnow, pasv, ascii, false);
  if (result == 1) {
    AddCreatedTask(node, url);
  } else if (result == 0 && node) {
    lark::disconnect(node, 0);
    WaitDisconnected(node, 0);
    lark::deletenode(node);
  }
  return result;
}

void CDownloadList::RemoveTask(int index) {
  if (index < 0 || index >= TaskCount()) return;
  CTreeItem* root = RootOf(index);
  if (root) m_model.DeleteItem(root, 0);
  m_tasks.erase(m_tasks.begin() + index);
}

void CDownloadList::Serialize(CArchive& ar) {
  m_model.Serialize(ar);
  if (ar.IsStoring()) {
    ar.WriteCount(static_cast<uint32_t>(m_tasks.size()));
    for (auto& task : m_tasks) ar.WriteObject(task.get());
    return;
  }
  m_tasks.clear();
  const uint32_t count = ar.ReadCount();
  for (uint32_t i = 0; i < count; ++i) {
    auto task = ar.ReadOwned<CDownRootAppend>();
    if (!task) task = std::make_unique<CDownRootAppend>();
    task->id = m_nextid++;
    m_tasks.push_back(std::move(task));
  }
}

ListFileLoad CDownloadList::LoadListFile(ListFileAccess access) {
  if (m_listpath.isEmpty()) return ListFileLoad::Loaded;
  const ListFileLoad result = ::LoadListFile(
      m_listpath, [this](CArchive& ar) { Serialize(ar); }, m_messages, nullptr, access);
  m_maywriteback = MayWriteBack(result);
  // Lists of earlier versions kept a URL's password in the URL.
  for (int i = 0; i < TaskCount(); ++i) {
    CDownRootAppend& t = Task(i);
    MoveUrlCredentials(t.url, t.user, t.pass);
    if (CTreeItem* root = RootOf(i); root && root->GetData().subitems.size() > kUrlColumn)
      root->GetData().subitems[kUrlColumn] = WithoutUrlCredentials(root->GetData().subitems[kUrlColumn]);
  }
  for (int i = 0; i < TaskCount(); ++i) {
    ResizeRetry(i);
    RefreshStatus(i);
  }
  return result;
}

bool CDownloadList::SaveListFile() {
  if (m_listpath.isEmpty()) return true;
  if (!m_maywriteback) return false;
  return ::SaveListFile(
      m_listpath, [this](CArchive& ar) { Serialize(ar); }, m_messages);
}

QByteArray CDownloadList::EngineFileBytes(int task) const {
  const CDownRootAppend& t = *m_tasks.at(static_cast<size_t>(task));
  std::string name, dir;
  if (lark::getlocalfilename(t.node, name) != 0) return QByteArray();
  if (lark::getlocaldir(t.node, dir) != 0) dir = Local8(t.localdir);
  return QDir::cleanPath(ResolveSaveDirectory(QString::fromStdString(dir), ProgramDirectory())).toLocal8Bit() + '/' +
         QByteArray::fromStdString(name);
}

QString CDownloadList::EngineFilePath(int task) const {
  const QByteArray path = EngineFileBytes(task);
  return path.isEmpty() ? QString() : ShownName(path.toStdString());
}

bool CDownloadList::SafeSave() {
  if (m_listpath.isEmpty()) return true;
  if (!m_maywriteback) return false;
  // fdatasync works on the file, whichever descriptor names it, so the
  // bytes the engine wrote before the positions were read reach the disk
  // before the positions do.
  for (int i = 0; i < TaskCount(); ++i) {
    if (!Task(i).tracking) continue;
    const QByteArray path = EngineFileBytes(i);
    const int fd = open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    const bool synced = fdatasync(fd) == 0;
    close(fd);
    if (!synced) return false;
  }
  CArchive ar;
  Serialize(ar);
  return WriteListFile(m_listpath, ar.Bytes());
}

void CDownloadList::recreatenodes() {
  for (int i = 0; i < TaskCount(); ++i) {
    CDownRootAppend& t = Task(i);
    void* node = nullptr;
    const unsigned result = lark::addnode(node, Local8(t.url), t.branchcount, t.port, Local8(t.user), Local8(t.pass),
                                          Local8(t.localdir), false, t.pasvmode != 0, t.ascimode != 0, false);
    if (result == 1) {
      t.node = node;
    } else {
      t.node = nullptr;
      if (result == 0 && node) lark::deletenode(node);
    }
    for (size_t k = 0; k < t.branchactive.size(); ++k) {
      t.branchactive[k] = 0;
      // A fresh node stands at offset 0 with no end: the progress pass
      // would take that for where a branch that gets no new work stands,
      // and move its stored segment back to 0.
      void* h = nullptr;
      const uint32_t j = k < t.branchseg.size() ? t.branchseg[k] : 0;
      if (t.node && j < static_cast<uint32_t>(t.SegmentCount()) &&
          lark::getdownbranch(t.node, static_cast<unsigned>(k + 1), h) == 0 && h) {
        lark::setfilepointer(h, t.SegStart(static_cast<int>(j)), 0);
        lark::setfilepointer(h, t.SegPos(static_cast<int>(j)), 1);
        lark::setfilepointer(h, t.SegEnd(static_cast<int>(j)), 2);
      }
      const bool stopped = k < t.branchstopped.size() && t.branchstopped[k] == 1;
      SetBranchImage(i, static_cast<int>(k), stopped ? kBranchStopped : kBranchIdle);
    }
    t.probe.state = ProbeState::Idle;
    t.tracking = 0;
    ResizeRetry(i);
  }
}

int CDownloadList::TaskOfNode(void*, int lparam) const {
  for (int i = 0; i < TaskCount(); ++i)
    if (m_tasks[static_cast<size_t>(i)]->id == lparam) return i;
  return -1;
}

int CDownloadList::OnProbeAnswer(void* node, int lparam) {
  if (!node) return 2;
  const int task = TaskOfNode(node, lparam);
  if (task < 0) return 0;
  std::string text;
  lark::takeoutcontent(node, text);
  Task(task).probe.TakeAnswer(text);
  ProbeSoon();
  emit probeAnswered();
  return 0;
}

bool CDownloadList::event(QEvent* event) {
  if (event->type() == CEngineMessageEvent::EventType()) {
    auto* message = static_cast<CEngineMessageEvent*>(event);
    if (message->Message() == DownloadProbe::kMessage) OnProbeAnswer(message->Node(), message->LParam());
    return true;
  }
  return QObject::event(event);
}

bool CDownloadList::WaitDisconnected(void* node, int thisnodeonly) {
  // User input waits until the engine has let go; the scheduler's tick,
  // which may still fire, leaves the tasks alone meanwhile.
  m_waiting = true;
  const bool idle = WaitUntilNodeIdle(node, kNodeStopLimit, thisnodeonly, QEventLoop::ExcludeUserInputEvents);
  m_waiting = false;
  return idle;
}
