#include "platform/forms/qt/QtPeers.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <algorithm>

#include "platform/forms/TimeMask.h"
#include "platform/forms/qt/QtText.h"

namespace kestrel::forms::qt {
namespace {

std::vector<TQtFormPeer*>& Forms() {
  static std::vector<TQtFormPeer*> forms;
  return forms;
}

int CharWidth(const QWidget* w) { return w->fontMetrics().averageCharWidth(); }
int LineHeight(const QWidget* w) { return w->fontMetrics().lineSpacing(); }

// The common part of a control peer; `W` is its widget class.
template <typename W>
class TPeer : public TControlPeer, public TQtPeerBase {
 public:
  TPeer(W* widget, TControlSink& sink, TQtContainer& parent, const std::string& label)
      : TQtPeerBase(widget, &sink, parent.ContainerForm()) {
    widget->setParent(parent.ContainerWidget());
    parent.AddChild(widget, label);
    if (form_ != nullptr) form_->Register(this);
  }
  ~TPeer() override {
    if (form_ != nullptr) form_->Unregister(this);
    Detach();
    delete widget_.data();
  }

  void SetEnabled(bool enabled) override {
    if (widget_) widget_->setEnabled(enabled);
  }
  bool Enabled() const override { return widget_ && widget_->isEnabled(); }
  void SetFocus() override {
    if (widget_) widget_->setFocus(Qt::OtherFocusReason);
  }
  bool Focused() const override { return widget_ && widget_->hasFocus(); }
  void SetSizeHint(int chars, int lines) override {
    if (!widget_) return;
    if (chars > 0) widget_->setMinimumWidth(chars * CharWidth(widget_) + 12);
    if (lines > 0) widget_->setMinimumHeight(lines * LineHeight(widget_) + 12);
  }

 protected:
  W* Typed() const { return static_cast<W*>(widget_.data()); }
  // Signals from the widget reach the sink only while the peer is attached.
  void Notify(void (TControlSink::*call)()) const {
    if (sink_ != nullptr) (sink_->*call)();
  }
};

class TContainerPeer final : public TPeer<QWidget>, public TQtContainer {
 public:
  TContainerPeer(QWidget* widget, TQtContainer& parent, const TControlDesc& desc, TControlSink& sink)
      : TPeer(widget, sink, parent, desc.label),
        layout_(widget, desc.layout, desc.align, desc.kind == TControlKind::kPanel) {
    if (auto* box = qobject_cast<QGroupBox*>(widget)) box->setTitle(ToQt(desc.caption));
  }
  void SetCaption(const std::string& caption) override {
    if (auto* box = qobject_cast<QGroupBox*>(widget_.data())) box->setTitle(ToQt(caption));
  }
  std::string Caption() const override {
    auto* box = qobject_cast<QGroupBox*>(widget_.data());
    return box != nullptr ? FromQt(box->title()) : std::string();
  }
  void AddChild(QWidget* child, const std::string& label) override { layout_.AddChild(child, label); }
  TQtFormPeer* ContainerForm() override { return form_; }
  QWidget* ContainerWidget() override { return widget_; }

