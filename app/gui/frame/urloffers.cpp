// URLs offered to the window from outside: copied to the clipboard while
// the clipboard is watched, or dropped on it. Either opens the new-task
// sheet on the page the URL's kind asks for.
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

#include "core/commandids.h"
#include "mainframe.h"

namespace {

// Anything may be dropped. A copy, not a move, so that text dragged out of
// an editor is not cut from it.
void AcceptAsCopy(QDropEvent* event) {
  if (event->possibleActions() & Qt::CopyAction)
    event->setDropAction(Qt::CopyAction);
  else
    event->setDropAction(event->proposedAction());
  event->accept();
}

bool OfferedText(const QMimeData* data, QString& text) {
  if (data->hasUrls() && !data->urls().isEmpty()) {
    text = data->urls().first().toString();
    return true;
  }
  if (data->hasText()) {
    text = data->text();
    return true;
  }
  return false;
}

}  // namespace

void CMainFrame::OfferUrl(const QString& text) {
  const unsigned kind = ClassifyUrl(text);
  if (kind > 1) return;
  // A maximized window stays maximized; only a minimized one is restored.
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
  if (m_newtask.open) return;
  m_newtask.page = static_cast<int>(kind);
  // A URL from outside brings its own port: the field's 0 means "the URL's".
  CBrowsFields& fields = kind == kBrowsPage ? static_cast<CBrowsFields&>(m_newtask.brows) : m_newtask.download;
  fields.url = text;
  fields.port = 0;
  PostCommand(command::kNew);
}

void CMainFrame::OnClipboardChanged() {
  const QString text = QGuiApplication::clipboard()->text();
  if (m_skipclip) {
    m_skipclip = false;
    // Some desktops announce the clipboard as it was at start; that is
    // not a new copy. A real first copy is not lost.
    if (text == m_clipatstart) return;
  }
  if (!m_checkclip || text.isEmpty()) return;
  OfferUrl(text);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) { AcceptAsCopy(event); }

void CMainFrame::dragMoveEvent(QDragMoveEvent* event) { AcceptAsCopy(event); }

void CMainFrame::dropEvent(QDropEvent* event) {
  QString text;
  if (OfferedText(event->mimeData(), text) && !text.isEmpty()) OfferUrl(text);
  AcceptAsCopy(event);
}
