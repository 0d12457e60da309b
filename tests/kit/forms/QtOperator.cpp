// The operator on the Qt backend: finds the widgets of the showing dialog by
// their object names and works them with QTest as a person would (mouse
// presses that move the focus, keys, the close box). Runs offscreen.
//
// Mouse events go through the window, as real ones do: the forms backend
// decides about focus moves where a press reaches the window.
#define QTEST_QPA_MOUSE_HANDLING
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QThread>
#include <QTableWidget>
#include <QTimer>
#include <QWindow>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include "platform/Cp1251.h"
#include "platform/forms/Application.h"
#include "tests/kit/forms/Operator.h"

#ifndef KESTREL_FORMS_QT_PLUGIN
#error "KESTREL_FORMS_QT_PLUGIN must name the built plugin"
#endif

namespace kestrel::forms::testing {
namespace {

QString ToQt(const std::string& cp1251) { return QString::fromStdString(text::Cp1251ToUtf8(cp1251)); }
std::string FromQt(const QString& s) { return text::Utf8ToCp1251(s.toStdString()); }

// Offscreen windows have no frame: the caption is drawn as a title bar.
bool SaveWithTitle(QWidget* window, const std::string& path) {
  const QPixmap body = window->grab();
  QFont font = window->font();
  font.setBold(true);
  const int title_height = QFontMetrics(font).height() + 10;
  QImage image(body.width() + 2, body.height() + title_height + 1, QImage::Format_RGB32);
  image.fill(QColor(0x4a, 0x6e, 0x9c));
  QPainter painter(&image);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(QRect(8, 0, image.width() - 16, title_height), Qt::AlignVCenter | Qt::AlignLeft,
                   window->windowTitle());
  painter.drawPixmap(1, title_height, body);
  painter.end();
  return image.save(QString::fromStdString(path), "PNG");
}

class TQtDriver final : public TFormDriver {
 public:
  explicit TQtDriver(QDialog* dialog) : dialog_(dialog) {}

  std::string FormName() override { return dialog_ ? dialog_->objectName().toStdString() : std::string(); }
  std::string Caption() override { return dialog_ ? FromQt(dialog_->windowTitle()) : std::string(); }
  bool Open() override { return dialog_ && dialog_->isVisible(); }

  bool Focus(const std::string& name) override {
    QWidget* w = Get(name);
    Activate();
    if (w->hasFocus()) return true;
    if (!w->isEnabled()) return false;
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
      // The left button opens the list (a popup that offscreen keeps the
      // focus after it closed); the right one only moves the focus.
      QTest::mouseClick(combo, Qt::RightButton, {}, combo->rect().center());
    } else if (auto* view = qobject_cast<QAbstractItemView*>(w)) {
      // The header takes no focus and selects nothing: the press goes to the list.
      auto* table = qobject_cast<QTableWidget*>(view);
      QWidget* header = table != nullptr ? static_cast<QWidget*>(table->horizontalHeader()) : view->viewport();
      QTest::mouseClick(header, Qt::LeftButton, {}, QPoint(2, 2));
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) {
      QTest::mouseClick(memo->viewport(), Qt::LeftButton, {}, memo->viewport()->rect().center());
    } else {
      QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
    }
    Activate();
    return w->hasFocus();
  }

  bool Tab() override {
    Activate();
    QWidget* before = QApplication::focusWidget();
    if (before == nullptr) return false;
    QTest::keyClick(before, Qt::Key_Tab);
    Activate();
    return QApplication::focusWidget() != before;
  }

  bool Click(const std::string& name) override {
    QWidget* w = Get(name);
    Activate();
    auto* button = qobject_cast<QAbstractButton*>(w);
    if (button == nullptr || !button->isEnabled()) return false;
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    // A nested dialog opened by the click runs inside this call.
    // A check box stretched by its layout reacts on its box and text only.
    const QPoint at = qobject_cast<QCheckBox*>(button) != nullptr ? QPoint(6, button->height() / 2)
                                                                  : button->rect().center();
    QTest::mouseClick(button, Qt::LeftButton, {}, at);
    Activate();
    return clicked.count() > 0;
  }