 private:
  TQtLayoutHolder layout_;
};

class TLabelPeer final : public TPeer<QLabel> {
 public:
  TLabelPeer(TQtContainer& parent, const TControlDesc& desc, TControlSink& sink)
      : TPeer(new QLabel(ToQt(desc.caption)), sink, parent, desc.label) {}
  void SetCaption(const std::string& caption) override {
    if (widget_) Typed()->setText(ToQt(caption));
  }
  std::string Caption() const override { return widget_ ? FromQt(Typed()->text()) : std::string(); }
};

class TButtonPeer final : public TPeer<QPushButton> {
 public:
  TButtonPeer(TQtContainer& parent, const TControlDesc& desc, TControlSink& sink)
      : TPeer(new QPushButton(ToQt(desc.caption)), sink, parent, desc.label) {
    // Enter presses only the button made the default, not the focused one.
    Typed()->setAutoDefault(false);
    QObject::connect(Typed(), &QPushButton::clicked, [this] { Notify(&TControlSink::PeerClicked); });
  }
  void SetCaption(const std::string& caption) override {
    if (widget_) Typed()->setText(ToQt(caption));
  }
  std::string Caption() const override { return widget_ ? FromQt(Typed()->text()) : std::string(); }
  void SetDefault(bool is_default) override {
    if (widget_) Typed()->setDefault(is_default);
  }
  void SetFocusOnClick(bool takes_focus) override {
    if (widget_) Typed()->setFocusPolicy(takes_focus ? Qt::StrongFocus : Qt::TabFocus);
  }
  void SetSizeHint(int chars, int lines) override {
    // A button given a width keeps it: the small "..." buttons beside fields.
    if (widget_ && chars > 0) Typed()->setFixedWidth(chars * CharWidth(widget_) + 16);
    if (widget_ && lines > 0) widget_->setMinimumHeight(lines * LineHeight(widget_) + 12);
  }
};

class TCheckBoxPeer final : public TPeer<QCheckBox> {
 public:
  TCheckBoxPeer(TQtContainer& parent, const TControlDesc& desc, TControlSink& sink)
      : TPeer(new QCheckBox(ToQt(desc.caption)), sink, parent, desc.label) {
    QObject::connect(Typed(), &QCheckBox::clicked, [this] { Notify(&TControlSink::PeerClicked); });
  }
  void SetCaption(const std::string& caption) override {
    if (widget_) Typed()->setText(ToQt(caption));
  }
  std::string Caption() const override { return widget_ ? FromQt(Typed()->text()) : std::string(); }
  void SetChecked(bool checked) override {
    if (widget_) Typed()->setChecked(checked);
  }
  bool Checked() const override { return widget_ && Typed()->isChecked(); }
};

class TComboBoxPeer final : public TPeer<QComboBox> {
 public:
  TComboBoxPeer(TQtContainer& parent, const TControlDesc& desc, TControlSink& sink)
      : TPeer(new QComboBox, sink, parent, desc.label) {
    Typed()->setEditable(false);
    Typed()->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    QObject::connect(Typed(), &QComboBox::activated, [this] { Notify(&TControlSink::PeerChanged); });
  }
  void SetItems(const std::vector<std::string>& items) override {
    if (!widget_) return;
    Typed()->clear();
    for (const auto& item : items) Typed()->addItem(ToQt(item));
    Typed()->setCurrentIndex(-1);
  }
  void SetItemIndex(int index) override {
    if (widget_) Typed()->setCurrentIndex(index);
  }
  int ItemIndex() const override { return widget_ ? Typed()->currentIndex() : -1; }
};

class TEditPeer final : public TPeer<QLineEdit> {
 public:
  TEditPeer(TQtContainer& parent, const TControlDesc& desc, TControlSink& sink, bool time_mask)
      : TPeer(new QLineEdit, sink, parent, desc.label), time_mask_(time_mask) {
    // '9' is a required digit: text() then leaves unfilled positions out.
    if (time_mask_) Typed()->setInputMask("99:99:99;_");
    QObject::connect(Typed(), &QLineEdit::textEdited, [this] { Notify(&TControlSink::PeerChanged); });
  }
  void SetText(const std::string& text) override {
    if (!widget_) return;
    Typed()->setText(ToQt(time_mask_ ? ApplyTimeMask(text) : text));
    // A text longer than the field shows its beginning.
    Typed()->setCursorPosition(0);
  }
  std::string Text() const override { return widget_ ? FromQt(Typed()->text()) : std::string(); }
  void SetReadOnly(bool read_only) override {
    if (widget_) Typed()->setReadOnly(read_only);
  }

