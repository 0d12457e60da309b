// The Qt Widgets backend of the forms layer, built as the plugin
// libKestrelFormsQt.so with one exported entry point (PluginLoader.h).
#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <stdexcept>

#include "platform/forms/qt/QtPeers.h"
#include "platform/forms/qt/QtText.h"

namespace kestrel::forms::qt {
namespace {

// The widget that a mouse press on `w` would give the focus to, as Qt
// decides it: the first enabled widget from `w` up to its window that takes
// the focus by click, through its focus proxies.
QWidget* ClickFocusTarget(QWidget* w) {
  for (; w != nullptr; w = w->parentWidget()) {
    if (w->isEnabled() && (w->focusPolicy() & Qt::ClickFocus) == Qt::ClickFocus) {
      while (w->focusProxy() != nullptr) w = w->focusProxy();
      return w;
    }
    if (w->isWindow()) break;
  }
  return nullptr;
}

TQtFormPeer* FormOfWindow(const QWindow* window) {
  for (TQtFormPeer* form : LiveForms())
    if (form->Dialog() != nullptr && form->Dialog()->windowHandle() == window) return form;
  return nullptr;
}

TQtFormPeer* FormOfWidget(const QWidget* widget) {
  const QWidget* window = widget->window();
  for (TQtFormPeer* form : LiveForms())
    if (form->Dialog() == window) return form;
  return nullptr;
}

// Asks a form before the operator moves the focus inside it. Mouse presses
// are caught where they reach the window, before Qt hands them to a widget
// (which moves the focus first); Tab keys where they reach the focus widget.
class TFocusGuard final : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const auto type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
      auto* window = qobject_cast<QWindow*>(watched);
      if (window == nullptr) return false;
      TQtFormPeer* form = FormOfWindow(window);
      if (form == nullptr) return false;
      const auto* mouse = static_cast<QMouseEvent*>(event);
      QWidget* hit = form->Dialog()->childAt(mouse->position().toPoint());
      QWidget* target = ClickFocusTarget(hit != nullptr ? hit : form->Dialog());
      if (target == nullptr) return false;
      return !form->MayMoveFocus(target);
    }
    if (type == QEvent::KeyPress) {
      auto* widget = qobject_cast<QWidget*>(watched);
      if (widget == nullptr || widget != QApplication::focusWidget()) return false;
      const auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab) return false;
      if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return false;
      TQtFormPeer* form = FormOfWidget(widget);
      if (form == nullptr) return false;
      return !form->MayMoveFocus(nullptr);
    }
    return false;
  }
};

class TQtTimerPeer final : public TTimerPeer {
 public:
  explicit TQtTimerPeer(TTimerSink& sink) : timer_(new QTimer) {
    QObject::connect(timer_, &QTimer::timeout, [&sink] { sink.PeerTimer(); });
  }
  ~TQtTimerPeer() override { delete timer_; }
  void SetInterval(std::uint32_t ms) override { timer_->setInterval(static_cast<int>(std::min<std::uint32_t>(ms, 0x7fffffff))); }
  void SetEnabled(bool enabled) override {
    if (enabled)
      timer_->start();
    else
      timer_->stop();
  }

 private:
  QTimer* timer_;
};

class TQtBackend final : public TBackend {
 public:
  std::string_view Name() const override { return "qt"; }

  void Start() override {
    QCoreApplication* core = QCoreApplication::instance();
    if (core == nullptr) {
      // Without a display Qt ends the process; say so instead.
      const bool has_display = std::getenv("QT_QPA_PLATFORM") != nullptr || std::getenv("DISPLAY") != nullptr ||
                               std::getenv("WAYLAND_DISPLAY") != nullptr;
      if (!has_display)
        throw std::runtime_error("Kestrel forms (Qt): no display; set DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM");
      // QApplication keeps argc and argv for its whole life.
      static int argc = 1;
      static char arg0[] = "kestrel";
      static char* argv[] = {arg0, nullptr};
      core = new QApplication(argc, argv);
    }
    if (qobject_cast<QApplication*>(core) == nullptr)
      throw std::runtime_error("Kestrel forms (Qt): the host runs a Qt application without widgets");
    if (QThread::currentThread() != core->thread())
      throw std::runtime_error("Kestrel forms (Qt): forms must be used on the thread of the Qt application");
    if (!guard_) {
      guard_ = new TFocusGuard;
      core->installEventFilter(guard_);
    }
  }