  bool Type(const std::string& name, const std::string& text) override {
    if (!Focus(name)) return false;
    QWidget* w = Get(name);
    QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
    const QString typed = ToQt(text);
    for (const QChar ch : typed) {
      if (ch == '\n') {
        QTest::keyClick(w, Qt::Key_Return);
      } else if (ch.unicode() < 0x80 && ch.isPrint()) {
        QTest::keyClick(w, ch.toLatin1());
      } else {
        // keyClicks stops at characters outside Latin-1: send each as text.
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
      }
    }
    return true;
  }

  bool Select(const std::string& name, int index) override {
    QWidget* w = Get(name);
    Activate();
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
      if (index < 0 || index >= combo->count() || !Focus(name)) return false;
      // The arrow keys walk the list, each step a choice of the operator.
      for (int step = 0; step < combo->count() && combo->currentIndex() < index; ++step)
        QTest::keyClick(combo, Qt::Key_Down);
      for (int step = 0; step < combo->count() && combo->currentIndex() > index; ++step)
        QTest::keyClick(combo, Qt::Key_Up);
      return combo->currentIndex() == index;
    }
    auto* table = qobject_cast<QTableWidget*>(w);
    if (table == nullptr || index < 0 || index >= table->rowCount()) return false;
    table->scrollToItem(table->item(index, 0));
    const QRect rect = table->visualItemRect(table->item(index, 0));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, rect.center());
    Activate();
    return table->hasFocus();
  }

  void PressEnter() override { PressKey(Qt::Key_Return); }
  void PressEscape() override { PressKey(Qt::Key_Escape); }

  void CloseBox() override {
    if (dialog_) dialog_->close();
  }

  std::string Text(const std::string& name) override {
    QWidget* w = Get(name);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return FromQt(e->text());
    if (auto* m = qobject_cast<QPlainTextEdit*>(w)) return FromQt(m->toPlainText());
    if (auto* l = qobject_cast<QLabel*>(w)) return FromQt(l->text());
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return FromQt(b->text());
    if (auto* g = qobject_cast<QGroupBox*>(w)) return FromQt(g->title());
    if (auto* t = qobject_cast<QTableWidget*>(w)) return FromQt(t->horizontalHeaderItem(0)->text());
    return {};
  }

  std::vector<std::string> Items(const std::string& name) override {
    std::vector<std::string> items;
    QWidget* w = Get(name);
    if (auto* combo = qobject_cast<QComboBox*>(w))
      for (int i = 0; i < combo->count(); ++i) items.push_back(FromQt(combo->itemText(i)));
    if (auto* table = qobject_cast<QTableWidget*>(w))
      for (int i = 0; i < table->rowCount(); ++i) items.push_back(FromQt(table->item(i, 0)->text()));
    return items;
  }

  int ItemIndex(const std::string& name) override {
    QWidget* w = Get(name);
    if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->currentIndex();
    if (auto* table = qobject_cast<QTableWidget*>(w)) {
      const auto rows = table->selectionModel()->selectedRows();
      return rows.isEmpty() ? -1 : rows.first().row();
    }
    return -1;
  }

  bool Enabled(const std::string& name) override { return Get(name)->isEnabled(); }
  bool Checked(const std::string& name) override {
    auto* box = qobject_cast<QCheckBox*>(Get(name));
    return box != nullptr && box->isChecked();
  }
  bool ReadOnly(const std::string& name) override {
    QWidget* w = Get(name);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->isReadOnly();
    if (auto* m = qobject_cast<QPlainTextEdit*>(w)) return m->isReadOnly();
    return false;
  }
  std::string FocusedControl() override {
    Activate();
    for (QWidget* w = QApplication::focusWidget(); w != nullptr && w != dialog_; w = w->parentWidget())
      if (!w->objectName().isEmpty() && !w->objectName().startsWith("qt_")) return w->objectName().toStdString();
    return {};
  }

  bool SaveImage(const std::string& path) override {
    if (!dialog_) return false;
    Activate();
    return SaveWithTitle(dialog_, path);
  }

 private:
  QWidget* Get(const std::string& name) {
    if (!dialog_) throw std::invalid_argument("the form is gone");
    auto* w = dialog_->findChild<QWidget*>(QString::fromStdString(name));
    if (w == nullptr) throw std::invalid_argument("no control " + name + " in the form " + FormName());
    return w;
  }
  void PressKey(Qt::Key key) {
    Activate();
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus != nullptr ? focus : dialog_.data(), key);
  }
  // Offscreen, nothing gives a dialog the focus back after a message box or a
  // nested dialog closed: the operator clicks it first.
  void Activate() {
    if (!dialog_ || !dialog_->isVisible() || dialog_->isActiveWindow()) return;
    // A closed drop-down popup stays the focus window offscreen, and the
    // dialog counts as active through it: ask its window directly.
    dialog_->activateWindow();
    if (QWindow* window = dialog_->windowHandle()) window->requestActivate();
    (void)QTest::qWaitForWindowActive(dialog_.data(), 2000);
  }

  QPointer<QDialog> dialog_;
};