 private:
  bool time_mask_;
};

class TMemoPeer final : public TPeer<QPlainTextEdit> {
 public:
  TMemoPeer(TQtContainer& parent, const TControlDesc& desc, TControlSink& sink)
      : TPeer(new QPlainTextEdit, sink, parent, desc.label) {
    Typed()->setTabChangesFocus(true);
    Typed()->setLineWrapMode(QPlainTextEdit::NoWrap);
    Typed()->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Typed()->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QObject::connect(Typed(), &QPlainTextEdit::textChanged, [this] {
      if (!setting_) Notify(&TControlSink::PeerChanged);
    });
  }
  void SetText(const std::string& text) override {
    if (!widget_) return;
    setting_ = true;
    Typed()->setPlainText(ToQt(text));
    setting_ = false;
  }
  std::string Text() const override { return widget_ ? FromQt(Typed()->toPlainText()) : std::string(); }
  void SetReadOnly(bool read_only) override {
    if (widget_) Typed()->setReadOnly(read_only);
  }

 private:
  bool setting_ = false;
};

class TListViewPeer final : public TPeer<QTableWidget> {
 public:
  TListViewPeer(TQtContainer& parent, const TControlDesc& desc, TControlSink& sink)
      : TPeer(new QTableWidget(0, 1), sink, parent, desc.label) {
    QTableWidget* t = Typed();
    t->setHorizontalHeaderLabels({ToQt(desc.caption)});
    t->horizontalHeader()->setStretchLastSection(true);
    t->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    t->horizontalHeader()->setSectionsClickable(false);
    t->verticalHeader()->setVisible(false);
    t->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    t->setShowGrid(true);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setWordWrap(false);
    // The selection stays as visible as with the focus.
    QPalette palette = t->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    t->setPalette(palette);
    QObject::connect(t, &QTableWidget::itemSelectionChanged, [this] {
      if (!setting_) Notify(&TControlSink::PeerChanged);
    });
  }
  void SetItems(const std::vector<std::string>& items) override {
    if (!widget_) return;
    setting_ = true;
    QTableWidget* t = Typed();
    t->clearSelection();
    t->setRowCount(static_cast<int>(items.size()));
    for (int row = 0; row < static_cast<int>(items.size()); ++row)
      t->setItem(row, 0, new QTableWidgetItem(ToQt(items[static_cast<std::size_t>(row)])));
    t->clearSelection();
    setting_ = false;
  }
  void SetItemIndex(int index) override {
    if (!widget_) return;
    setting_ = true;
    QTableWidget* t = Typed();
    if (index >= 0 && index < t->rowCount()) {
      t->selectRow(index);
      t->scrollToItem(t->item(index, 0));
    } else {
      t->clearSelection();
    }
    setting_ = false;
  }
  int ItemIndex() const override {
    if (!widget_) return -1;
    const auto rows = Typed()->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
  }