  std::unique_ptr<TFormPeer> CreateForm(const TControlDesc& desc, TControlSink& sink) override {
    Start();
    return std::make_unique<TQtFormPeer>(desc, sink);
  }

  std::unique_ptr<TControlPeer> CreateControl(TControlPeer& parent, const TControlDesc& desc,
                                              TControlSink& sink) override {
    Start();
    auto* container = dynamic_cast<TQtContainer*>(&parent);
    if (container == nullptr) throw std::runtime_error("Kestrel forms (Qt): a control's parent must be a container");
    return MakeControlPeer(*container, desc, sink);
  }

  void ShowMessage(TMsgKind kind, const std::string& caption, const std::string& text) override {
    Start();
    QString title = ToQt(caption);
    if (title.isEmpty()) title = QApplication::applicationDisplayName();
    const auto icon = kind == TMsgKind::kError         ? QMessageBox::Critical
                      : kind == TMsgKind::kInformation ? QMessageBox::Information
                                                       : QMessageBox::NoIcon;
    QPointer<QWidget> previous = QApplication::activeWindow();
    QMessageBox box(icon, title, ToQt(text), QMessageBox::Ok, previous);
    box.setObjectName("MessageBox");
    box.exec();
    if (previous && previous->isVisible()) previous->activateWindow();
  }

  bool PostToUiThread(std::function<void()> call) override {
    std::lock_guard lock(post_mutex_);
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return false;
    if (post_target_ == nullptr) {
      // Queued to this object, the wake-ups run on the application's thread.
      post_target_ = new QObject;
      post_target_->moveToThread(app->thread());
    }
    posted_.push_back(std::move(call));
    // The calls stay in this backend's own queue; Qt only carries a wake-up
    // that holds no data. So nothing of the module that queued them is left
    // in Qt's queue when DropPosted forgets them, and every hand-over goes
    // through a lock that the thread sanitizer sees (Qt's own it does not).
    QMetaObject::invokeMethod(post_target_, [] { Instance().RunPosted(); }, Qt::QueuedConnection);
    return true;
  }

  void DropPosted() override {
    std::deque<std::function<void()>> dropped;
    {
      std::lock_guard lock(post_mutex_);
      dropped.swap(posted_);
    }
  }

  static TQtBackend& Instance() {
    // Lives as long as the process: the plugin is never unloaded.
    static auto* backend = new TQtBackend;
    return *backend;
  }

  bool ProcessEvents(std::uint32_t wait_ms) override {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() != app->thread()) return false;
    if (wait_ms == 0) {
      QCoreApplication::processEvents();
      return true;
    }
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(std::min<std::uint32_t>(wait_ms, 0x7fffffff)), &loop, &QEventLoop::quit);
    loop.exec();
    return true;
  }

  std::unique_ptr<TTimerPeer> CreateTimer(TTimerSink& sink) override {
    Start();
    return std::make_unique<TQtTimerPeer>(sink);
  }

 private:
  QPointer<TFocusGuard> guard_;
  // On the application's thread: runs what is queued now, one at a time, each
  // without the lock (a call may queue another).
  void RunPosted() {
    for (;;) {
      std::function<void()> call;
      {
        std::lock_guard lock(post_mutex_);
        if (posted_.empty()) return;
        call = std::move(posted_.front());
        posted_.pop_front();
      }
      call();
    }
  }

  std::mutex post_mutex_;
  QObject* post_target_ = nullptr;  // lives as long as the process
  std::deque<std::function<void()>> posted_;
};

}  // namespace
}  // namespace kestrel::forms::qt

extern "C" __attribute__((visibility("default"))) kestrel::forms::TBackend* KestrelFormsBackend(std::uint32_t abi) {
  if (abi != kestrel::forms::kBackendAbi) return nullptr;
  return &kestrel::forms::qt::TQtBackend::Instance();
}