class TQtOperator final : public TOperator, public QObject {
 public:
  void Install() {
    if (installed_) return;
    qApp->installEventFilter(this);
    installed_ = true;
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Show) return false;
    if (watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow())
      SeeShow(watched->objectName().toStdString(), QThread::currentThread() != qApp->thread());
    auto* dialog = qobject_cast<QDialog*>(watched);
    if (dialog == nullptr || !dialog->isWindow() || !dialog->isModal()) return false;
    QPointer<QDialog> target = dialog;
    // Runs inside the dialog's own modal loop, which starts right after the show.
    QTimer::singleShot(0, this, [this, target] {
      if (target && target->isVisible()) Handle(target);
    });
    return false;
  }

 private:
  void Handle(QDialog* dialog) {
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
      const TMsgKind kind = box->icon() == QMessageBox::Critical      ? TMsgKind::kError
                            : box->icon() == QMessageBox::Information ? TMsgKind::kInformation
                                                                      : TMsgKind::kPlain;
      SeeMessage(kind, FromQt(box->windowTitle()), FromQt(box->text()));
      EXPECT_EQ(box->buttons().size(), 1) << "a message box has one button";
      if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->click();
      if (box->isVisible()) box->done(0);
      return;
    }
    dialog->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(dialog, 5000)) << "the form did not become active";
    TQtDriver driver(dialog);
    RunScript(driver);
  }

  bool installed_ = false;
};

TQtOperator& TheOperator() {
  static auto* op = new TQtOperator;  // a QObject: never destroyed after the application
  return *op;
}

}  // namespace

TOperator& TUi::Operator() { return TheOperator(); }

bool TUi::Available() {
  static const bool available = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    SetPluginPath(KESTREL_FORMS_QT_PLUGIN);
    return TOperator::StartBackend();
  }();
  return available;
}

void TUi::SetUp() {
  if (!Available()) GTEST_SKIP() << "no Qt forms backend: " << PluginError();
  InstallBackend(nullptr);
  TheOperator().Install();
}

std::vector<std::unique_ptr<TFormDriver>> TUi::Windows(const std::string& window) {
  std::vector<std::unique_ptr<TFormDriver>> found;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QDialog*>(w);
    if (dialog != nullptr && w->isVisible() && w->objectName() == QString::fromStdString(window))
      found.push_back(std::make_unique<TQtDriver>(dialog));
  }
  return found;
}

void TUi::ProcessEvents(std::uint32_t wait_ms) {
  QCoreApplication::processEvents(QEventLoop::AllEvents, static_cast<int>(wait_ms));
}

void TUi::TearDown() {
  TheOperator().Reset();
  // Nothing of a test may stay on screen for the next one.
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible()) ADD_FAILURE() << "a window stayed open: " << w->objectName().toStdString();
}

}  // namespace kestrel::forms::testing