 private:
  bool setting_ = false;
};

}  // namespace

// ---- TQtPeerBase ----

TQtPeerBase::TQtPeerBase(QWidget* widget, TControlSink* sink, TQtFormPeer* form)
    : widget_(widget), sink_(sink), form_(form) {}

TQtPeerBase::~TQtPeerBase() = default;

void TQtPeerBase::Detach() {
  sink_ = nullptr;
  if (widget_) QObject::disconnect(widget_, nullptr, nullptr, nullptr);
}

// ---- TQtLayoutHolder ----

TQtLayoutHolder::TQtLayoutHolder(QWidget* widget, TLayout layout, TAlign align, bool tight)
    : align_(align) {
  if (layout == TLayout::kFields) {
    fields_ = new QFormLayout(widget);
    fields_->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    fields_->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    if (tight) fields_->setContentsMargins(0, 0, 0, 0);
    return;
  }
  box_ = layout == TLayout::kRow ? static_cast<QBoxLayout*>(new QHBoxLayout(widget))
                                 : static_cast<QBoxLayout*>(new QVBoxLayout(widget));
  if (tight) box_->setContentsMargins(0, 0, 0, 0);
  // Stretches around the children pack them: one before (end), one after
  // (start), or both (centre); children go in before the trailing one.
  if (align == TAlign::kCentre || align == TAlign::kEnd) box_->addStretch(1);
  if (align == TAlign::kCentre || align == TAlign::kStart) box_->addStretch(1);
}

void TQtLayoutHolder::AddChild(QWidget* child, const std::string& label) {
  if (fields_ != nullptr) {
    if (label.empty())
      fields_->addRow(child);
    else
      fields_->addRow(ToQt(label), child);
    return;
  }
  if (!label.empty()) {
    // A label in a box layout sits above (column) or before (row) its control.
    auto* caption = new QLabel(ToQt(label), child->parentWidget());
    caption->setBuddy(child);
    AddChild(caption, {});
  }
  if (align_ == TAlign::kCentre || align_ == TAlign::kStart)
    box_->insertWidget(box_->count() - 1, child);
  else
    box_->addWidget(child);
}

// ---- TFormDialog ----

void TFormDialog::closeEvent(QCloseEvent* event) {
  if (ending || peer_ == nullptr) {
    event->accept();
    return;
  }
  // The form decides; it ends the dialog itself when it agrees.
  event->ignore();
  peer_->RequestCloseFromWindow();
}

void TFormDialog::reject() {
  if (ending || peer_ == nullptr) {
    QDialog::reject();
    return;
  }
  peer_->RequestCloseFromWindow();
}

// ---- TQtFormPeer ----

TQtFormPeer::TQtFormPeer(const TControlDesc& desc, TControlSink& sink)
    : TQtPeerBase(new TFormDialog(this), &sink, this),
      dialog_(static_cast<TFormDialog*>(Widget())),
      layout_(dialog_, desc.layout, desc.align) {
  dialog_->setObjectName(QString::fromStdString(desc.name));
  dialog_->setWindowTitle(ToQt(desc.caption));
  dialog_->setModal(true);
  dialog_->layout()->setSizeConstraint(QLayout::SetFixedSize);
  Forms().push_back(this);
}

TQtFormPeer::~TQtFormPeer() {
  auto& forms = Forms();
  forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
  Detach();
  if (dialog_) {
    dialog_->Forget();
    delete dialog_.data();
  }
}

void TQtFormPeer::SetEnabled(bool enabled) {
  if (dialog_) dialog_->setEnabled(enabled);
}
bool TQtFormPeer::Enabled() const { return dialog_ && dialog_->isEnabled(); }
void TQtFormPeer::SetFocus() {
  if (dialog_) dialog_->activateWindow();
}
bool TQtFormPeer::Focused() const { return dialog_ && dialog_->isActiveWindow(); }
void TQtFormPeer::SetSizeHint(int chars, int lines) {
  if (!dialog_) return;
  if (chars > 0) dialog_->setMinimumWidth(chars * CharWidth(dialog_));
  if (lines > 0) dialog_->setMinimumHeight(lines * LineHeight(dialog_));
}
void TQtFormPeer::SetCaption(const std::string& caption) {
  if (dialog_) dialog_->setWindowTitle(ToQt(caption));
}
std::string TQtFormPeer::Caption() const { return dialog_ ? FromQt(dialog_->windowTitle()) : std::string(); }

void TQtFormPeer::SetPosition(TFormPosition position, TFormPeer* owner) {
  owner_ = position == TFormPosition::kOwnerCentre ? dynamic_cast<TQtFormPeer*>(owner) : nullptr;
}

void TQtFormPeer::Place(QWidget* previous) {
  dialog_->adjustSize();
  QRect around;
  if (owner_ != nullptr && owner_->dialog_ && owner_->dialog_->isVisible())
    around = owner_->dialog_->frameGeometry();
  else if (previous && previous != dialog_)
    around = previous->frameGeometry();
  else if (const QScreen* screen = dialog_->screen())
    around = screen->availableGeometry();
  if (around.isValid()) {
    QRect frame = dialog_->frameGeometry();
    frame.moveCenter(around.center());
    dialog_->move(frame.topLeft());
  }
}

void TQtFormPeer::RunModal() {
  if (!dialog_) return;
  // The window the operator came from gets the focus back afterwards: the
  // platforms do not always return it to the window under a closed dialog.
  QPointer<QWidget> previous = QApplication::activeWindow();
  dialog_->setWindowModality(Qt::ApplicationModal);
  Place(previous);
  dialog_->ending = false;
  dialog_->exec();
  if (dialog_) dialog_->ending = false;
  if (previous && previous->isVisible()) previous->activateWindow();
}

void TQtFormPeer::EndModal() {
  if (!dialog_) return;
  dialog_->ending = true;
  dialog_->done(0);
}

void TQtFormPeer::ShowModeless() {
  if (!dialog_) return;
  if (!dialog_->isVisible()) {
    dialog_->setWindowModality(Qt::NonModal);
    Place(QApplication::activeWindow());
    dialog_->show();
  }
  dialog_->raise();
  dialog_->activateWindow();
}

void TQtFormPeer::Hide() {
  if (dialog_) dialog_->hide();
}

bool TQtFormPeer::Visible() const { return dialog_ && dialog_->isVisible(); }

void TQtFormPeer::RequestCloseFromWindow() {
  if (sink_ != nullptr) sink_->PeerCloseRequest();
}

void TQtFormPeer::Register(TQtPeerBase* peer) { controls_.push_back(peer); }

void TQtFormPeer::Unregister(TQtPeerBase* peer) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), peer), controls_.end());
}

