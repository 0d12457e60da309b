// The Qt Widgets peers of the forms layer: one class per control kind, the
// containers that lay their children out, and the form (a QDialog).
//
// A peer wraps one widget that its parent's widget owns. Destroying a peer
// first cuts its signals and its sink, then deletes its widget, so that
// the focus-out that Qt sends while a widget dies reaches nobody.
//
// The form peer guards focus moves: the backend's event filter asks it
// before a mouse press or a Tab key moves the focus inside the form, and the
// control losing the focus may refuse (TControlSink::PeerExitQuery).
#pragma once

#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "platform/forms/Backend.h"

class QBoxLayout;
class QFormLayout;
class QLayout;

namespace kestrel::forms::qt {

class TQtFormPeer;

// What every Qt peer has: its widget, its sink and its form.
class TQtPeerBase {
 public:
  TQtPeerBase(QWidget* widget, TControlSink* sink, TQtFormPeer* form);
  virtual ~TQtPeerBase();
  TQtPeerBase(const TQtPeerBase&) = delete;
  TQtPeerBase& operator=(const TQtPeerBase&) = delete;

  QWidget* Widget() const { return widget_; }
  TControlSink* Sink() const { return sink_; }
  TQtFormPeer* OwningForm() const { return form_; }

 protected:
  // Drops the sink and the signal connections; called first by destructors.
  void Detach();

  QPointer<QWidget> widget_;
  TControlSink* sink_;
  TQtFormPeer* form_;
};

// Adds children to a widget's layout as the control's layout and alignment say.
class TQtLayoutHolder {
 public:
  // `tight`: no margins of its own (an invisible panel inside a container).
  TQtLayoutHolder(QWidget* widget, TLayout layout, TAlign align, bool tight = false);
  void AddChild(QWidget* child, const std::string& label);

 private:
  TAlign align_;
  QBoxLayout* box_ = nullptr;
  QFormLayout* fields_ = nullptr;
};

// A container peer: a panel or a group box.
class TQtContainer {
 public:
  virtual ~TQtContainer() = default;
  virtual void AddChild(QWidget* child, const std::string& label) = 0;
  virtual TQtFormPeer* ContainerForm() = 0;
  virtual QWidget* ContainerWidget() = 0;
};

// Makes the peer of a control of `desc.kind` inside `parent`.
std::unique_ptr<TControlPeer> MakeControlPeer(TQtContainer& parent, const TControlDesc& desc, TControlSink& sink);

// The dialog widget of a form: routes the close box and Escape to the form.
class TFormDialog final : public QDialog {
 public:
  explicit TFormDialog(TQtFormPeer* peer) : peer_(peer) {}
  void Forget() { peer_ = nullptr; }
  bool ending = false;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  TQtFormPeer* peer_;
};

class TQtFormPeer final : public TFormPeer, public TQtContainer, public TQtPeerBase {
 public:
  TQtFormPeer(const TControlDesc& desc, TControlSink& sink);
  ~TQtFormPeer() override;

  // TControlPeer
  void SetEnabled(bool enabled) override;
  bool Enabled() const override;
  void SetFocus() override;
  bool Focused() const override;
  void SetSizeHint(int chars, int lines) override;
  void SetCaption(const std::string& caption) override;
  std::string Caption() const override;
  // TFormPeer
  void SetPosition(TFormPosition position, TFormPeer* owner) override;
  void RunModal() override;
  void EndModal() override;
  void ShowModeless() override;
  void Hide() override;
  bool Visible() const override;
  // TQtContainer
  void AddChild(QWidget* child, const std::string& label) override { layout_.AddChild(child, label); }
  TQtFormPeer* ContainerForm() override { return this; }
  QWidget* ContainerWidget() override { return dialog_; }

  // Control registry for the focus guard.
  void Register(TQtPeerBase* peer);
  void Unregister(TQtPeerBase* peer);
  // Whether the focus may move from the current focus widget of this form
  // to `target` (null: to the next or previous one in the tab order).
  bool MayMoveFocus(QWidget* target);
  void RequestCloseFromWindow();
  QDialog* Dialog() const { return dialog_; }

 private:
  TQtPeerBase* PeerOf(QWidget* widget) const;
  // Sizes the dialog and centres it over its owner, `previous` or the screen.
  void Place(QWidget* previous);

  QPointer<TFormDialog> dialog_;
  TQtLayoutHolder layout_;
  std::vector<TQtPeerBase*> controls_;
  TQtFormPeer* owner_ = nullptr;
  bool querying_ = false;
};

// The live form peers, for the backend's event filter.
const std::vector<TQtFormPeer*>& LiveForms();

}  // namespace kestrel::forms::qt
