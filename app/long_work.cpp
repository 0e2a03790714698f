#include "app/long_work.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <exception>
#include <thread>

namespace app {

namespace {

bool busy = false;

std::function<void()>& hook() {
  static std::function<void()> h;
  return h;
}

// Refuses what would reach the database while the worker runs: input that
// slipped past the event loop's filter and requests to close a window.
class InputGate : public QObject {
 public:
  bool eventFilter(QObject* obj, QEvent* e) override {
    switch (e->type()) {
      case QEvent::Close:
        e->ignore();
        return true;
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::Wheel:
      case QEvent::ContextMenu:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
      case QEvent::DragEnter:
      case QEvent::DragMove:
      case QEvent::Drop:
        return true;
      default:
        return QObject::eventFilter(obj, e);
    }
  }
};

}  // namespace

bool engineBusy() { return busy; }

void setLongWorkHook(std::function<void()> h) { hook() = std::move(h); }

void runLongWork(const std::function<void()>& work) {
  auto* qapp = QCoreApplication::instance();
  if (!qapp || busy || QThread::currentThread() != qapp->thread()) {
    work();
    return;
  }
  busy = true;
  std::exception_ptr failure;
  QEventLoop loop;
  std::atomic<bool> finished{false};
  const std::function<void()> before = hook();
  std::thread worker([&] {
    try {
      if (before) before();
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    finished = true;
    QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
  });
  InputGate gate;
  qapp->installEventFilter(&gate);
  bool cursorShown = false;
  QTimer cursor;
  cursor.setSingleShot(true);
  QObject::connect(&cursor, &QTimer::timeout, [&] {
    if (qobject_cast<QApplication*>(qapp)) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
      cursorShown = true;
    }
  });
  cursor.start(200);
  while (!finished) loop.exec(QEventLoop::ExcludeUserInputEvents);
  worker.join();
  cursor.stop();
  if (cursorShown) QApplication::restoreOverrideCursor();
  qapp->removeEventFilter(&gate);
  busy = false;
  if (failure) std::rethrow_exception(failure);
}

}  // namespace app