TQtPeerBase* TQtFormPeer::PeerOf(QWidget* widget) const {
  for (QWidget* w = widget; w != nullptr && w != dialog_; w = w->parentWidget())
    for (TQtPeerBase* peer : controls_)
      if (peer->Widget() == w) return peer;
  return nullptr;
}

bool TQtFormPeer::MayMoveFocus(QWidget* target) {
  if (querying_ || !dialog_) return true;
  QWidget* current = QApplication::focusWidget();
  if (current == nullptr || current->window() != dialog_) return true;
  if (target != nullptr && (target == current || current->isAncestorOf(target))) return true;
  TQtPeerBase* peer = PeerOf(current);
  if (peer == nullptr || peer->Sink() == nullptr) return true;
  if (target != nullptr && PeerOf(target) == peer) return true;
  querying_ = true;
  const bool may = peer->Sink()->PeerExitQuery();
  querying_ = false;
  if (!may && peer->Widget() != nullptr) peer->Widget()->setFocus(Qt::OtherFocusReason);
  return may;
}

const std::vector<TQtFormPeer*>& LiveForms() { return Forms(); }

std::unique_ptr<TControlPeer> MakeControlPeer(TQtContainer& parent, const TControlDesc& desc, TControlSink& sink) {
  std::unique_ptr<TControlPeer> peer;
  switch (desc.kind) {
    case TControlKind::kPanel:
      peer = std::make_unique<TContainerPeer>(new QWidget, parent, desc, sink);
      break;
    case TControlKind::kGroupBox:
      peer = std::make_unique<TContainerPeer>(new QGroupBox, parent, desc, sink);
      break;
    case TControlKind::kLabel:
      peer = std::make_unique<TLabelPeer>(parent, desc, sink);
      break;
    case TControlKind::kButton:
      peer = std::make_unique<TButtonPeer>(parent, desc, sink);
      break;
    case TControlKind::kCheckBox:
      peer = std::make_unique<TCheckBoxPeer>(parent, desc, sink);
      break;
    case TControlKind::kComboBox:
      peer = std::make_unique<TComboBoxPeer>(parent, desc, sink);
      break;
    case TControlKind::kEdit:
      peer = std::make_unique<TEditPeer>(parent, desc, sink, false);
      break;
    case TControlKind::kMaskEdit:
      peer = std::make_unique<TEditPeer>(parent, desc, sink, true);
      break;
    case TControlKind::kMemo:
      peer = std::make_unique<TMemoPeer>(parent, desc, sink);
      break;
    case TControlKind::kListView:
      peer = std::make_unique<TListViewPeer>(parent, desc, sink);
      break;
  }
  if (auto* base = dynamic_cast<TQtPeerBase*>(peer.get()); base != nullptr && base->Widget() != nullptr)
    base->Widget()->setObjectName(QString::fromStdString(desc.name));
  return peer;
}

}  // namespace kestrel::forms::qt
